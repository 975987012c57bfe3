// Screens of the feed and folder dialogs and the file picker: Enter URL,
// Properties, the picker on a small folder tree, the OPML address dialog
// with the feeds of a document, and the choice among the feeds a site's page
// announces. Their data live in a demo home of their
// own, never in the home of the person running the renderer.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>

#include "ScreenRegistry.h"
#include "app/MainFrame.h"
#include "views/AddFeedDlg.h"
#include "views/FeedChoiceDlg.h"
#include "views/KFileDialog.h"
#include "views/OpmlAddressDlg.h"
#include "views/PropertiesDlg.h"
#include "views/ResText.h"
#include "views/SoftKeyBar.h"

namespace {

// A home for the demo data, made afresh once for the whole run.
const QString& DemoHome()
{
    static const QString path = ResetDemoHome(QStringLiteral("demo"));
    return path;
}

void WriteDemoFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}

// The frame the dialogs cover.
struct CDemoFrame {
    CMainFrame frame;
    explicit CDemoFrame(CScreenContext& context)
    {
        DemoHome();
        frame.SetMenuBar(IDR_MAIN_MENU);
        frame.show();
        context.Settle();
    }
};

} // namespace

RSS_SCREEN(add-feed)
{
    CDemoFrame demo(context);
    CAddFeedDlg dialog(&demo.frame);
    QObject::connect(&dialog, &CFullScreenDialog::shown, &dialog, [&] {
        FindControl<QLineEdit>(&dialog, IDC_URL_EDIT)->setText(QStringLiteral("https://lwn.net/headlines/rss"));
        FindControl<QLineEdit>(&dialog, IDC_NAME_EDIT)->setText(QStringLiteral("LWN.net"));
        FindControl<QCheckBox>(&dialog, IDC_CREATE_AT_ROOT)->setChecked(true);
    });
    return context.RunModal(dialog);
}

RSS_SCREEN(properties)
{
    CDemoFrame demo(context);
    const std::vector<CPropertyRow> rows{
        {IDS_FEED_TITLE, L"LWN.net"},
        {IDS_FEED_URL, L"https://lwn.net/headlines/rss"},
        {IDS_HOME_PAGE_URL, L"https://lwn.net"},
        {IDS_LAST_UPDATE, L"12/8/2026 7:45:12 AM"},
        {IDS_DESCRIPTION, L"LWN.net is a comprehensive source of news and opinions from and about the Linux "
                          L"community. This is the main LWN.net feed, listing all articles which are posted to "
                          L"the site front page."}};
    CPropertiesDlg dialog(&demo.frame, rows);
    return context.RunModal(dialog);
}

RSS_SCREEN(file-picker)
{
    CDemoFrame demo(context);
    const QString documents = DemoHome() + QStringLiteral("/Documents/RSS Reader");
    for (const char* folder : {"Archive", "From the old device", "Shared"})
        QDir().mkpath(documents + QLatin1Char('/') + QLatin1String(folder));
    for (const char* file : {"export.opml", "news-2026.opml", "podcasts.OPML", "notes.txt", ".hidden.opml"})
        WriteDemoFile(documents + QLatin1Char('/') + QLatin1String(file), "<opml/>");
    CKFileDialog dialog(&demo.frame, CKFileDialog::kSelectFile, ToWide(documents), L"", L"opml");
    dialog.SetTitleId(IDS_IMPORT_OPML);
    dialog.SetMenuId(IDR_PICKER_SELECT);
    return context.RunModal(dialog);
}

RSS_SCREEN(opml-address)
{
    CDemoFrame demo(context);
    const QString path = DemoHome() + QStringLiteral("/Documents/shared-feeds.opml");
    WriteDemoFile(path, "<?xml version='1.0'?><opml version='1.0'><body>"
                        "<outline title='News'>"
                        "<outline title='BBC News - World' xmlUrl='https://feeds.bbci.co.uk/news/world/rss.xml'/>"
                        "<outline title='NASA News Releases' xmlUrl='https://www.nasa.gov/news-release/feed/'/>"
                        "</outline>"
                        "<outline title='LWN.net' xmlUrl='https://lwn.net/headlines/rss'/>"
                        "<outline title='Debian Security Advisories' xmlUrl='https://www.debian.org/security/dsa'/>"
                        "<outline title='Hacker News' xmlUrl='https://news.ycombinator.com/rss'/>"
                        "</body></opml>");
    COpmlAddressDlg dialog(&demo.frame);
    QObject::connect(&dialog, &CFullScreenDialog::shown, &dialog, [&] {
        dialog.Edit()->setText(QStringLiteral("file://") + path);
        dialog.SoftKeys()->PressKey(CSoftKeyBar::kLeft);
    });
    return context.RunModal(dialog);
}

RSS_SCREEN(feed-choice)
{
    CDemoFrame demo(context);
    CFeedChoiceDlg dialog(&demo.frame,
                          {{L"https://news.example.org/harbour/rss", L"Harbour News", L"application/rss+xml"},
                           {L"https://news.example.org/harbour/atom", L"Harbour News", L"application/atom+xml"},
                           {L"https://news.example.org/harbour/comments/rss", L"Harbour News: comments",
                            L"application/rss+xml"},
                           {L"https://news.example.org/tides.rdf", L"", L"application/rdf+xml"}});
    return context.RunModal(dialog);
}
