#pragma once
// Watches the operating system for loss of the network (stands in for the
// device's "network disconnected" notification): a route netlink socket
// reports link, address and route changes, and the network counts as lost
// when the last default route is gone. A short settle time keeps a route
// being replaced (a DHCP renewal) from counting as a loss.

#include <functional>
#include <optional>
#include <thread>

#include "platform/NamedEvent.h"

class CNetworkMonitor {
public:
    CNetworkMonitor() = default;
    ~CNetworkMonitor() { Stop(); }
    CNetworkMonitor(const CNetworkMonitor&) = delete;
    CNetworkMonitor& operator=(const CNetworkMonitor&) = delete;

    // Calls onLost on the monitor's own thread each time the machine goes
    // from having a default route to having none. False when the kernel
    // cannot be watched (no netlink) or the monitor already runs.
    bool Start(std::function<void()> onLost);
    // Ends the thread promptly; safe to call when not running.
    void Stop();
    bool IsRunning() const { return m_thread.joinable(); }

    // Whether the machine has a default route now; nullopt when the kernel
    // cannot be asked.
    static std::optional<bool> HasDefaultRoute();

private:
    void Run(int socket, std::function<void()> onLost);

    std::thread m_thread;
    CEvent m_evStop;
};
