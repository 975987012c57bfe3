#pragma once
// The groups of windows the channel tree opens, each filling in its members
// of CTreeDialogs. main() calls all three before the tree exists; a group
// that has not landed leaves its members empty, and the tree greys the
// commands that would open them.
//
// The definitions in InstallDialogs.cpp are the empty stand-ins: the file
// that defines a group's windows takes over its function (and its line in
// InstallDialogs.cpp goes).

#include "views/TreeDialogs.h"

// The item lists and the About view: feedList, newItems, about.
void InstallListViews(CTreeDialogs& dialogs);
// The feed and folder dialogs and the file picker: addFeed, newFolder,
// rename, properties, importSource, pickFile, opmlAddress.
void InstallFeedDialogs(CTreeDialogs& dialogs);
// The online search and the options sheet: onlineSearch, options.
void InstallSearchAndOptions(CTreeDialogs& dialogs);
