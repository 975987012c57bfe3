#pragma once
// The groups of windows the channel tree opens, each filling in its members
// of CTreeDialogs: the item lists and the About view (views/ListViews.h),
// the feed and folder dialogs and the file picker (views/FeedDialogs.h),
// the online search and the options (views/SearchAndOptions.h). main()
// installs them all before the tree exists.

#include "views/TreeDialogs.h"

void InstallAllDialogs(CTreeDialogs& dialogs);
