// Screens of the reader's window: the channel tree with counts and icons,
// the update dialog during a run and at its end, the first-subscription
// prompt, the context menu and move mode. Each is the real window on a demo
// data set built here: a private home, feeds served from loopback, and an
// update run that fills the store.
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <string>

#include "ScreenRegistry.h"
#include "app/MainFrame.h"
#include "app/MessageBridge.h"
#include "app/ReaderApp.h"
#include "platform/Unicode.h"
#include "store/FeedDatabase.h"
#include "support/LoopbackHttpServer.h"
#include "views/ChannelTreeView.h"
#include "views/ChannelTreeViewCtrl.h"
#include "views/NewSubscriptionDlg.h"
#include "views/UpdateFeedsDlg.h"

namespace {

std::string Rss(const std::string& title, int items, int seed)
{
    std::string xml = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>" + title +
                      "</title><link>http://demo.invalid/</link><description>" + title + "</description>";
    for (int item = 0; item < items; ++item) {
        const std::string id = std::to_string(seed) + "-" + std::to_string(item);
        xml += "<item><title>Story " + id + "</title><link>http://demo.invalid/" + id + "</link>"
               "<description>" + std::string(3000, 'x') + "</description>"
               "<pubDate>" + std::to_string(1 + item % 28) + " Nov 2026 09:00:00 +0000</pubDate></item>";
    }
    return xml + "</channel></rss>";
}

// A private home with a loopback server for the demo feeds; the process's
// own, removed at exit.
class CDemoHome {
public:
    static CDemoHome& Get()
    {
        static CDemoHome home;
        return home;
    }

    // A fresh store and options; the tree of demo feeds unless empty. A
    // feed named in stalled answers with part of its document and then
    // nothing, so that a run can be caught in the middle.
    void Prepare(bool empty, const std::string& stalled = {})
    {
        UseThisHome();
        QDir(m_folder.filePath(QStringLiteral("data"))).removeRecursively();
        QDir(m_folder.filePath(QStringLiteral("config"))).removeRecursively();
        QDir().mkpath(m_folder.filePath(QStringLiteral("data/RSSReader")));
        std::string opml = "<?xml version=\"1.0\"?><opml version=\"1.0\"><head><title>Demo</title></head><body>";
        int seed = 0;
        // An empty tree is a subscription file without outlines: without a
        // file the seed would be copied in.
        for (const auto& [folder, feeds] : empty ? decltype(Tree()){} : Tree()) {
            if (!folder.empty())
                opml += "<outline title=\"" + folder + "\">";
            for (const auto& [name, items] : feeds) {
                const std::string path = "/" + std::to_string(++seed) + ".xml";
                CHttpAnswer answer = items < 0 ? CHttpAnswer::Status(404) : CHttpAnswer::Ok(Rss(name, items, seed));
                if (name == stalled) {
                    answer.delivery = CHttpAnswer::Delivery::StallAfterPart;
                    answer.firstBytes = answer.body.size() / 2;
                }
                m_server.SetAnswer(path, answer);
                opml += "<outline text=\"" + name + "\" title=\"" + name + "\" type=\"rss\" xmlUrl=\"" +
                        m_server.Url(path) + "\"/>";
            }
            if (!folder.empty())
                opml += "</outline>";
        }
        opml += "</body></opml>";
        QFile file(m_folder.filePath(QStringLiteral("data/RSSReader/default.opml")));
        if (file.open(QIODevice::WriteOnly))
            file.write(QByteArray::fromStdString(opml));
    }

private:
    // Folders (empty name: the top level) and their feeds with their item
    // counts; a negative count is a feed that fails.
    static std::vector<std::pair<std::string, std::vector<std::pair<std::string, int>>>> Tree()
    {
        return {{"World News", {{"Harbour Town Gazette", 12}, {"Northern Courier", 7}, {"Valley Evening Post", 4}}},
                {"Technology",
                 {{"Kernel Notes", 9}, {"Compiler Weekly", 3}, {"Retro Computing Log", -1}, {"Open Hardware", 5}}},
                {"Science", {{"Star Charts Daily", 6}, {"Tide and Weather", 2}}},
                {"", {{"Recipe of the Day", 8}, {"Photo of the Week", 1}}}};
    }

    CDemoHome() { m_server.Start(); }

    // Screens of other files point HOME elsewhere meanwhile: each
    // preparation points it back here.
    void UseThisHome()
    {
        const QString root = m_folder.path();
        for (const auto& [name, sub] : {std::pair{"HOME", ""}, {"XDG_DATA_HOME", "/data"},
                                        {"XDG_CONFIG_HOME", "/config"}, {"XDG_RUNTIME_DIR", "/run"}}) {
            QDir().mkpath(root + QString::fromUtf8(sub));
            qputenv(name, (root + QString::fromUtf8(sub)).toLocal8Bit());
        }
        QFile::setPermissions(root + QStringLiteral("/run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                                 QFileDevice::ExeOwner);
    }

    QTemporaryDir m_folder;
    CLoopbackHttpServer m_server;
};

// Does what the user would, from the event loop, whenever a window shows:
// the action gets the dialog on top (or nullptr) and returns true when it is
// done.
class CPilot : public QObject {
public:
    explicit CPilot(std::function<bool(CFullScreenDialog*)> action) : m_action(std::move(action))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (m_action(CFullScreenDialog::ActiveDialog()))
                m_timer.stop();
        });
        m_timer.start(20);
    }

private:
    std::function<bool(CFullScreenDialog*)> m_action;
    QTimer m_timer;
};

// The reader's window on the demo data, started and on screen.
class CDemoReader {
public:
    explicit CDemoReader(CScreenContext& context, CTreeDialogs dialogs = {}) : m_app(std::move(dialogs))
    {
        m_app.Create();
        CMainFrame& frame = m_app.Frame();
        const QRect screen = frame.screen()->availableGeometry();
        frame.move(screen.topLeft());
        frame.show();
        while (!m_app.View().IsInitialised())
            context.Settle(20);
        // Keys are dropped for a moment after start-up.
        context.Settle(CChannelTreeView::kStartupKeyGraceMs + 50);
    }

    CReaderApp& App() { return m_app; }
    CChannelTreeView& View() { return m_app.View(); }
    CMainFrame& Frame() { return m_app.Frame(); }

    // Update All through the real dialog; act sees it while it runs.
    void UpdateAll(const std::function<bool(CUpdateFeedsDlg&)>& act)
    {
        CPilot pilot([&](CFullScreenDialog* dialog) {
            auto* update = qobject_cast<CUpdateFeedsDlg*>(dialog);
            return update != nullptr && act(*update);
        });
        View().OnCommand(ID_UPDATE_ALL);
    }

    // After a run: some feeds read, a folder closed, a feed selected.
    void Arrange(CScreenContext& context)
    {
        View().Model()->ForEachEntry([&](const QModelIndex& entry) {
            COutline* outline = View().OutlineOf(entry);
            if (outline->DisplayName() == L"Science")
                View().Tree()->collapse(entry);
            if (outline->DisplayName() == L"Compiler Weekly" || outline->DisplayName() == L"Photo of the Week")
                m_app.Session().MarkSubtree(*outline, true);
        });
        View().RefreshAll();
        View().Select(FindOutline(L"Kernel Notes"));
        context.Settle();
    }

    COutline* FindOutline(const std::wstring& name)
    {
        COutline* found = nullptr;
        View().Model()->ForEachEntry([&](const QModelIndex& entry) {
            if (found == nullptr && View().OutlineOf(entry)->DisplayName() == name)
                found = View().OutlineOf(entry);
        });
        return found;
    }

private:
    CMessageBridge m_bridge;
    CReaderApp m_app;
};

bool EndWhenFinished(CUpdateFeedsDlg& dialog)
{
    if (!dialog.Run().IsFinished())
        return false;
    dialog.PostCommand(ID_DONE);
    return true;
}

// Every window the pictures show as available, so that the prompt's rows
// and the menus look as they do once the windows of the other groups are in
// (until then their commands are greyed).
CTreeDialogs AllWindowsPresent()
{
    CTreeDialogs dialogs;
    dialogs.addFeed = [](QWidget*, CReaderSession&) { return std::optional<CTreeDialogs::CAddedFeed>(); };
    dialogs.onlineSearch = [](QWidget*, CReaderSession&) { return COutlineList(); };
    dialogs.pickFile = [](QWidget*, const CTreeDialogs::CFileRequest&) { return std::optional<std::wstring>(); };
    dialogs.opmlAddress = [](QWidget*, CReaderSession&) { return COutlineList(); };
    dialogs.newItems = [](QWidget*, CReaderSession&) {};
    dialogs.newFolder = [](QWidget*) { return std::optional<CTreeDialogs::CNewFolder>(); };
    dialogs.rename = [](QWidget*, CReaderSession&, COutline&) { return std::optional<std::wstring>(); };
    dialogs.properties = [](QWidget*, const std::vector<CPropertyRow>&) {};
    return dialogs;
}

} // namespace

RSS_SCREEN(channel-tree)
{
    CDemoHome::Get().Prepare(false);
    CDemoReader reader(context, AllWindowsPresent());
    reader.UpdateAll(EndWhenFinished);
    reader.Arrange(context);
    return context.Grab(reader.Frame());
}

RSS_SCREEN(update-running)
{
    CDemoHome::Get().Prepare(false, "Kernel Notes");
    CDemoReader reader(context);
    QImage image;
    reader.UpdateAll([&](CUpdateFeedsDlg& dialog) {
        if (image.isNull()) {
            // The walk waits at the stalled feed; the bar shows the feeds
            // before it and whatever downloads ahead still bring.
            if (!dialog.StatusText()->text().contains(QStringLiteral("Kernel Notes")))
                return false;
            context.Settle(300);
            image = context.Grab(reader.Frame());
            dialog.PostCommand(ID_CANCEL);
            return false;
        }
        return EndWhenFinished(dialog);
    });
    return image;
}

RSS_SCREEN(update-finished)
{
    CDemoHome::Get().Prepare(false);
    CDemoReader reader(context);
    QImage image;
    reader.UpdateAll([&](CUpdateFeedsDlg& dialog) {
        if (!dialog.Run().IsFinished())
            return false;
        context.Settle();
        image = context.Grab(reader.Frame());
        return EndWhenFinished(dialog);
    });
    return image;
}

RSS_SCREEN(first-subscription)
{
    CDemoHome::Get().Prepare(true);
    QImage image;
    CPilot pilot([&](CFullScreenDialog* dialog) {
        if (qobject_cast<CNewSubscriptionDlg*>(dialog) == nullptr)
            return false;
        CScreenContext().Settle(100);
        image = dialog->window()->grab().toImage();
        dialog->PostCommand(ID_CANCEL);
        return true;
    });
    CDemoReader reader(context, AllWindowsPresent());
    return image;
}

RSS_SCREEN(tree-empty)
{
    CDemoHome::Get().Prepare(true);
    CPilot pilot([](CFullScreenDialog* dialog) {
        if (dialog == nullptr)
            return false;
        dialog->PostCommand(ID_CANCEL);
        return true;
    });
    CDemoReader reader(context);
    return context.Grab(reader.Frame());
}

RSS_SCREEN(context-menu)
{
    CDemoHome::Get().Prepare(false);
    CDemoReader reader(context, AllWindowsPresent());
    reader.UpdateAll(EndWhenFinished);
    reader.Arrange(context);
    QImage image;
    QTimer::singleShot(200, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr)
            return;
        context.Settle();
        image = context.Grab(reader.Frame());
        QPainter painter(&image);
        painter.drawImage(menu->geometry().topLeft() - reader.Frame().mapToGlobal(QPoint(0, 0)), context.Grab(*menu));
        painter.end();
        menu->hide();
    });
    CChannelTreeCtrl* tree = reader.View().Tree();
    const QRect entry = tree->visualRect(tree->currentIndex());
    QContextMenuEvent hold(QContextMenuEvent::Mouse, entry.center(), tree->viewport()->mapToGlobal(entry.center()));
    QCoreApplication::sendEvent(tree->viewport(), &hold);
    return image;
}

RSS_SCREEN(move-mode)
{
    CDemoHome::Get().Prepare(false);
    CDemoReader reader(context, AllWindowsPresent());
    reader.UpdateAll(EndWhenFinished);
    reader.Arrange(context);
    reader.View().Select(reader.FindOutline(L"Science"));
    reader.View().OnCommand(ID_MOVE);
    for (int step = 0; step < 2; ++step) {
        QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
        QCoreApplication::sendEvent(reader.View().Tree(), &up);
    }
    context.Settle();
    QImage image = context.Grab(reader.Frame());
    reader.View().OnCommand(ID_MOVE_CANCEL);
    return image;
}
