#pragma once
// An HTTP server inside the test process, on 127.0.0.1 with a port the
// system picks. Tests script the answer of each path: status, headers, body,
// and how it is delivered (at once, trickled, stalled, cut off). Every
// connection gets a thread; Stop wakes and joins them all, also those that
// stall "forever".

#include <chrono>
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
    int Port() const { return m_nPort; }

    int Hits(const std::string& path) const;
    // Header values of the last request for the path, by lower-case name.
    std::map<std::string, std::string> LastRequestHeaders(const std::string& path) const;

    // A loopback port on which nothing listens.
    static int UnusedPort();

private:
    void AcceptLoop();
    void Serve(int client);
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
};
