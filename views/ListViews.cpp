#include "views/ListViews.h"

#include "views/AboutDlg.h"
#include "views/EpisodeListDlg.h"
#include "views/FindResultsDlg.h"
#include "views/NewEpisodeListDlg.h"

void InstallListViews(CTreeDialogs& dialogs, CRunUpdate runUpdate)
{
    dialogs.feedList = [runUpdate](QWidget* host, CReaderSession& session, std::vector<COutline*> level,
                                   COutline* feed) {
        CEpisodeListDlg dialog(host, session, std::move(level), feed, runUpdate);
        dialog.DoModal();
    };
    dialogs.newItems = [](QWidget* host, CReaderSession&) {
        CNewEpisodeListDlg dialog(host);
        dialog.DoModal();
    };
    dialogs.find = [](QWidget* host) { RunFind(host); };
    dialogs.about = [](QWidget* host) {
        CAboutDlg dialog(host);
        dialog.DoModal();
    };
}
