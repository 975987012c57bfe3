#pragma once
// The online search and the options sheet as the channel tree opens them.
// InstallSearchAndOptions fills in their members of CTreeDialogs; the tree
// imports the feeds the search collected (and saves the tree), and runs the
// clean-up after the options (AfterOptions).
#include "views/TreeDialogs.h"

void InstallSearchAndOptions(CTreeDialogs& dialogs);
