#pragma once
// The feed and folder dialogs as the channel tree opens them: Enter URL,
// New folder, Rename, Properties, the import source, the file picker and the
// OPML address dialog. InstallFeedDialogs fills in their members of
// CTreeDialogs; the tree applies what they hand back through the session.
#include <string>

#include "views/TreeDialogs.h"

void InstallFeedDialogs(CTreeDialogs& dialogs);

// Where Import and Export start: "RSS Reader" in the documents folder (made
// at start-up). The picker starts there when a request names no folder.
std::wstring ImportExportFolder();
