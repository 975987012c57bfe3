#pragma once
// Shared by the tests of the reader's window: a private home with a loopback
// server, the real window (CReaderApp) started on a subscription file the
// test writes, a pilot that answers the windows the view opens from inside
// their loops, and the tree as text.

#include <QApplication>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <sys/stat.h>

#include "GuiTestSupport.h"
#include "StoreTestSupport.h"
#include "TestSupport.h"
#include "app/MainFrame.h"
#include "app/MessageBridge.h"
#include "app/ReaderApp.h"
#include "platform/ConnMgr.h"
#include "platform/Unicode.h"
#include "subscriptions/OpmlFile.h"
#include "support/LoopbackHttpServer.h"
#include "update/ConnectionManager.h"
#include "views/ChannelTreeView.h"
#include "views/ChannelTreeViewCtrl.h"
#include "views/FullScreenDialog.h"
#include "views/ResText.h"
#include "views/SoftKeyBar.h"

// A failed check shows an entry by its label.
inline void PrintTo(const QModelIndex& index, std::ostream* out)
{
    *out << (index.isValid() ? '"' + index.data().toString().toStdString() + '"' : std::string("(no entry)"));
}

// Plays the user in the windows the view opens: every 10 ms, from the
// event loop (so also inside a dialog's own loop), the front step is given
// the dialog on top (nullptr when none) and is dropped once it returns true.
// A step that waits on the event loop itself is not called again meanwhile.
class CPilot : public QObject {
public:
    using CStep = std::function<bool(CFullScreenDialog*)>;

    CPilot()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (m_bInStep || m_steps.empty())
                return;
            m_bInStep = true;
            const bool done = m_steps.front()(CFullScreenDialog::ActiveDialog());
            m_bInStep = false;
            if (done)
                m_steps.pop_front();
        });
        m_timer.start(10);
    }
    CPilot& Then(CStep step)
    {
        m_steps.push_back(std::move(step));
        return *this;
    }
    bool IsDone() const { return m_steps.empty(); }
    size_t Remaining() const { return m_steps.size(); }
    // Drops the steps left (a test that gives up).
    void Abandon() { m_steps.clear(); }

private:
    std::deque<CStep> m_steps;
    QTimer m_timer;
    bool m_bInStep = false;
};

// A step that waits for a dialog of type T and acts on it once.
template <class T> CPilot::CStep OnDialog(std::function<void(T&)> act)
{
    return [act](CFullScreenDialog* dialog) {
        auto* wanted = qobject_cast<T*>(dialog);
        if (wanted == nullptr)
            return false;
        act(*wanted);
        return true;
    };
}

class CReaderWindowTest : public CTempHomeTest {
protected:
    void SetUp() override
    {
        CTempHomeTest::SetUp();
        UseBuiltInResources();
        const std::string runtime = HomePath("run");
        ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        ASSERT_TRUE(m_server.Start());
        m_pBridge = std::make_unique<CMessageBridge>();
    }

    void TearDown() override
    {
        if (m_pApp)
            m_pApp->Shutdown();
        m_pApp.reset();
        m_pBridge.reset();
        m_server.Stop();
        CConnectionManager::DestroyInstance();
        ConnMgrSetNetworkAvailableForTesting(true);
        UseBuiltInResources();
        CTempHomeTest::TearDown();
    }

    // default.opml with the outlines given (the <body> content).
    void WriteTree(const std::string& body)
    {
        WriteHomeFile("data/RSSReader/default.opml", "<?xml version=\"1.0\"?><opml version=\"1.0\"><head/><body>" +
                                                         body + "</body></opml>");
    }
    std::string FeedUrl(const std::string& path) const { return m_server.Url(path); }
    // An outline element for a feed served at path.
    std::string FeedOutline(const std::string& title, const std::string& path) const
    {
        return "<outline title=\"" + title + "\" xmlUrl=\"" + FeedUrl(path) + "\"/>";
    }

    // Creates the window, shows it and lets the tree start (the pilot
    // answers what start-up shows).
    void StartReader(CTreeDialogs dialogs = {})
    {
        m_pApp = std::make_unique<CReaderApp>(std::move(dialogs));
        m_pApp->Create();
        // Known from the first moment: input during start-up may already
        // close the window.
        m_bFrameClosed = false;
        QObject::connect(&Frame(), &CMainFrame::closing, &Frame(), [this] { m_bFrameClosed = true; });
        Frame().show();
        ASSERT_TRUE(WaitFor([&] { return View().IsInitialised(); }, 20000)) << "the tree never started";
        // Keys are the user's again once those queued during start-up are
        // dropped.
        QTest::qWait(CChannelTreeView::kStartupKeyGraceMs + 50);
    }

    CMainFrame& Frame() { return m_pApp->Frame(); }
    CChannelTreeView& View() { return m_pApp->View(); }
    CReaderSession& Session() { return m_pApp->Session(); }
    CChannelTreeCtrl* Tree() { return View().Tree(); }
    CSoftKeyBar* Keys() { return Frame().SoftKeys(); }

    // The entry whose label starts with text ("Alpha" finds "Alpha (3)"),
    // searched through the model's own interface, depth first.
    QModelIndex Entry(const QString& text)
    {
        const QModelIndex found = FindEntry(*Tree()->model(), text);
        if (!found.isValid())
            ADD_FAILURE() << "no entry " << text.toStdString();
        return found;
    }
    static QModelIndex FindEntry(const QAbstractItemModel& model, const QString& text, const QModelIndex& parent = {})
    {
        for (int row = 0; row < model.rowCount(parent); ++row) {
            const QModelIndex entry = model.index(row, 0, parent);
            const QString label = entry.data().toString();
            if (label == text || label.startsWith(text + QLatin1Char(' ')))
                return entry;
            if (const QModelIndex below = FindEntry(model, text, entry); below.isValid())
                return below;
        }
        return {};
    }
    void SelectEntry(const QString& text)
    {
        if (const QModelIndex entry = Entry(text); entry.isValid())
            Tree()->setCurrentIndex(entry);
    }

    // The entries as they show: "F[A (3) B] C", children of open folders in
    // brackets, closed ones with "+".
    std::string Shape(const QModelIndex& parent = {})
    {
        const QAbstractItemModel& model = *Tree()->model();
        std::string text;
        for (int row = 0; row < model.rowCount(parent); ++row) {
            const QModelIndex entry = model.index(row, 0, parent);
            text += (text.empty() ? "" : " ") + entry.data().toString().toStdString();
            if (model.rowCount(entry) > 0)
                text += Tree()->isExpanded(entry) ? "[" + Shape(entry) + "]" : "+";
        }
        return text;
    }
    std::string SavedShape() const
    {
        const auto doc = LoadOpmlFile(HomePathW("data/RSSReader/default.opml"));
        return doc ? SavedShape(doc->outlines) : "(none)";
    }
    static std::string SavedShape(const COutlineList& list)
    {
        std::string text;
        for (const auto& outline : list) {
            text += (text.empty() ? "" : " ") + WideToUtf8(outline->DisplayName());
            if (!outline->children.empty())
                text += "[" + SavedShape(outline->children) + "]";
        }
        return text;
    }

    void PressKey(Qt::Key key) { QTest::keyClick(Tree(), key); }

    CLoopbackHttpServer m_server;
    std::unique_ptr<CMessageBridge> m_pBridge;
    std::unique_ptr<CReaderApp> m_pApp;
    bool m_bFrameClosed = false; // the frame got its close event
};

// A feed document of count items, links prefix0.. prefix<count-1>.
inline std::string RssDocument(const std::string& title, const std::string& prefix, int count)
{
    std::string xml = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>" + title + "</title>";
    for (int item = 0; item < count; ++item)
        xml += "<item><title>" + prefix + std::to_string(item) + "</title><link>http://x/" + prefix +
               std::to_string(item) + "</link><pubDate>1 Dec 2026 10:00:00 +0000</pubDate></item>";
    return xml + "</channel></rss>";
}
