// Random input against the real window: the frame on a private home, its
// feeds, search templates and OPML served from loopback, driven by a seeded
// stream of what a user can do (the keys the windows use, both soft keys,
// picks in open menus, taps, double taps, drags and taps held until the
// context menu opens, text typed into edits, the Back key, a desktop
// synchronisation ending, the network going away) for a bounded time. After
// each burst: default.opml still loads, every feed's counters match its
// pages, and a widget of the window on top has the focus; a sanitizer
// build stops at its first report.
//
// The stream is a function of the seed alone (each input is drawn whole
// before it is applied to whatever is on top), so a seed replays the same
// input: RSSREADER_MONKEY_SEED=N, with RSSREADER_MONKEY_INPUTS=M to stop
// after the same number of inputs rather than after a time
// (RSSREADER_MONKEY_SECONDS, 60 by default). The seed, the number of inputs
// and a digest of them, the inputs per second and the windows reached are
// printed.

#include <QAbstractButton>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <chrono>
#include <cstdio>
#include <map>
#include <random>

#include "UserPathSupport.h"
#include "app/MessageBox.h"
#include "platform/FileSystem.h"
#include "platform/Shell.h"
#include "store/DataStorage.h"
#include "store/FeedDatabase.h"
#include "store/ItemDatabase.h"
#include "update/Setting.h"
#include "views/InstallDialogs.h"
#include "views/KFileDialog.h"
#include "views/TapAndHold.h"

namespace {

constexpr int kBurst = 40;         // inputs between two checks
constexpr int kSettleMs = 60;      // quiet before a check, for what the inputs started
constexpr int kTickMs = 3;         // one input per tick of the driver
constexpr int kFocusGraceMs = 1000; // for a window's activation to arrive
constexpr int kDefaultSeconds = 60;

int EnvInt(const char* name, int fallback)
{
    const char* value = getenv(name);
    return value != nullptr && *value != '\0' ? std::atoi(value) : fallback;
}

// One input, drawn whole (every field, whatever the kind) before it is
// applied.
struct CInput {
    enum EKind { Key, Tap, DoubleTap, Hold, Drag, Pick, Type, Notify };
    EKind kind = Key;
    int key = 0;
    double x = 0, y = 0, dy = 0;
    int choice = 0;
};

const Qt::Key kKeys[] = {Qt::Key_Up,     Qt::Key_Down, Qt::Key_Up,  Qt::Key_Down,  Qt::Key_Left,      Qt::Key_Right,
                         Qt::Key_Return, Qt::Key_Escape, Qt::Key_F1, Qt::Key_F2,   Qt::Key_Tab,       Qt::Key_Space,
                         Qt::Key_Backspace, Qt::Key_Down, Qt::Key_Return, Qt::Key_Escape, Qt::Key_F2, Qt::Key_Up};

// Drives the input from a timer of its own, so it goes on inside every
// window's loop. Counts what it sent and the windows it met.
class CMonkey : public QObject {
public:
    CMonkey(unsigned seed, int seconds, int inputs, std::vector<QString> texts, std::function<void()> check)
        : m_random(seed), m_texts(std::move(texts)), m_check(std::move(check)), m_nSeconds(seconds), m_nLimit(inputs)
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { Tick(); });
    }

    void Start()
    {
        m_clock.start();
        m_timer.start(kTickMs);
    }
    bool Finished() const { return m_bFinished; }
    int Inputs() const { return m_nInputs; }
    int Checks() const { return m_nChecks; }
    unsigned Digest() const { return m_nDigest; }
    double Seconds() const { return m_clock.elapsed() / 1000.0; }
    const std::map<std::string, int>& Windows() const { return m_windows; }

private:
    static QWidget* Surface()
    {
        if (QWidget* popup = QApplication::activePopupWidget())
            return popup;
        if (QWidget* modal = QApplication::activeModalWidget())
            return modal;
        return QApplication::activeWindow();
    }

    void NoteWindow()
    {
        std::string name;
        if (auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget()))
            name = popup->objectName().isEmpty() ? "context menu" : "soft-key menu";
        else if (qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr)
            name = "message box";
        else if (CFullScreenDialog* dialog = CFullScreenDialog::ActiveDialog())
            name = dialog->metaObject()->className();
        else
            name = "CChannelTreeView";
        ++m_windows[name];
    }

    CInput Draw()
    {
        std::uniform_int_distribution<int> percent(0, 99), any(0, 1 << 20);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        CInput input;
        const int kind = percent(m_random);
        input.kind = kind < 36   ? CInput::Key
                     : kind < 56 ? CInput::Tap
                     : kind < 61 ? CInput::DoubleTap
                     : kind < 64 ? CInput::Hold
                     : kind < 67 ? CInput::Drag
                     : kind < 84 ? CInput::Pick
                     : kind < 99 ? CInput::Type
                                 : CInput::Notify;
        input.key = static_cast<int>(kKeys[any(m_random) % std::size(kKeys)]);
        input.x = unit(m_random);
        input.y = unit(m_random);
        input.dy = unit(m_random) * 2 - 1;
        input.choice = any(m_random);
        for (const unsigned part : {unsigned(input.kind), unsigned(input.key), unsigned(input.x * 1e6),
                                    unsigned(input.y * 1e6), unsigned(input.choice)})
            m_nDigest = (m_nDigest ^ part) * 16777619u; // FNV-1a over the fields
        return input;
    }

    void Tick()
    {
        if (m_bFinished || m_bChecking)
            return;
        if (m_nLimit > 0 ? m_nInputs >= m_nLimit : m_clock.elapsed() > m_nSeconds * 1000) {
            Unwind();
            return;
        }
        if (m_held != nullptr || m_bHolding) {
            if (m_clock.elapsed() < m_nHoldUntil)
                return;
            if (m_held != nullptr)
                Post(m_held, QEvent::MouseButtonRelease, m_heldAt);
            m_held = nullptr;
            m_bHolding = false;
        }
        // What a desktop's window manager does after a popup closed.
        if (IsActivationLost()) {
            ActivateAsAWindowManagerWould();
            return;
        }
        if (m_nInputs > 0 && m_nInputs % kBurst == 0 && !m_bChecked) {
            if (m_nQuietUntil == 0)
                m_nQuietUntil = m_clock.elapsed() + kSettleMs;
            if (m_clock.elapsed() < m_nQuietUntil)
                return;
            m_nQuietUntil = 0;
            m_bChecked = true;
            ++m_nChecks;
            m_bChecking = true; // no input while the check waits
            m_check();
            m_bChecking = false;
        }
        NoteWindow();
        Apply(Draw());
        ++m_nInputs;
        m_bChecked = false;
    }

    // Ends every window, one a tick, so the test's own loop gets control
    // back.
    void Unwind()
    {
        if (QApplication::activePopupWidget() != nullptr || QApplication::activeModalWidget() != nullptr ||
            CFullScreenDialog::ActiveDialog() != nullptr) {
            CloseTopWindowOverTheFrame();
            return;
        }
        m_timer.stop();
        m_bFinished = true;
    }

    void Post(QWidget* receiver, QEvent::Type type, QPoint local, Qt::MouseButtons buttons = Qt::LeftButton)
    {
        const QPoint global = receiver->mapToGlobal(local);
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QCoreApplication::postEvent(receiver, new QMouseEvent(type, local, global, button, buttons, Qt::NoModifier));
    }

    void PostKey(QWidget* receiver, int key, const QString& text = {}, Qt::KeyboardModifiers modifiers = {})
    {
        QCoreApplication::postEvent(receiver, new QKeyEvent(QEvent::KeyPress, key, modifiers, text));
        QCoreApplication::postEvent(receiver, new QKeyEvent(QEvent::KeyRelease, key, modifiers, text));
    }

    static QWidget* KeyReceiver()
    {
        if (QWidget* popup = QApplication::activePopupWidget())
            return popup;
        if (QWidget* focus = QApplication::focusWidget())
            return focus;
        return Surface();
    }

    // The widget under a point of the surface, and the point in it. A popup
    // takes every press, also one outside it (which closes it).
    static QWidget* Under(QWidget* surface, double x, double y, QPoint& local)
    {
        const bool popup = qobject_cast<QMenu*>(surface) != nullptr;
        const double spread = popup ? 1.4 : 1.0;
        const QPoint at(static_cast<int>((x * spread - (spread - 1) / 2) * surface->width()),
                        static_cast<int>((y * spread - (spread - 1) / 2) * surface->height()));
        QWidget* child = popup ? nullptr : surface->childAt(at);
        QWidget* receiver = child != nullptr ? child : surface;
        local = receiver->mapFrom(surface, at);
        return receiver;
    }

    void Apply(const CInput& input)
    {
        QWidget* surface = Surface();
        if (surface == nullptr)
            return;
        QPoint local;
        switch (input.kind) {
        case CInput::Key:
            PostKey(KeyReceiver(), input.key);
            return;
        case CInput::Tap:
        case CInput::DoubleTap: {
            QWidget* receiver = Under(surface, input.x, input.y, local);
            Post(receiver, QEvent::MouseButtonPress, local);
            Post(receiver, QEvent::MouseButtonRelease, local, Qt::NoButton);
            if (input.kind == CInput::DoubleTap) {
                Post(receiver, QEvent::MouseButtonDblClick, local);
                Post(receiver, QEvent::MouseButtonRelease, local, Qt::NoButton);
            }
            return;
        }
        case CInput::Hold: {
            QWidget* receiver = Under(surface, input.x, input.y, local);
            Post(receiver, QEvent::MouseButtonPress, local);
            m_held = receiver;
            m_heldAt = local;
            m_bHolding = true;
            m_nHoldUntil = m_clock.elapsed() + CTapAndHold::kHoldMilliseconds + 150;
            return;
        }
        case CInput::Drag: {
            QWidget* receiver = Under(surface, input.x, input.y, local);
            Post(receiver, QEvent::MouseButtonPress, local);
            for (int step = 1; step <= 4; ++step)
                Post(receiver, QEvent::MouseMove, local + QPoint(0, static_cast<int>(input.dy * 12 * step)));
            Post(receiver, QEvent::MouseButtonRelease, local + QPoint(0, static_cast<int>(input.dy * 48)), Qt::NoButton);
            return;
        }
        case CInput::Pick:
            // In an open menu: down to a random entry, then into it or on
            // it; otherwise the right soft key opens one.
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                const int entries = std::max<int>(1, static_cast<int>(menu->actions().size()));
                for (int press = 0; press <= input.choice % entries; ++press)
                    PostKey(menu, Qt::Key_Down);
                PostKey(menu, input.choice % 3 == 0 ? Qt::Key_Right : Qt::Key_Return);
            } else {
                PostKey(KeyReceiver(), Qt::Key_F2);
            }
            return;
        case CInput::Type: {
            QWidget* focus = KeyReceiver();
            if (qobject_cast<QLineEdit*>(focus) == nullptr) {
                PostKey(focus, input.key);
                return;
            }
            if (input.choice % 2 == 0)
                PostKey(focus, Qt::Key_A, QString(), Qt::ControlModifier); // the old text goes
            for (const QChar c : m_texts[static_cast<size_t>(input.choice / 2) % m_texts.size()])
                PostKey(focus, 0, QString(c));
            return;
        }
        case CInput::Notify:
            if (auto* frame = qobject_cast<CMainFrame*>(QApplication::activeWindow() != nullptr
                                                            ? QApplication::activeWindow()->window()
                                                            : nullptr)) {
                if (input.choice % 4 == 0)
                    PostMessage(frame->GetWindow(), WM_CONNECTION_STATUS, 0x20, 0); // the network went away
                else
                    PostMessage(frame->GetWindow(), WM_CONNECTED_NOTIFY, 0x10, 0); // a synchronisation ended
            }
            return;
        }
    }

    std::mt19937 m_random;
    std::vector<QString> m_texts;
    std::function<void()> m_check;
    int m_nSeconds;
    int m_nLimit;
    unsigned m_nDigest = 2166136261u;
    QTimer m_timer;
    QElapsedTimer m_clock;
    int m_nInputs = 0;
    int m_nChecks = 0;
    bool m_bChecked = false;
    bool m_bFinished = false;
    bool m_bChecking = false;
    qint64 m_nQuietUntil = 0;
    QPointer<QWidget> m_held;
    QPoint m_heldAt;
    bool m_bHolding = false;
    qint64 m_nHoldUntil = 0;
    std::map<std::string, int> m_windows;
};

class ReaderMonkeyTest : public CReaderWindowTest {
protected:
    void SetUp() override
    {
        CReaderWindowTest::SetUp();
        // Nothing typed may leave loopback: every other address goes to a
        // proxy that is not there.
        for (const char* proxy : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"})
            setenv(proxy, "http://127.0.0.1:9", 1);
        setenv("no_proxy", "127.0.0.1", 1);
        setenv("NO_PROXY", "127.0.0.1", 1);
        SetShellOpenerForTesting([this](const std::wstring&) { return ++m_nOpened % 5 != 0; });
    }
    void TearDown() override
    {
        SetShellOpenerForTesting({});
        for (const char* proxy :
             {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY", "all_proxy", "no_proxy", "NO_PROXY"})
            unsetenv(proxy);
        CReaderWindowTest::TearDown();
    }

    // Feeds in two folders and at the top (one gone for good), a search
    // template, an OPML file and an OPML address.
    void ServeTheHome()
    {
        std::string tree = "<outline title=\"News\">";
        for (int feed = 0; feed < 6; ++feed) {
            const std::string path = "/f" + std::to_string(feed) + ".xml";
            std::string items;
            for (int item = 0; item < 6; ++item) {
                const std::string id = std::to_string(feed) + "-" + std::to_string(item);
                items += "<item><title>Page " + id + "</title><link>http://127.0.0.1:9/" + id + "</link>" +
                         "<description><![CDATA[<p>Text " + id + " <a href=\"" + FeedUrl("/x") + "\">web</a> " +
                         "<a href=\"mailto:a@b.org?attach=/etc/passwd\">mail</a> " +
                         "<a href=\"javascript:alert(1)\">script</a></p>]]></description><pubDate>" +
                         std::to_string(1 + item) + " Dec 2026 10:00:00 +0000</pubDate></item>";
            }
            m_server.SetAnswer(path, CHttpAnswer::Ok("<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Feed " +
                                                     std::to_string(feed) + "</title>" + items + "</channel></rss>"));
            if (feed == 3)
                tree += "</outline><outline title=\"Blogs\">";
            tree += FeedOutline("Feed " + std::to_string(feed), path);
        }
        tree += "</outline>" + FeedOutline("Gone", "/gone.xml");
        m_server.SetAnswer("/gone.xml", CHttpAnswer::Status(410));
        WriteTree(tree);
        const std::string opml = "<?xml version=\"1.0\"?><opml version=\"1.0\"><body>" +
                                 FeedOutline("Imported", "/f4.xml") + FeedOutline("Fresh", "/f5.xml") +
                                 "</body></opml>";
        m_server.SetAnswer("/subs.opml", CHttpAnswer::Ok(opml));
        WriteHomeFile("Documents/RSS Reader/subs.opml", opml);
        WriteHomeFile("data/RSSReader/FeedSearchKeyword.xml",
                      "<rss version=\"2.0\"><channel><title>t</title><item><title>Found searchkeyword</title>"
                      "<source url=\"" + FeedUrl("/f1.xml") + "\">s</source></item><item><title>None searchkeyword</title>"
                      "<source url=\"" + FeedUrl("/search?q=searchkeyword") + "\">s</source></item></channel></rss>");
        CSetting::Instance().SetUpdateOnStartup(1);
        CSetting::Instance().SetUpdateOnConnected(1);
    }

    void StartTheReader()
    {
        CTreeDialogs dialogs;
        InstallAllDialogs(dialogs);
        // The picker never leaves the private home (the monkey saves files).
        const std::wstring home = HomePathW("");
        dialogs.pickFile = [home](QWidget* host, const CTreeDialogs::CFileRequest& request) -> std::optional<std::wstring> {
            CKFileDialog dialog(host, request.mode, request.folder, request.defaultName, request.extensions);
            dialog.SetTitleId(request.titleId);
            dialog.SetMenuId(request.menuId);
            dialog.SetRootFolder(home);
            if (dialog.DoModal() != ID_DONE)
                return std::nullopt;
            return dialog.ChosenPath();
        };
        StartReader(std::move(dialogs));
    }

    // The invariants, wherever the input has led.
    void Check()
    {
        const std::wstring opml = HomePathW("data/RSSReader/default.opml");
        if (PathExists(opml))
            EXPECT_NE(LoadOpmlFile(opml), nullptr) << "default.opml no longer loads";
        EXPECT_FALSE(PathExists(opml + L".damaged")) << "default.opml was set aside";
        // After Exit no window is left to hold the focus.
        const bool open = m_pApp != nullptr && !m_bFrameClosed;
        EXPECT_TRUE(!open || Frame().isVisible()) << "the frame is hidden though it never closed";
        // A window's activation comes through the platform's queue: under
        // load, one that has just opened or closed gets the focus a moment
        // later. Only a focus that stays lost is a fault.
        QString lost;
        const auto focusWhole = [&] {
            // A frame still starting (after a restart) gives the focus once
            // its tree is there.
            if (!open || !Frame().isVisible() || !View().IsInitialised() ||
                QApplication::activePopupWidget() != nullptr)
                return true;
            QWidget* top = QApplication::activeModalWidget() != nullptr ? QApplication::activeModalWidget()
                                                                        : QApplication::activeWindow();
            QWidget* focus = QApplication::focusWidget();
            lost = QStringLiteral("top %1, focus %2")
                       .arg(top != nullptr ? top->metaObject()->className() : "none",
                            focus != nullptr ? focus->metaObject()->className() : "none");
            return top != nullptr && focus != nullptr && focus->window() == top->window();
        };
        for (int waited = 0; !focusWhole() && waited < kFocusGraceMs; waited += 25) {
            ActivateAsAWindowManagerWould(); // after the last popup closed
            QTest::qWait(25);
        }
        EXPECT_TRUE(focusWhole()) << "no widget of the window on top has the focus: " << lost.toStdString();
        if (m_pApp == nullptr || m_bFrameClosed || Session().IsUpdateLocked())
            return; // an update is writing the store
        CZelviaRssDB& feeds = CZelviaRssDB::Instance();
        std::function<void(const COutlineList&)> walk = [&](const COutlineList& list) {
            for (const auto& outline : list) {
                walk(outline->children);
                FeedRecord record;
                const CEOID oid = outline->IsFeed() ? feeds.FindFeedByUrl(outline->xmlUrl) : 0;
                if (!oid || !feeds.ReadFeed(record, oid))
                    continue;
                int pages = -1, unread = -1;
                ASSERT_TRUE(CZelviaRssItemDB::Instance().CountFeedPages(record.feedId, pages, unread));
                EXPECT_EQ(record.pageCount, pages) << WideToUtf8(outline->xmlUrl);
                EXPECT_EQ(record.unreadCount, unread) << WideToUtf8(outline->xmlUrl);
            }
        };
        walk(Session().Document().outlines);
    }

    int m_nOpened = 0;
};

} // namespace

TEST_F(ReaderMonkeyTest, RandomInputLeavesTheTreeTheStoreAndTheFocusWhole)
{
#if defined(__SANITIZE_THREAD__)
    // Random input cancels downloads from inside Qt's loop, which
    // ThreadSanitizer reports as a race on the download's own locked state
    // (the GUI thread's locking there is not seen); the other phases run it.
    GTEST_SKIP() << "downloads stopped in Qt's loop under ThreadSanitizer";
#endif
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    const unsigned seed = static_cast<unsigned>(EnvInt("RSSREADER_MONKEY_SEED", static_cast<int>(now % 1000000007)));
    const int seconds = EnvInt("RSSREADER_MONKEY_SECONDS", kDefaultSeconds);
    std::printf("monkey: seed %u (replay with RSSREADER_MONKEY_SEED=%u), %d s\n", seed, seed, seconds);
    std::fflush(stdout);

    ServeTheHome();
    StartTheReader();
    int restarts = 0;
    const std::vector<QString> texts = {
        QString(),
        QStringLiteral("ab"),
        QString::fromStdString(FeedUrl("/f2.xml")),
        QString::fromStdString(FeedUrl("/subs.opml")),
        QString::fromStdString(FeedUrl("/missing.xml")),
        QStringLiteral("file://") + QString::fromStdString(HomePath("Documents/RSS Reader/subs.opml")),
        QStringLiteral("http://127.0.0.1:9/refused"),
        QStringLiteral("Neue Mappe äöü €"),
        QStringLiteral("found"),
        QString(90, QLatin1Char('x')),
    };
    CMonkey monkey(seed, seconds, EnvInt("RSSREADER_MONKEY_INPUTS", 0), texts, [this] { Check(); });
    monkey.Start();
    while (!monkey.Finished()) {
        QTest::qWait(20);
        // Exit closed the frame: the reader starts again on the same home.
        if (m_bFrameClosed && CFullScreenDialog::ActiveDialog() == nullptr) {
            m_pApp->Shutdown();
            m_pApp.reset();
            ++restarts;
            StartTheReader();
        }
        if (HasFatalFailure())
            break;
    }
    Check();

    std::printf("monkey: seed %u, %d inputs (digest %08x) in %.1f s (%.0f per second), %d checks, %d restarts after "
                "Exit\n",
                seed, monkey.Inputs(), monkey.Digest(), monkey.Seconds(),
                monkey.Inputs() / std::max(0.001, monkey.Seconds()), monkey.Checks(), restarts);
    std::printf("monkey: windows reached (inputs sent there):");
    for (const auto& [window, count] : monkey.Windows())
        std::printf(" %s (%d)", window.c_str(), count);
    std::printf("\n");
    EXPECT_GT(monkey.Checks(), 0);
}
