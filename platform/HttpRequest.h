#pragma once
// One HTTP GET, the platform's HTTP service: libcurl driven from the calling
// thread, as the one transfer of a CHttpTransfers of its own. The body is
// handed over block by block as it arrives, never held.
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

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/HttpTransfers.h"

class CHttpRequest {
public:
    static constexpr long kMaxRedirects = CHttpTransfers::kMaxRedirects;

    using COptions = CHttpTransferOptions;
    using Result = CHttpResult;

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
    CHttpTransfers m_transfers;
    bool m_bResponseArrived = false;
    std::string m_strError;
};
