#pragma once
// The connection service (stands in for the device's Connection Manager):
// maps a URL to a destination network, establishes and releases
// connections, reports their status and the proxy to use.
//
// Off the device the machine's own network is always "there": every URL maps
// to the Internet destination, establishing succeeds at once and a held
// connection reports "connected" until it is released. Loss of the network
// reaches the reader through the NetworkMonitor instead. The proxy is left
// to the environment (empty here).

#include <cstdint>
#include <string>

#include "platform/WindowMessages.h"

struct GUID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::uint8_t Data4[8] = {};
    bool operator==(const GUID&) const = default;
};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
std::string FormatGuid(const GUID& guid);

inline constexpr GUID IID_DestNetInternet{0x436EF144, 0xB4FB, 0x4863, {0xA0, 0x41, 0x8F, 0x90, 0x5A, 0x62, 0xC5, 0x72}};
inline constexpr GUID IID_DestNetCorp{0xA1182988, 0x0D73, 0x439E, {0x87, 0xAD, 0x2A, 0x5B, 0x36, 0x9F, 0x80, 0x8B}};
inline constexpr GUID IID_DestNetWAP{0x7022E968, 0x5A97, 0x4051, {0xBC, 0x1C, 0xC5, 0x78, 0xE2, 0xFB, 0xA5, 0xD9}};
inline constexpr GUID IID_DestNetSecureWAP{0xF28D1F74, 0x72BE, 0x4394, {0xA4, 0xA7, 0x4E, 0x29, 0x62, 0x19, 0x39, 0x0C}};

// Connection status values the reader reacts to.
inline constexpr DWORD CONNMGR_STATUS_CONNECTED = 0x10;
inline constexpr DWORD CONNMGR_STATUS_SUSPENDED = 0x11;
inline constexpr DWORD CONNMGR_STATUS_DISCONNECTED = 0x20;
inline constexpr DWORD CONNMGR_STATUS_CONNECTIONCANCELED = 0x22;

inline constexpr DWORD CONNMGR_PRIORITY_USERINTERACTIVE = 0x8000;

// A connection; 0 is none.
using HCONNECTION = std::uint64_t;

struct CONNMGR_CONNECTIONINFO {
    GUID guidDestNet;
    DWORD dwPriority = CONNMGR_PRIORITY_USERINTERACTIVE;
    bool bExclusive = false;
    bool bDisabled = false;
    HWND hWnd;       // told of status changes
    UINT uMsg = 0;   // with this message, wParam = status
};

// False when the URL cannot be connected (an empty URL).
bool ConnMgrMapURL(const std::wstring& url, GUID& destination);
// True with a handle when the connection is up; status receives its state.
bool ConnMgrEstablishConnectionSync(const CONNMGR_CONNECTIONINFO& info, HCONNECTION& connection, DWORD timeoutMs,
                                    DWORD& status);
// False for a connection that is gone.
bool ConnMgrConnectionStatus(HCONNECTION connection, DWORD& status);
void ConnMgrReleaseConnection(HCONNECTION connection);
// The proxy ("host:port") of the connection; false when it has none.
bool ConnMgrGetProxy(HCONNECTION connection, std::wstring& proxy);

// Tests make the network unavailable (new connections fail, held ones report
// "disconnected") and give it back.
void ConnMgrSetNetworkAvailableForTesting(bool available);
