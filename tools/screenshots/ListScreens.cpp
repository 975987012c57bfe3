// Screens of the item lists: one feed's pages with the description pane, the
// new pages of all feeds, a description with a picture (served from a
// loopback server inside this program), the pages Find found, and the About
// view. The pages are written into a store in a scratch home, with the clock
// pinned, so every rendering shows the same.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QLinearGradient>
#include <QPainter>
#include <QTemporaryDir>
#include <cstdlib>
#include <optional>

#include "ScreenRegistry.h"
#include "app/MainFrame.h"
#include "platform/Unicode.h"
#include "store/FeedDatabase.h"
#include "store/ItemDatabase.h"
#include "session/ReaderSession.h"
#include "support/LoopbackHttpServer.h"
#include "update/FeedManager.h"
#include "update/Setting.h"
#include "views/AboutDlg.h"
#include "views/DescriptionView.h"
#include "views/EpisodeListDlg.h"
#include "views/FindResultsDlg.h"
#include "views/NewEpisodeListDlg.h"
#include "views/ReportList.h"

namespace {

struct CDemoPage {
    const wchar_t* title;
    int day;
    int hour;
    int minute;
    PageState state;
    std::wstring description;
};

// A scratch home with a subscription tree and a store of demo pages; the
// environment and the process-wide objects are put back when it goes.
class CDemoStore {
public:
    CDemoStore()
    {
        for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "TZ"}) {
            const char* value = std::getenv(name);
            m_saved.emplace_back(name, value != nullptr ? std::optional<std::string>(value) : std::nullopt);
        }
        const std::string home = m_home.path().toStdString();
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
        setenv("XDG_CACHE_HOME", (home + "/cache").c_str(), 1);
        setenv("TZ", "UTC", 1);
        tzset();
        // Tuesday 8 December 2026, 14:30.
        SetCurrentTimeForTesting(std::chrono::system_clock::time_point(std::chrono::seconds(1796740200)));
        m_server.Start();
        m_server.SetAnswer("/harbour.png", CHttpAnswer::Ok(Picture()));
        QDir().mkpath(m_home.path() + QStringLiteral("/data/RSSReader"));
        QFile opml(m_home.path() + QStringLiteral("/data/RSSReader/default.opml"));
        opml.open(QIODevice::WriteOnly);
        opml.write("<opml version='1.0'><body>"
                   "<outline title='Harbour News' xmlUrl='http://news.example.org/harbour.xml'/>"
                   "<outline title='Science'><outline title='Tide Tables' xmlUrl='http://tides.example.org/rss'/></outline>"
                   "<outline title='Garden Diary' xmlUrl='http://garden.example.net/feed'/>"
                   "</body></opml>");
        opml.close();
        m_session.Start();
        AddPages(L"http://news.example.org/harbour.xml", HarbourPages());
        AddPages(L"http://garden.example.net/feed", GardenPages());
    }

    ~CDemoStore()
    {
        m_session.Shutdown();
        m_server.Stop();
        SetCurrentTimeForTesting(std::nullopt);
        for (const auto& [name, value] : m_saved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
        tzset();
    }

    CReaderSession& Session() { return m_session; }
    std::vector<COutline*> TopLevel()
    {
        std::vector<COutline*> level;
        for (auto& outline : m_session.Document().outlines)
            level.push_back(outline.get());
        return level;
    }

private:
    static std::string Picture()
    {
        QImage image(400, 180, QImage::Format_RGB32);
        QPainter painter(&image);
        QLinearGradient sky(0, 0, 0, 120);
        sky.setColorAt(0, QColor(255, 190, 120));
        sky.setColorAt(1, QColor(250, 230, 190));
        painter.fillRect(0, 0, 400, 120, sky);
        painter.fillRect(0, 120, 400, 60, QColor(40, 90, 140));
        painter.setBrush(QColor(255, 240, 200));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QPoint(300, 110), 30, 30);
        painter.fillRect(0, 118, 400, 4, QColor(60, 110, 160));
        painter.setBrush(QColor(70, 50, 40));
        painter.drawPolygon(QPolygon({QPoint(80, 140), QPoint(180, 140), QPoint(165, 155), QPoint(95, 155)}));
        painter.fillRect(128, 80, 4, 60, QColor(70, 50, 40));
        painter.setBrush(Qt::white);
        painter.drawPolygon(QPolygon({QPoint(133, 82), QPoint(133, 135), QPoint(170, 135)}));
        painter.end();
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return bytes.toStdString();
    }

    std::vector<CDemoPage> HarbourPages() const
    {
        const std::wstring picture = Utf8ToWide(m_server.Url("/harbour.png"));
        return {
            {L"Evening regatta draws record crowd", 8, 13, 45, PageStateUnread,
             L"<p><b>Forty boats</b> raced across the bay at sunset.</p><p><img src=\"" + picture +
                 L"\" alt=\"The regatta at sunset\"></p><p>The next race starts on Saturday at six; "
                 L"<a href=\"http://news.example.org/regatta\">read the full report</a>.</p>"},
            {L"Ferry timetable changes for the winter", 8, 9, 10, PageStateUnread,
             L"<p>From Monday the first ferry leaves at <b>7:15</b> instead of 6:45. "
             L"The last crossing stays at 22:30.</p><ul><li>Weekdays: every 40 minutes</li>"
             L"<li>Weekends: every hour</li></ul>"},
            {L"New lighthouse keeper starts this week", 7, 16, 0, PageStateRead,
             L"<p>After twenty years, the keeper hands over the lamp.</p>"},
            {L"Fish market moves to the old pier", 6, 11, 20, PageStateRead,
             L"<p>The market opens at its new place on the first of the month.</p>"},
            {L"harbour wall repairs finished early", 5, 8, 0, PageStateUnread,
             L"<p>The repairs were finished two weeks ahead of plan.</p>"},
            {L"Storm warning lifted", 3, 18, 5, PageStateRead, L"<p>Calm seas expected.</p>"},
        };
    }

    static std::vector<CDemoPage> GardenPages()
    {
        return {
            {L"Planting garlic before the frost", 8, 12, 5, PageStateUnread,
             L"<p>Set the cloves a hand deep, pointed end up.</p>"},
            {L"Why the roses sulk in December", 8, 7, 50, PageStateUnread, L"<p>They rest. So should you.</p>"},
            {L"Seed catalogue season", 6, 10, 0, PageStateUnread, L"<p>Order early for the rare beans.</p>"},
        };
    }

    static void AddPages(const std::wstring& url, const std::vector<CDemoPage>& pages)
    {
        CZelviaRssDB& feeds = CZelviaRssDB::Instance();
        FeedRecord feed;
        const CEOID oid = feeds.FindFeedByUrl(url);
        if (!oid || !feeds.ReadFeed(feed, oid))
            return;
        for (const CDemoPage& demo : pages) {
            PageRecord page;
            page.feedId = feed.feedId;
            page.link = url + L"#" + demo.title;
            page.key = page.link;
            page.title = demo.title;
            page.description = demo.description;
            page.state = demo.state;
            page.date = CDateTime::FromParts(2026, 12, demo.day, demo.hour, demo.minute, 0);
            CZelviaRssItemDB::Instance().WritePage(page);
        }
        CRssFeedManager::WriteFeedCounted(url, feed);
    }

    QTemporaryDir m_home;
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
    CLoopbackHttpServer m_server;
    CReaderSession m_session;
};

// Runs a list modally, lets the script act once it shows, waits for its
// pictures, and grabs the window.
QImage RunList(CScreenContext& context, CPageListDlg& dialog, const std::function<void()>& script)
{
    QImage image;
    QObject::connect(&dialog, &CFullScreenDialog::shown, &dialog, [&] {
        context.Settle();
        if (script)
            script();
        QElapsedTimer timer;
        timer.start();
        while (!dialog.Pane()->Images().IsIdle() && timer.elapsed() < 10000)
            context.Settle(20);
        context.Settle(150);
        image = context.Grab(*dialog.window());
        dialog.EndDialog(ID_CANCEL);
    });
    dialog.DoModal();
    return image;
}

} // namespace

RSS_SCREEN(episode-list)
{
    CDemoStore demo;
    CMainFrame frame;
    frame.show();
    std::vector<COutline*> level = demo.TopLevel();
    CEpisodeListDlg dialog(&frame, demo.Session(), level, level[0], [](std::vector<COutline*>) {});
    return RunList(context, dialog, [&] { dialog.List()->SelectRow(1); });
}

RSS_SCREEN(episode-list-picture)
{
    CDemoStore demo;
    CMainFrame frame;
    frame.show();
    std::vector<COutline*> level = demo.TopLevel();
    CEpisodeListDlg dialog(&frame, demo.Session(), level, level[0], [](std::vector<COutline*>) {});
    return RunList(context, dialog, [&] { dialog.Pane()->setFocus(); });
}

RSS_SCREEN(new-items)
{
    CDemoStore demo;
    CSetting::Instance().SetNewItemDays(4); // a week
    CMainFrame frame;
    frame.show();
    CNewEpisodeListDlg dialog(&frame);
    return RunList(context, dialog, [&] {
        while (!dialog.IsLoaded())
            context.Settle(20);
        dialog.List()->SelectRow(2);
    });
}

RSS_SCREEN(about)
{
    CMainFrame frame;
    frame.show();
    CAboutDlg dialog(&frame);
    return context.RunModal(dialog);
}

RSS_SCREEN(find-results)
{
    CDemoStore demo;
    CMainFrame frame;
    frame.show();
    CFindResultsDlg dialog(&frame, QStringLiteral("week"));
    return RunList(context, dialog, [&] {
        while (!dialog.IsLoaded())
            context.Settle(20);
    });
}
