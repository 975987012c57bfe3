#include "support/FaultProxy.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool SendAll(int fd, const std::string& data)
{
    size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t written = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (written <= 0)
            return false;
        sent += static_cast<size_t>(written);
    }
    return true;
}

// Reads until the peer closes, or (request) until the headers and the body
// they announce are in.
std::string Receive(int fd, bool request, const std::atomic<bool>& stopping)
{
    std::string data;
    char buffer[8192];
    for (;;) {
        if (request) {
            const size_t end = data.find("\r\n\r\n");
            if (end != std::string::npos) {
                size_t length = 0;
                const size_t at = data.find("Content-Length:");
                if (at != std::string::npos && at < end)
                    length = std::stoul(data.substr(at + 15));
                if (data.size() >= end + 4 + length)
                    return data;
            }
        }
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, 100) == 0) {
            if (stopping)
                return data;
            continue;
        }
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            return data;
        data.append(buffer, static_cast<size_t>(got));
    }
}

std::string OpOf(const std::string& request)
{
    const size_t at = request.find("\"op\":\"");
    if (at == std::string::npos)
        return "";
    const size_t start = at + 6;
    return request.substr(start, request.find('"', start) - start);
}

} // namespace

bool CFaultProxy::Start(int upstreamPort)
{
    m_nUpstreamPort = upstreamPort;
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listenFd < 0 || ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listenFd, 16) != 0 || ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return false;
    m_nPort = ntohs(address.sin_port);
    m_acceptor = std::thread(&CFaultProxy::AcceptLoop, this);
    return true;
}

void CFaultProxy::Stop()
{
    m_bStopping = true;
    if (m_acceptor.joinable())
        m_acceptor.join();
    std::vector<std::thread> connections;
    {
        std::lock_guard guard(m_mutex);
        connections.swap(m_connections);
    }
    for (std::thread& connection : connections)
        connection.join();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    m_listenFd = -1;
}

void CFaultProxy::SetFault(const std::string& op, Fault fault)
{
    std::lock_guard guard(m_mutex);
    m_faults[op] = fault;
}

void CFaultProxy::ClearFaults()
{
    std::lock_guard guard(m_mutex);
    m_faults.clear();
}

int CFaultProxy::Requests(const std::string& op) const
{
    std::lock_guard guard(m_mutex);
    const auto found = m_requests.find(op);
    return found != m_requests.end() ? found->second : 0;
}

CFaultProxy::Fault CFaultProxy::FaultFor(const std::string& op) const
{
    std::lock_guard guard(m_mutex);
    for (const std::string& key : {op, std::string()}) {
        const auto found = m_faults.find(key);
        if (found != m_faults.end() && found->second != Fault::None)
            return found->second;
    }
    return Fault::None;
}

void CFaultProxy::AcceptLoop()
{
    while (!m_bStopping) {
        pollfd wait{m_listenFd, POLLIN, 0};
        if (::poll(&wait, 1, 100) <= 0)
            continue;
        const int client = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        std::lock_guard guard(m_mutex);
        m_connections.emplace_back(&CFaultProxy::Serve, this, client);
    }
}

void CFaultProxy::Serve(int client)
{
    const std::string request = Receive(client, true, m_bStopping);
    const std::string op = OpOf(request);
    {
        std::lock_guard guard(m_mutex);
        ++m_requests[op];
    }
    const Fault fault = FaultFor(op);
    if (fault == Fault::Stall) {
        // Says nothing, as a server that stopped answering, until the proxy
        // stops or the fault is taken away.
        while (!m_bStopping && FaultFor(op) == Fault::Stall)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ::close(client);
        return;
    }
    if (fault == Fault::Status500) {
        SendAll(client, "HTTP/1.1 500 Internal Server Error\r\nContent-Type: text/html\r\nContent-Length: 21\r\n"
                        "Connection: close\r\n\r\n<h1>Server error</h1>");
        ::close(client);
        return;
    }
    const int upstream = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(m_nUpstreamPort));
    std::string answer;
    if (upstream >= 0 && ::connect(upstream, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        SendAll(upstream, request))
        answer = Receive(upstream, false, m_bStopping);
    if (upstream >= 0)
        ::close(upstream);
    if (fault == Fault::CutShort) {
        // The headers and half the body, then the connection closes: as a
        // server that died while it wrote.
        const size_t body = answer.find("\r\n\r\n");
        if (body != std::string::npos)
            answer.resize(body + 4 + (answer.size() - body - 4) / 2);
    }
    SendAll(client, answer);
    ::close(client);
}
