#include "update/ConnectionManager.h"

#include "platform/Debug.h"
#include "platform/Registry.h"


namespace {

// The registry value the desktop link keeps up to date on the device.
constexpr wchar_t kDesktopStateKey[] = L"System\\State\\Connections\\Desktop";
constexpr wchar_t kDesktopCountValue[] = L"Count";

} // namespace

CConnectionManager::~CConnectionManager()
{
    // The monitor first: it raises the event the disconnect watcher waits on.
    m_networkMonitor.Stop();
    m_syncWatcher.Stop();
    m_disconnectWatcher.Stop();
    Release();
}

std::wstring CConnectionManager::GetEventName(const std::wstring& watcherName) { return watcherName + kProgramName; }

bool CConnectionManager::Init(HWND notifyWindow, UINT connectedMessage, UINT disconnectedMessage)
{
    m_hNotifyWindow = notifyWindow;
    m_uConnectedMessage = connectedMessage;
    m_uDisconnectedMessage = disconnectedMessage;
    ReadDesktopConnected();
    const bool watching = m_syncWatcher.Start(GetEventName(kSyncEndWatcher), [this] { OnSyncEnd(); }) &&
                          m_disconnectWatcher.Start(GetEventName(kDisconnectWatcher), [this] { OnNetworkLost(); });
    // Loss of the default route raises the same event the system would.
    m_networkMonitor.Start([] {
        CEvent lost;
        if (lost.Create(true, false, GetEventName(kDisconnectWatcher)))
            lost.Set();
    });
    return watching;
}

bool CConnectionManager::ReadDesktopConnected()
{
    CRegKey key;
    DWORD count = 0;
    if (key.Open(HKEY_LOCAL_MACHINE, kDesktopStateKey) != ERROR_SUCCESS ||
        key.QueryDWORDValue(kDesktopCountValue, count) != ERROR_SUCCESS)
        count = 0;
    std::lock_guard lock(m_mutex);
    m_bDesktopConnected = count != 0;
    return m_bDesktopConnected;
}

HCONNECTION CConnectionManager::GetConnection() const
{
    std::lock_guard lock(m_mutex);
    return m_hConnection;
}

void CConnectionManager::Release()
{
    std::lock_guard lock(m_mutex);
    if (m_hConnection != 0)
        ConnMgrReleaseConnection(m_hConnection);
    m_hConnection = 0;
}

bool CConnectionManager::IsConnected()
{
    if (ReadDesktopConnected())
        return true;
    std::lock_guard lock(m_mutex);
    if (m_hConnection == 0)
        return false;
    DWORD status = 0;
    if (!ConnMgrConnectionStatus(m_hConnection, status)) {
        // The connection is gone under us: forget it.
        ConnMgrReleaseConnection(m_hConnection);
        m_hConnection = 0;
        return false;
    }
    return status == CONNMGR_STATUS_CONNECTED;
}

bool CConnectionManager::MapDestination(const std::wstring& url, GUID& destination)
{
    if (!ConnMgrMapURL(url, destination))
        return false;
    constexpr char kScope[] = "CConnectionManager::_GetDefaultConnectionProfile";
    if (destination == IID_DestNetInternet)
        DebugLog(kScope, "Going to the Internet destination");
    else if (destination == IID_DestNetCorp)
        DebugLog(kScope, "Going to the Work destination");
    else if (destination == IID_DestNetWAP)
        DebugLog(kScope, "Going to the WAP destination");
    else if (destination == IID_DestNetSecureWAP)
        DebugLog(kScope, "Going to the Secure WAP destination");
    else
        DebugLogF(kScope, "Going to an unknown destination:%s", FormatGuid(destination).c_str());
    return true;
}

bool CConnectionManager::Establish(const GUID& destination)
{
    CONNMGR_CONNECTIONINFO info;
    info.guidDestNet = destination;
    info.hWnd = m_hNotifyWindow;
    info.uMsg = m_uDisconnectedMessage;
    HCONNECTION connection = 0;
    DWORD status = 0;
    const bool established = ConnMgrEstablishConnectionSync(info, connection, kEstablishTimeoutMs, status) ||
                             (connection != 0 && status == CONNMGR_STATUS_CONNECTED);
    std::lock_guard lock(m_mutex);
    // A connection we held that is no longer up is replaced, not leaked.
    if (m_hConnection != 0 && m_hConnection != connection)
        ConnMgrReleaseConnection(m_hConnection);
    m_hConnection = 0;
    if (!established) {
        if (connection != 0)
            ConnMgrReleaseConnection(connection);
        return false;
    }
    m_hConnection = connection;
    m_guidDestination = destination;
    return true;
}

bool CConnectionManager::Connect(const std::wstring& url)
{
    if (IsConnected())
        return true;
    GUID destination;
    if (!MapDestination(url, destination))
        return false;
    if (Establish(destination))
        return true;
    return Establish(IID_DestNetWAP);
}

void CConnectionManager::OnSyncEnd()
{
    if (IsConnected())
        PostMessage(m_hNotifyWindow, m_uConnectedMessage, CONNMGR_STATUS_CONNECTED, 0);
}

void CConnectionManager::OnNetworkLost()
{
    if (!IsConnected())
        return;
    PostMessage(m_hNotifyWindow, m_uDisconnectedMessage, CONNMGR_STATUS_DISCONNECTED, 0);
    Release();
}
