#pragma once
// Many HTTP GETs (and JSON POSTs) at once on one libcurl multi handle: the platform's HTTP
// service for work that fetches many documents. Connections stay open
// between transfers and are reused (keep-alive, and HTTP/2 multiplexing
// where a server offers it over TLS), so a host asked ten times pays for
// one connection, not ten.
//
// What every transfer does: bypasses caches (asks the server and any proxy
// for a fresh copy; validators the caller sends still let the origin answer
// 304), follows redirects (at most kMaxRedirects, http and https only),
// accepts gzip and deflate, verifies TLS certificates against the system
// store, and takes the proxy from the standard environment variables unless
// one is given. The step timeout bounds each wait for the network: the
// connection, the answer after the request, and every gap between two
// blocks of the body.
//
// The object belongs to one thread, which adds transfers and drives them
// with Poll; every handler runs on that thread, inside Poll. Cancel and
// Wakeup are the calls any other thread may make: Cancel ends every
// transfer, present and future, as cancelled, and wakes a Poll that waits.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct CHttpTransferOptions {
    std::string url;
    std::string userAgent;
    std::string proxy; // empty: the environment's (http_proxy, https_proxy, no_proxy)
    // Further request headers, "Name: value" each (validators, for one).
    std::vector<std::string> headers;
    // A POST of this body, sent as application/json, instead of a GET.
    std::optional<std::string> jsonBody;
    std::chrono::milliseconds stepTimeout{0}; // 0: no limit
    // A transfer slower than lowSpeedBytes a second for lowSpeedTime fails
    // as timed out (a trickle of bytes keeps every step alive); totalTimeout
    // bounds the whole transfer. 0: no limit.
    long lowSpeedBytes = 0;
    std::chrono::seconds lowSpeedTime{0};
    std::chrono::milliseconds totalTimeout{0};
};

enum class CHttpResult {
    Completed, // the server sent the whole answer (a body shorter than its
               // Content-Length, or a chunked body without its end, is Failed)
    Stopped,   // a handler asked to stop
    Cancelled, // Cancel was called
    TimedOut,  // a step waited too long, the transfer was too slow, or it took too long in all
    Failed,    // no answer: name, connection, TLS, protocol or redirect error
};

// The final answer (after the redirects that were followed), as its
// headers tell it.
struct CHttpResponse {
    long status = 0;
    std::int64_t contentLength = -1; // -1 when absent
    // As the server sent them, blanks around them removed; empty when absent.
    std::string etag;
    std::string lastModified;
    std::string retryAfter;
    // Where a chain of permanent redirects (301, 308) led; empty when none
    // was followed, or when a temporary one came before the answer.
    std::string movedTo;
    // The address the answer came from, after every redirect followed: the
    // base of the relative links in its document.
    std::string url;
};

struct CHttpOutcome {
    CHttpResult result = CHttpResult::Failed;
    bool responseArrived = false; // the final answer's headers had arrived
    long requests = 0;            // requests sent, each redirect followed counted
    std::string errorText;        // libcurl's text for a failure
};

// The seconds a Retry-After value asks the client to wait from now (a count
// of seconds, or an HTTP date compared with now, seconds since 1970 in UTC):
// 0 or more; nothing when the value is neither.
std::optional<std::int64_t> RetryAfterSeconds(const std::string& value, std::int64_t now);

class CHttpTransfers {
public:
    static constexpr long kMaxRedirects = 10;

    // Called once, when the headers of the final answer are in; false stops
    // the transfer before any of the body is delivered.
    using ResponseHandler = std::function<bool(const CHttpResponse&)>;
    // Called for each block of the (decoded) body; false stops the transfer.
    using BodyHandler = std::function<bool(std::string_view block)>;
    // Called once, when the transfer has ended, whatever the end.
    using DoneHandler = std::function<void(const CHttpOutcome&)>;

    CHttpTransfers();
    ~CHttpTransfers(); // transfers still going end without their handlers
    CHttpTransfers(const CHttpTransfers&) = delete;
    CHttpTransfers& operator=(const CHttpTransfers&) = delete;

    // Starts a transfer; it makes progress in the following Polls. After
    // Cancel, or when libcurl cannot take it, the done handler is called at
    // once (cancelled or failed) and false comes back.
    bool Add(const CHttpTransferOptions& options, ResponseHandler onResponse, BodyHandler onBody,
             DoneHandler onDone);
    // Moves every transfer on, calls the handlers of what happened, and,
    // when nothing ended, waits up to wait for the network or a Wakeup.
    // Handlers must not call Add.
    void Poll(std::chrono::milliseconds wait);
    size_t Count() const { return m_transfers.size(); }

    // Any thread, any time.
    void Cancel();
    void Wakeup();
    bool IsCancelled() const { return m_bCancelled; }

private:
    struct CTransfer;
    void End(CTransfer& transfer, CHttpOutcome& outcome);

    struct CMultiDeleter {
        void operator()(void* multi) const;
    };
    std::unique_ptr<void, CMultiDeleter> m_pMulti;
    std::map<void*, std::unique_ptr<CTransfer>> m_transfers; // by easy handle
    std::atomic<bool> m_bCancelled{false};
};
