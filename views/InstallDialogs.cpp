#include "views/InstallDialogs.h"

#include "views/FeedDialogs.h"
#include "views/FullScreenDialog.h"
#include "views/ListViews.h"
#include "views/SearchAndOptions.h"
#include "views/UpdateFeedsDlg.h"

void InstallAllDialogs(CTreeDialogs& dialogs)
{
    // "Update" inside a feed's list: the update dialog over the list (which
    // holds the tree's lock while it runs).
    InstallListViews(dialogs, [](std::vector<COutline*> feeds) {
        CUpdateFeedsDlg dialog(CFullScreenDialog::ActiveDialog(), std::move(feeds), false, false);
        dialog.DoModal();
    });
    InstallFeedDialogs(dialogs);
    InstallSearchAndOptions(dialogs);
}
