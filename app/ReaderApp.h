#pragma once
// CReaderApp: the reader's window put together. It owns the session (and
// with it the subscription document), the frame, and the channel tree view
// as the frame's client, and takes them up and down in the reader's fixed
// order:
//
//   Create:   the frame with the main menu bar; the documents folder
//             ("RSS Reader" in the user's documents); the feed and item
//             databases opened; the connection manager told to post its two
//             notifications to the frame's window; the channel tree view as
//             the client, which takes those notifications; the start-up
//             command posted (the view starts the tree once the loop runs).
//   Shutdown: the session's shutdown (options written, item database, feed
//             database, connection manager, the XML parser's state), then
//             the view's timer stopped and the windows taken down. The
//             subscription document is freed with the object, never saved.
//
// An automatic update that brought new pages is told as a desktop notice
// (CDesktopNotifier, on the session bus unless another bus is given); a
// click on it brings the frame to the front and opens the New list, unless
// a window of the tree is open over it.
//
// main() runs one; the GUI tests drive the same object. Create it on the GUI
// thread while a CMessageBridge exists.

#include <QDBusConnection>
#include <memory>
#include <optional>

#include "session/ReaderSession.h"
#include "views/TreeDialogs.h"

class CMainFrame;
class CChannelTreeView;
class CDesktopNotifier;

class CReaderApp {
public:
    explicit CReaderApp(CTreeDialogs dialogs = {}, std::optional<QDBusConnection> noticeBus = std::nullopt);
    ~CReaderApp();
    CReaderApp(const CReaderApp&) = delete;
    CReaderApp& operator=(const CReaderApp&) = delete;

    void Create();
    // Idempotent; the destructor calls it.
    void Shutdown();

    CMainFrame& Frame() { return *m_pFrame; }
    CChannelTreeView& View() { return *m_pView; }
    CReaderSession& Session() { return m_session; }
    CDesktopNotifier& Notifier() { return *m_pNotifier; }

private:
    CReaderSession m_session;
    CTreeDialogs m_dialogs;
    std::optional<QDBusConnection> m_noticeBus;
    std::unique_ptr<CMainFrame> m_pFrame;
    std::unique_ptr<CDesktopNotifier> m_pNotifier;
    CChannelTreeView* m_pView = nullptr; // the frame's client, owned by it
    bool m_bCreated = false;
    bool m_bShutDown = false;
};
