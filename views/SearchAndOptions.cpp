#include "views/SearchAndOptions.h"

#include "views/FeedSearchDlg.h"
#include "views/OptionsSheet.h"

void InstallSearchAndOptions(CTreeDialogs& dialogs)
{
    dialogs.onlineSearch = [](QWidget* host, CReaderSession&) {
        CFeedSearchDlg dialog(host);
        dialog.DoModal();
        // Cancel answered Yes keeps them too.
        return dialog.TakeCollected();
    };
    dialogs.options = [](QWidget* host) { RunOptionsSheet(host); };
}
