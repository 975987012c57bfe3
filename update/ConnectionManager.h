#pragma once
// The reader's one connection to the network, and the two system events it
// watches for the main window: the end of a desktop synchronisation and the
// loss of the network.
//
// Each event is a named event, "Connected" or "Disconnected" followed by the
// program name, so any process can raise it: the system's notification on
// the device, "rssreader-tool notify" and the network monitor here. On the
// event, a watcher thread posts to the main window, and only when there is a
// connection to speak of (a desktop link, or our connection still up):
//   synchronisation end  -> connected message, wParam 16
//   network lost         -> disconnected message, wParam 32, and our
//                           connection is released
// The Connection Manager itself also posts the disconnected message, with
// its status, when our connection changes state.

#include <memory>
#include <mutex>
#include <string>

#include "platform/ConnMgr.h"
#include "platform/NetworkMonitor.h"
#include "platform/ProcessWide.h"
#include "platform/WindowMessages.h"
#include "update/EventWatcher.h"

class CConnectionManager {
public:
    static CConnectionManager& Instance() { return CProcessWide<CConnectionManager>::Get(); }
    static void DestroyInstance() { CProcessWide<CConnectionManager>::DestroyInstance(); }

    CConnectionManager() = default;
    ~CConnectionManager(); // releases the connection and stops the watchers
    CConnectionManager(const CConnectionManager&) = delete;
    CConnectionManager& operator=(const CConnectionManager&) = delete;

    // Once, by the main window: stores where to post, reads the desktop
    // state, starts both watchers and the network monitor. False when a
    // watcher cannot be started.
    bool Init(HWND notifyWindow, UINT connectedMessage = WM_CONNECTED_NOTIFY,
              UINT disconnectedMessage = WM_CONNECTION_STATUS);

    // Makes sure the device is connected for the URL; true when it is.
    bool Connect(const std::wstring& url);
    HCONNECTION GetConnection() const;
    void Release();
    // A desktop link, or our connection reports "connected".
    bool IsConnected();
    // The desktop link count of the registry. Off the device there is no such
    // value, and a missing value means "not connected" at once; on the device
    // it appears late at boot, and a device waits for it: here there is nothing to wait for.
    bool ReadDesktopConnected();

    // "Connected" or "Disconnected" + the program name. The reader and its
    // tool share one program name so that the tool can raise the reader's
    // events.
    static std::wstring GetEventName(const std::wstring& watcherName);
    static constexpr wchar_t kSyncEndWatcher[] = L"Connected";
    static constexpr wchar_t kDisconnectWatcher[] = L"Disconnected";
    static constexpr wchar_t kProgramName[] = L"RSSReader";

    static constexpr DWORD kEstablishTimeoutMs = 50000;

private:
    bool MapDestination(const std::wstring& url, GUID& destination);
    bool Establish(const GUID& destination);
    void OnSyncEnd();
    void OnNetworkLost();

    HWND m_hNotifyWindow;
    UINT m_uDisconnectedMessage = WM_CONNECTION_STATUS;
    UINT m_uConnectedMessage = WM_CONNECTED_NOTIFY;
    bool m_bDesktopConnected = false;
    mutable std::mutex m_mutex; // the connection: the watchers release it too
    HCONNECTION m_hConnection = 0;
    GUID m_guidDestination;
    CEventWatcher m_syncWatcher;
    CEventWatcher m_disconnectWatcher;
    CNetworkMonitor m_networkMonitor;

};
