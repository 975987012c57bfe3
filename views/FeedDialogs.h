#pragma once
// The feed and folder dialogs as the channel tree opens them: Enter URL,
// New folder, Rename, Properties, the import source, the file picker and the
// OPML address dialog. InstallFeedDialogs fills in their members of
// CTreeDialogs; the tree applies what they hand back through the session.
#include "views/TreeDialogs.h"

void InstallFeedDialogs(CTreeDialogs& dialogs);
