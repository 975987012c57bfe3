#pragma once
// An HTTP server inside the test process, on 127.0.0.1 with a port the
// system picks. Tests script the answer of each path: status, headers, body,
// and how it is delivered (at once, after a delay, trickled, stalled, cut
// off), and validators it answers conditional requests with. Every
// connection gets a thread; Stop wakes and joins them all, also those that
// stall "forever". The server keeps count of the requests it is answering
// at once, in all and per Host header, for tests of clients that fetch in
// parallel. Any name that resolves to 127.0.0.1 reaches it (fNN.localhost).

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/NamedEvent.h"

struct CHttpAnswer {
    enum class Delivery {
        AtOnce,
        Trickle,          // firstBytes at once, then trickleBytes every trickleDelay
        StallBeforeAnswer, // reads the request, then says nothing until Stop
        StallAfterPart,    // headers and firstBytes of the body, then nothing
        CloseAtOnce,       // closes the connection without a word
    };

    int status = 200;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    bool bSendContentLength = true;
    long long contentLength = -1; // -1: the body's true size
    Delivery delivery = Delivery::AtOnce;
    size_t firstBytes = 0;
    size_t trickleBytes = 1;
    std::chrono::milliseconds trickleDelay{0};
    std::chrono::milliseconds delay{0}; // before anything of the answer is sent
    // Sent as ETag and Last-Modified when set. A request whose If-None-Match
    // matches the ETag (or, without If-None-Match, whose If-Modified-Since
    // is the Last-Modified text) is answered 304 without a body, unless
    // conditional is false.
    std::string etag;
    std::string lastModified;
    bool conditional = true;

    static CHttpAnswer Ok(std::string body);
    static CHttpAnswer Status(int status, std::string body = "");
    static CHttpAnswer Redirect(int status, const std::string& location);
};

class CLoopbackHttpServer {
public:
    CLoopbackHttpServer() = default;
    ~CLoopbackHttpServer() { Stop(); }
    CLoopbackHttpServer(const CLoopbackHttpServer&) = delete;
    CLoopbackHttpServer& operator=(const CLoopbackHttpServer&) = delete;

    bool Start();
    void Stop();

    // Unscripted paths answer 404. Setting answers starts the path's hits
    // from 0; with several answers the nth request gets the nth, and the
    // last one stays.
    void SetAnswer(const std::string& path, CHttpAnswer answer);
    void SetAnswers(const std::string& path, std::vector<CHttpAnswer> answers);
    std::string Url(const std::string& path) const;
    // The same server under another name, e.g. "f01.localhost".
    std::string Url(const std::string& host, const std::string& path) const;
    int Port() const { return m_nPort; }

    int Hits(const std::string& path) const;
    int TotalHits() const;
    // The most requests answered at once since the start (or the last
    // reset), in all and for one Host header ("name:port").
    int MaxInFlight() const;
    int MaxInFlight(const std::string& host) const;
    void ResetInFlight();
    // Connections accepted since the start.
    int Connections() const;
    // Off by default: every answer closes its connection. On, an answer sent
    // at once with its length leaves it open for the client's next request.
    void SetKeepAlive(bool keepAlive) { m_bKeepAlive = keepAlive; }
    // Header values of the last request for the path, by lower-case name.
    std::map<std::string, std::string> LastRequestHeaders(const std::string& path) const;

    // A loopback port on which nothing listens.
    static int UnusedPort();

private:
    void AcceptLoop();
    void Serve(int client);
    // Both return whether the connection stays open for another request.
    bool ServeRequest(int client, std::string& received);
    bool ServeAnswer(int client, CHttpAnswer answer, const std::map<std::string, std::string>& headers,
                     const std::function<void()>& onLastSend);
    bool WaitReadable(int fd, int timeoutMs) const; // false on stop
    bool SendAll(int fd, const std::string& data) const;

    int m_listenFd = -1;
    int m_nPort = 0;
    CEvent m_evStop;
    std::thread m_acceptor;
    mutable std::mutex m_mutex;
    std::vector<std::thread> m_connections;
    std::map<std::string, std::vector<CHttpAnswer>> m_answers;
    std::map<std::string, int> m_hits;
    std::map<std::string, std::map<std::string, std::string>> m_lastHeaders;
    std::atomic<bool> m_bKeepAlive{false};
    int m_nInFlight = 0;
    int m_nMaxInFlight = 0;
    int m_nConnections = 0;
    std::map<std::string, int> m_inFlightByHost;
    std::map<std::string, int> m_maxInFlightByHost;
};
