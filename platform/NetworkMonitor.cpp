#include "platform/NetworkMonitor.h"

#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/Debug.h"

namespace {

constexpr DWORD kSettleMs = 250;

// A netlink socket that closes itself.
class CNetlinkSocket {
public:
    explicit CNetlinkSocket(unsigned groups)
    {
        m_fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
        sockaddr_nl address{};
        address.nl_family = AF_NETLINK;
        address.nl_groups = groups;
        if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~CNetlinkSocket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CNetlinkSocket(const CNetlinkSocket&) = delete;
    CNetlinkSocket& operator=(const CNetlinkSocket&) = delete;
    int Release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    int Fd() const { return m_fd; }

private:
    int m_fd = -1;
};

bool IsDefaultRoute(const nlmsghdr* header)
{
    const auto* route = static_cast<const rtmsg*>(NLMSG_DATA(header));
    if (route->rtm_dst_len != 0 || route->rtm_type != RTN_UNICAST)
        return false;
    unsigned table = route->rtm_table;
    int length = static_cast<int>(RTM_PAYLOAD(header));
    for (const rtattr* attribute = RTM_RTA(route); RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length)) {
        if (attribute->rta_type == RTA_TABLE && RTA_PAYLOAD(attribute) >= sizeof(std::uint32_t))
            std::memcpy(&table, RTA_DATA(attribute), sizeof(std::uint32_t));
    }
    return table == RT_TABLE_MAIN;
}

} // namespace

std::optional<bool> CNetworkMonitor::HasDefaultRoute()
{
    CNetlinkSocket socket(0);
    if (socket.Fd() < 0)
        return std::nullopt;
    struct {
        nlmsghdr header;
        rtmsg route;
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg));
    request.header.nlmsg_type = RTM_GETROUTE;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.route.rtm_family = AF_UNSPEC;
    if (::send(socket.Fd(), &request, request.header.nlmsg_len, 0) < 0)
        return std::nullopt;
    bool found = false;
    alignas(nlmsghdr) char buffer[16384];
    for (;;) {
        const ssize_t got = ::recv(socket.Fd(), buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return std::nullopt;
        int length = static_cast<int>(got);
        for (auto* header = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(header, length);
             header = NLMSG_NEXT(header, length)) {
            if (header->nlmsg_type == NLMSG_DONE)
                return found;
            if (header->nlmsg_type == NLMSG_ERROR)
                return std::nullopt;
            if (header->nlmsg_type == RTM_NEWROUTE && IsDefaultRoute(header))
                found = true;
        }
    }
}

bool CNetworkMonitor::Start(std::function<void()> onLost)
{
    if (IsRunning())
        return false;
    CNetlinkSocket socket(RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR | RTMGRP_IPV4_ROUTE |
                          RTMGRP_IPV6_ROUTE);
    if (socket.Fd() < 0 || !m_evStop.Create(true, false)) {
        DebugLog("CNetworkMonitor::Start", "the network cannot be watched");
        return false;
    }
    m_thread = std::thread(&CNetworkMonitor::Run, this, socket.Release(), std::move(onLost));
    return true;
}

void CNetworkMonitor::Stop()
{
    if (!IsRunning())
        return;
    m_evStop.Set();
    m_thread.join();
    m_evStop.Close();
}

void CNetworkMonitor::Run(int socket, std::function<void()> onLost)
{
    bool hadRoute = HasDefaultRoute().value_or(false);
    alignas(nlmsghdr) char buffer[16384];
    for (;;) {
        pollfd fds[] = {{m_evStop.GetFd(), POLLIN, 0}, {socket, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            break;
        if (m_evStop.IsSet())
            break;
        if ((fds[1].revents & (POLLIN | POLLERR)) == 0)
            continue;
        // The messages only say "something changed"; what counts is the
        // routing table afterwards. (An overflow, ENOBUFS, means the same.)
        while (::recv(socket, buffer, sizeof buffer, MSG_DONTWAIT) > 0 || errno == ENOBUFS) {
        }
        std::optional<bool> hasRoute = HasDefaultRoute();
        if (hadRoute && hasRoute == false) {
            // Let a replacement route arrive before calling it a loss.
            if (WaitForSingleObject(m_evStop, kSettleMs) == WAIT_OBJECT_0)
                break;
            hasRoute = HasDefaultRoute();
            if (hasRoute == false) {
                DebugLog("CNetworkMonitor::Run", "the default route is gone");
                onLost();
            }
        }
        if (hasRoute)
            hadRoute = *hasRoute;
    }
    ::close(socket);
}
