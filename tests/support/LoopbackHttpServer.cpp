#include "support/LoopbackHttpServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int ListenOnLoopback(int& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 64) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char ch) { return std::tolower(ch); });
    return text;
}

std::string Reason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 304: return "Not Modified";
    case 308: return "Permanent Redirect";
    case 410: return "Gone";
    case 429: return "Too Many Requests";
    case 503: return "Service Unavailable";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    default: return "Status";
    }
}

} // namespace

CHttpAnswer CHttpAnswer::Ok(std::string body)
{
    CHttpAnswer answer;
    answer.body = std::move(body);
    return answer;
}

CHttpAnswer CHttpAnswer::Status(int status, std::string body)
{
    CHttpAnswer answer;
    answer.status = status;
    answer.body = std::move(body);
    return answer;
}

CHttpAnswer CHttpAnswer::Redirect(int status, const std::string& location)
{
    CHttpAnswer answer = Status(status, "moved");
    answer.headers.emplace_back("Location", location);
    return answer;
}

bool CLoopbackHttpServer::Start()
{
    if (!m_evStop.Create(true, false))
        return false;
    m_listenFd = ListenOnLoopback(m_nPort);
    if (m_listenFd < 0)
        return false;
    m_acceptor = std::thread(&CLoopbackHttpServer::AcceptLoop, this);
    return true;
}

void CLoopbackHttpServer::Stop()
{
    if (!m_acceptor.joinable())
        return;
    m_evStop.Set();
    m_acceptor.join();
    std::vector<std::thread> connections;
    {
        std::lock_guard lock(m_mutex);
        connections.swap(m_connections);
    }
    for (auto& connection : connections)
        connection.join();
    ::close(m_listenFd);
    m_listenFd = -1;
}

int CLoopbackHttpServer::UnusedPort()
{
    int port = 0;
    const int fd = ListenOnLoopback(port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

void CLoopbackHttpServer::SetAnswer(const std::string& path, CHttpAnswer answer)
{
    SetAnswers(path, {std::move(answer)});
}

void CLoopbackHttpServer::SetAnswers(const std::string& path, std::vector<CHttpAnswer> answers)
{
    std::lock_guard lock(m_mutex);
    m_answers[path] = std::move(answers);
    m_hits[path] = 0;
}

std::string CLoopbackHttpServer::Url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(m_nPort) + path;
}

std::string CLoopbackHttpServer::Url(const std::string& host, const std::string& path) const
{
    return "http://" + host + ":" + std::to_string(m_nPort) + path;
}

int CLoopbackHttpServer::TotalHits() const
{
    std::lock_guard lock(m_mutex);
    int total = 0;
    for (const auto& [path, hits] : m_hits)
        total += hits;
    return total;
}

int CLoopbackHttpServer::MaxInFlight() const
{
    std::lock_guard lock(m_mutex);
    return m_nMaxInFlight;
}

int CLoopbackHttpServer::MaxInFlight(const std::string& host) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_maxInFlightByHost.find(host);
    return found == m_maxInFlightByHost.end() ? 0 : found->second;
}

void CLoopbackHttpServer::ResetInFlight()
{
    std::lock_guard lock(m_mutex);
    m_nMaxInFlight = m_nInFlight;
    m_maxInFlightByHost = m_inFlightByHost;
}

int CLoopbackHttpServer::Connections() const
{
    std::lock_guard lock(m_mutex);
    return m_nConnections;
}

int CLoopbackHttpServer::Hits(const std::string& path) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_hits.find(path);
    return found == m_hits.end() ? 0 : found->second;
}

std::map<std::string, std::string> CLoopbackHttpServer::LastRequestHeaders(const std::string& path) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_lastHeaders.find(path);
    return found == m_lastHeaders.end() ? std::map<std::string, std::string>{} : found->second;
}

bool CLoopbackHttpServer::WaitReadable(int fd, int timeoutMs) const
{
    pollfd fds[] = {{m_evStop.GetFd(), POLLIN, 0}, {fd, POLLIN, 0}};
    while (::poll(fds, 2, timeoutMs) < 0) {
        if (errno != EINTR)
            return false;
    }
    return (fds[0].revents & POLLIN) == 0;
}

bool CLoopbackHttpServer::SendAll(int fd, const std::string& data) const
{
    size_t sent = 0;
    while (sent < data.size()) {
        if (m_evStop.IsSet())
            return false;
        const ssize_t count = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (count > 0) {
            sent += static_cast<size_t>(count);
            continue;
        }
        if (count < 0 && errno != EAGAIN && errno != EINTR)
            return false; // the client went away
        pollfd fds[] = {{m_evStop.GetFd(), POLLIN, 0}, {fd, POLLOUT, 0}};
        ::poll(fds, 2, -1);
    }
    return true;
}

void CLoopbackHttpServer::AcceptLoop()
{
    for (;;) {
        if (!WaitReadable(m_listenFd, -1))
            return;
        const int client = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        std::lock_guard lock(m_mutex);
        ++m_nConnections;
        m_connections.emplace_back(&CLoopbackHttpServer::Serve, this, client);
    }
}

void CLoopbackHttpServer::Serve(int client)
{
    std::string received;
    while (ServeRequest(client, received)) {
    }
}

bool CLoopbackHttpServer::ServeRequest(int client, std::string& received)
{
    char buffer[4096];
    while (received.find("\r\n\r\n") == std::string::npos) {
        if (!WaitReadable(client, -1)) {
            ::close(client);
            return false;
        }
        const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
        if (got <= 0) {
            ::close(client);
            return false;
        }
        received.append(buffer, static_cast<size_t>(got));
    }
    const std::string request = received.substr(0, received.find("\r\n\r\n") + 4);
    received.erase(0, request.size());
    // "GET /path HTTP/1.1", then "Name: value" lines.
    const size_t pathStart = request.find(' ') + 1;
    const std::string path = request.substr(pathStart, request.find(' ', pathStart) - pathStart);
    std::map<std::string, std::string> headers;
    for (size_t line = request.find("\r\n") + 2; line < request.size();) {
        const size_t end = request.find("\r\n", line);
        const size_t colon = request.find(':', line);
        if (end == std::string::npos || end == line)
            break;
        if (colon != std::string::npos && colon < end)
            headers[Lower(request.substr(line, colon - line))] = request.substr(colon + 2, end - colon - 2);
        line = end + 2;
    }
    CHttpAnswer answer = CHttpAnswer::Status(404, "not found");
    const std::string host = headers["host"];
    {
        std::lock_guard lock(m_mutex);
        const int hit = m_hits[path]++;
        m_lastHeaders[path] = headers;
        if (const auto found = m_answers.find(path); found != m_answers.end() && !found->second.empty())
            answer = found->second[std::min<size_t>(static_cast<size_t>(hit), found->second.size() - 1)];
        m_nMaxInFlight = std::max(m_nMaxInFlight, ++m_nInFlight);
        m_maxInFlightByHost[host] = std::max(m_maxInFlightByHost[host], ++m_inFlightByHost[host]);
    }
    // A request is in flight until the last of its answer goes out: the
    // client may act on that answer before this thread runs again.
    bool answered = false;
    const auto onLastSend = [&] {
        if (answered)
            return;
        answered = true;
        std::lock_guard lock(m_mutex);
        --m_nInFlight;
        --m_inFlightByHost[host];
    };
    const bool keepOpen = ServeAnswer(client, answer, headers, onLastSend);
    onLastSend();
    return keepOpen;
}

bool CLoopbackHttpServer::ServeAnswer(int client, CHttpAnswer answer, const std::map<std::string, std::string>& headers,
                                      const std::function<void()>& onLastSend)
{
    char buffer[4096];
    if (answer.delay.count() > 0) {
        pollfd fds[] = {{m_evStop.GetFd(), POLLIN, 0}};
        ::poll(fds, 1, static_cast<int>(answer.delay.count()));
        if (m_evStop.IsSet()) {
            ::close(client);
            return false;
        }
    }
    if (!answer.etag.empty())
        answer.headers.emplace_back("ETag", answer.etag);
    if (!answer.lastModified.empty())
        answer.headers.emplace_back("Last-Modified", answer.lastModified);
    if (answer.conditional && answer.status == 200) {
        const auto ifNoneMatch = headers.find("if-none-match");
        const auto ifModifiedSince = headers.find("if-modified-since");
        const bool unchanged = ifNoneMatch != headers.end()
                                   ? !answer.etag.empty() && ifNoneMatch->second == answer.etag
                                   : ifModifiedSince != headers.end() && !answer.lastModified.empty() &&
                                         ifModifiedSince->second == answer.lastModified;
        if (unchanged) {
            answer.status = 304;
            answer.body.clear();
            answer.bSendContentLength = false;
            answer.delivery = CHttpAnswer::Delivery::AtOnce;
        }
    }

    using Delivery = CHttpAnswer::Delivery;
    if (answer.delivery == Delivery::CloseAtOnce) {
        ::close(client);
        return false;
    }
    if (answer.delivery == Delivery::StallBeforeAnswer) {
        while (WaitReadable(client, -1) && ::recv(client, buffer, sizeof buffer, 0) > 0) {
        }
        ::close(client);
        return false;
    }
    // Only an answer whose end the client can tell leaves the connection open.
    const bool keepOpen = m_bKeepAlive && answer.delivery == Delivery::AtOnce &&
                          (answer.status == 304 || (answer.bSendContentLength && answer.contentLength < 0));
    std::string head = "HTTP/1.1 " + std::to_string(answer.status) + " " + Reason(answer.status) + "\r\n";
    if (answer.bSendContentLength)
        head += "Content-Length: " +
                std::to_string(answer.contentLength >= 0 ? answer.contentLength
                                                         : static_cast<long long>(answer.body.size())) +
                "\r\n";
    for (const auto& [name, value] : answer.headers)
        head += name + ": " + value + "\r\n";
    head += keepOpen ? "\r\n" : "Connection: close\r\n\r\n";

    bool ok = true;
    if (answer.delivery == Delivery::AtOnce) {
        onLastSend();
        ok = SendAll(client, head + answer.body);
        if (ok && keepOpen)
            return true;
    } else {
        const size_t first = std::min(answer.firstBytes, answer.body.size());
        if (first == answer.body.size() && answer.delivery == Delivery::Trickle)
            onLastSend();
        ok = SendAll(client, head + answer.body.substr(0, first));
        if (ok && answer.delivery == Delivery::StallAfterPart) {
            while (WaitReadable(client, -1) && ::recv(client, buffer, sizeof buffer, 0) > 0) {
            }
            ok = false;
        }
        for (size_t at = first; ok && at < answer.body.size(); at += answer.trickleBytes) {
            pollfd fds[] = {{m_evStop.GetFd(), POLLIN, 0}};
            ::poll(fds, 1, static_cast<int>(answer.trickleDelay.count()));
            if (at + answer.trickleBytes >= answer.body.size())
                onLastSend();
            ok = !m_evStop.IsSet() && SendAll(client, answer.body.substr(at, answer.trickleBytes));
        }
    }
    if (ok)
        ::shutdown(client, SHUT_WR);
    ::close(client);
    return false;
}
