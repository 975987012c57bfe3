#include "platform/ConnMgr.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <set>

namespace {

std::atomic<bool> g_bAvailable{true};
std::atomic<HCONNECTION> g_nextConnection{1};
std::mutex g_mutex;
std::set<HCONNECTION> g_connections;

} // namespace

std::string FormatGuid(const GUID& guid)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.Data1, guid.Data2,
                  guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4],
                  guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

bool ConnMgrMapURL(const std::wstring& url, GUID& destination)
{
    if (url.empty())
        return false;
    destination = IID_DestNetInternet;
    return true;
}

bool ConnMgrEstablishConnectionSync(const CONNMGR_CONNECTIONINFO&, HCONNECTION& connection, DWORD, DWORD& status)
{
    connection = 0;
    if (!g_bAvailable) {
        status = CONNMGR_STATUS_DISCONNECTED;
        return false;
    }
    connection = g_nextConnection++;
    std::lock_guard lock(g_mutex);
    g_connections.insert(connection);
    status = CONNMGR_STATUS_CONNECTED;
    return true;
}

bool ConnMgrConnectionStatus(HCONNECTION connection, DWORD& status)
{
    std::lock_guard lock(g_mutex);
    if (!g_connections.contains(connection))
        return false;
    status = g_bAvailable ? CONNMGR_STATUS_CONNECTED : CONNMGR_STATUS_DISCONNECTED;
    return true;
}

void ConnMgrReleaseConnection(HCONNECTION connection)
{
    std::lock_guard lock(g_mutex);
    g_connections.erase(connection);
}

bool ConnMgrGetProxy(HCONNECTION, std::wstring& proxy)
{
    proxy.clear();
    return false;
}

void ConnMgrSetNetworkAvailableForTesting(bool available) { g_bAvailable = available; }
