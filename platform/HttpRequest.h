#pragma once
// One HTTP GET, the platform's HTTP service: libcurl driven from the calling
// thread. The body is handed over block by block as it arrives, never held.
//
// What every request does: bypasses caches (asks the server and any proxy
// for a fresh copy), follows redirects (at most kMaxRedirects, http and
// https only), accepts gzip and deflate, verifies TLS certificates against
// the system store, and takes the proxy from the standard environment
// variables unless one is given.
//
// The step timeout bounds each wait for the network: the connection, the
// response after the request, and every gap between two blocks of the body.
// Cancel ends the request from any thread at any moment, also while it waits
// on a stalled connection: it wakes the waiting thread at once.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class CHttpRequest {
public:
    static constexpr long kMaxRedirects = 10;

    struct COptions {
        std::string url;
        std::string userAgent;
        std::string proxy; // empty: the environment's (http_proxy, https_proxy, no_proxy)
        std::chrono::milliseconds stepTimeout{0}; // 0: no limit
        // A transfer slower than lowSpeedBytes a second for lowSpeedTime
        // fails as timed out (a trickle of bytes keeps every step alive);
        // totalTimeout bounds the whole request. 0: no limit.
        long lowSpeedBytes = 0;
        std::chrono::seconds lowSpeedTime{0};
        std::chrono::milliseconds totalTimeout{0};
    };

    enum class Result {
        Completed,  // the server sent the whole answer
        Stopped,    // a callback asked to stop
        Cancelled,  // Cancel was called
        TimedOut,   // a step waited too long, the transfer was too slow, or it took too long in all
        Failed,     // no answer: name, connection, TLS, protocol or redirect error
    };

    // Called once, when the headers of the final answer (after redirects)
    // are in: its status code and Content-Length (-1 when absent). Returning
    // false stops the request before any of the body is delivered.
    using ResponseHandler = std::function<bool(long status, std::int64_t contentLength)>;
    // Called for each block of the (decoded) body; false stops the request.
    using BodyHandler = std::function<bool(std::string_view block)>;

    CHttpRequest();
    ~CHttpRequest();
    CHttpRequest(const CHttpRequest&) = delete;
    CHttpRequest& operator=(const CHttpRequest&) = delete;

    // Runs the request to its end on the calling thread. One Perform per
    // object: a Cancel that came before it makes it return Cancelled at once.
    Result Perform(const COptions& options, const ResponseHandler& onResponse, const BodyHandler& onBody);

    // Any thread, any time, also before or after Perform.
    void Cancel();

    // After Perform: whether the final answer's headers had arrived, and
    // libcurl's text for a failure.
    bool ResponseArrived() const { return m_bResponseArrived; }
    const std::string& ErrorText() const { return m_strError; }

private:
    struct CState;
    std::unique_ptr<CState> m_pState;
    std::atomic<bool> m_bCancelled{false};
    bool m_bResponseArrived = false;
    std::string m_strError;
};
