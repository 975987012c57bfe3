// Screens of the online search (a keyword and its candidates, from the
// shipped keyword file) and of each page of the options sheet. Their data
// live in a demo home of their own.
#include <QDir>
#include <QLineEdit>
#include <QTabWidget>

#include "ScreenRegistry.h"
#include "app/MainFrame.h"
#include "store/DataStorage.h"
#include "update/FeedSearch.h"
#include "update/Setting.h"
#include "views/FeedSearchDlg.h"
#include "views/OptionsSheet.h"
#include "views/SoftKeyBar.h"

namespace {

void UseDemoHome()
{
    static const QString home = ResetDemoHome(QStringLiteral("demo-search"));
}

QImage OptionsPage(CScreenContext& context, int page)
{
    UseDemoHome();
    CSetting::Instance().SetUpdateMethod(CSetting::kUpdateAutomatic);
    CSetting::Instance().SetUpdateInterval(1);
    CSetting::Instance().SetUpdateOnStartup(1);
    CMainFrame frame;
    frame.SetMenuBar(IDR_MAIN_MENU);
    frame.show();
    context.Settle();
    COptionsSheet sheet(&frame);
    QObject::connect(&sheet, &CFullScreenDialog::shown, &sheet, [&] { sheet.Tabs()->setCurrentIndex(page); });
    return context.RunModal(sheet);
}

} // namespace

RSS_SCREEN(online-search)
{
    UseDemoHome();
    CreateFolderPath(GetDataFolder());
    InstallKeywordFile();
    CMainFrame frame;
    frame.SetMenuBar(IDR_MAIN_MENU);
    frame.show();
    context.Settle();
    CFeedSearchDlg dialog(&frame);
    QObject::connect(&dialog, &CFullScreenDialog::shown, &dialog, [&] {
        dialog.Edit()->setText(QStringLiteral("linux"));
        dialog.SoftKeys()->PressKey(CSoftKeyBar::kLeft);
    });
    return context.RunModal(dialog);
}

RSS_SCREEN(options-general) { return OptionsPage(context, 0); }
RSS_SCREEN(options-new-items) { return OptionsPage(context, 1); }
RSS_SCREEN(options-page) { return OptionsPage(context, 2); }
