#pragma once
// The item lists and the About view as the channel tree opens them: fills in
// CTreeDialogs' feedList, newItems, find and about. runUpdate runs the update
// dialog over the feeds it is given (the shown feed's list calls it for
// "Update"); left empty, the list greys its "Update" key.

#include "views/EpisodeListBase.h"
#include "views/TreeDialogs.h"

void InstallListViews(CTreeDialogs& dialogs, CRunUpdate runUpdate = {});
