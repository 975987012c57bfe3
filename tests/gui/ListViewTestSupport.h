#pragma once
// Fixture of the item list tests: a private home and cache, a loopback
// server serving the feeds, a reader session over a subscription file that
// names them, updates run as the update dialog runs them, the clock pinned
// at 8 December 2026 12:00 (UTC), and every hand-off to the browser
// recorded instead of launched.

#include <QApplication>
#include <functional>

#include "GuiTestSupport.h"
#include "app/MainFrame.h"
#include "platform/Shell.h"
#include "platform/Unicode.h"
#include "resources/ResourceModule.h"
#include "session/ReaderSession.h"
#include "support/NetTest.h"
#include "update/UpdateRun.h"
#include "views/FullScreenDialog.h"

// Plays the update dialog: presses Done as soon as it is offered.
class CDoneUpdateView : public IUpdateRunView {
public:
    void SetStatusText(const std::wstring&) override {}
    void SetProgressRange(int, int) override {}
    void SetProgressPos(int) override {}
    void EnableSoftKeys(bool done, bool) override
    {
        if (done && run != nullptr)
            PostMessage(run->GetWindow(), WM_COMMAND, ID_DONE, 0);
    }
    void ShowWaitCursor(bool) override {}
    void ShowErrorBox(const std::wstring&, bool) override {}
    void EndDialog(int) override {}

    CUpdateRun* run = nullptr;
};

class CListViewTest : public CNetTest {
protected:
    void SetUp() override
    {
        CNetTest::SetUp();
        UseBuiltInResources();
        setenv("XDG_CACHE_HOME", HomePath("cache").c_str(), 1);
        SetCurrentTimeForTesting(UtcTimePoint(2026, 12, 8, 12, 0));
        SetShellOpenerForTesting([this](const std::wstring& target) {
            m_opened.push_back(target);
            return true;
        });
        m_pFrame = std::make_unique<CMainFrame>();
        m_pFrame->show();
        QApplication::setActiveWindow(m_pFrame.get());
    }

    void TearDown() override
    {
        m_pFrame.reset();
        SetShellOpenerForTesting({});
        m_session.Shutdown();
        unsetenv("XDG_CACHE_HOME");
        UseBuiltInResources();
        CNetTest::TearDown();
    }

    // The subscription file: outlines given as OPML, with "@/" standing for
    // the server's address; the session starts on it.
    void StartSession(std::string outlines)
    {
        const std::string base = m_server.Url("/");
        for (size_t at = outlines.find("@/"); at != std::string::npos; at = outlines.find("@/", at))
            outlines.replace(at, 2, base);
        WriteHomeFile("data/RSSReader/default.opml", "<opml version='1.0'><body>" + outlines + "</body></opml>");
        m_session.Start();
    }

    // Runs the update over the feeds on this thread, as the update dialog does.
    void RunUpdate(std::vector<COutline*> feeds)
    {
        CDoneUpdateView view;
        CUpdateRun run(view, std::move(feeds), false, false);
        view.run = &run;
        run.SetFeedTimeout(2000);
        if (run.Start())
            PumpMessagesUntil([&] { return run.HasEnded(); }, std::chrono::seconds(30));
        ASSERT_TRUE(run.HasEnded());
    }

    void UpdateAll()
    {
        std::vector<COutline*> feeds;
        ASSERT_TRUE(m_session.BeginUpdate(nullptr, true, feeds));
        RunUpdate(feeds);
        m_session.AfterUpdate();
    }

    std::vector<COutline*> TopLevel()
    {
        std::vector<COutline*> level;
        for (auto& outline : m_session.Document().outlines)
            level.push_back(outline.get());
        return level;
    }

    // Runs the dialog modally with the script played once it shows; the
    // dialog is ended afterwards if the script left it running.
    static int RunScripted(CFullScreenDialog& dialog, const std::function<void()>& script)
    {
        QObject::connect(&dialog, &CFullScreenDialog::shown, &dialog, [&dialog, script] {
            script();
            dialog.EndDialog(-1);
        });
        return dialog.DoModal();
    }

    CReaderSession m_session;
    std::unique_ptr<CMainFrame> m_pFrame;
    std::vector<std::wstring> m_opened;
};

// An RSS item; an empty date leaves pubDate out.
inline std::string RssItem(const std::string& title, const std::string& link, const std::string& date,
                           const std::string& description = "", const std::string& enclosure = "")
{
    std::string xml = "<item><title>" + title + "</title>";
    if (!link.empty())
        xml += "<link>" + link + "</link>";
    if (!enclosure.empty())
        xml += "<enclosure url=\"" + enclosure + "\" length=\"10\" type=\"audio/mpeg\"/>";
    if (!date.empty())
        xml += "<pubDate>" + date + "</pubDate>";
    if (!description.empty())
        xml += "<description><![CDATA[" + description + "]]></description>";
    return xml + "</item>";
}

inline std::string RssDocument(const std::string& title, const std::string& items)
{
    return "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>" + title + "</title><description>D</description>" +
           items + "</channel></rss>";
}
