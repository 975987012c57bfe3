#include "platform/HttpTransfers.h"

#include <algorithm>
#include <cctype>
#include <curl/curl.h>
#include <mutex>

namespace {

void InitCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CEasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct CListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

using Clock = std::chrono::steady_clock;

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char expected, char actual) { return std::tolower(static_cast<unsigned char>(actual)) == expected; });
}

// The value of a header line whose name (with its colon) is known.
std::string HeaderValue(std::string_view line, size_t nameLength)
{
    line.remove_prefix(nameLength);
    const auto blank = [](char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; };
    while (!line.empty() && blank(line.front()))
        line.remove_prefix(1);
    while (!line.empty() && blank(line.back()))
        line.remove_suffix(1);
    return std::string(line);
}

CURLM* Multi(void* multi) { return static_cast<CURLM*>(multi); }

} // namespace

std::optional<std::int64_t> RetryAfterSeconds(const std::string& value, std::int64_t now)
{
    if (value.empty())
        return std::nullopt;
    if (std::all_of(value.begin(), value.end(), [](char ch) { return ch >= '0' && ch <= '9'; })) {
        std::int64_t seconds = 0;
        for (char ch : value)
            seconds = std::min<std::int64_t>(seconds * 10 + (ch - '0'), std::int64_t{1} << 40);
        return seconds;
    }
    const time_t when = curl_getdate(value.c_str(), nullptr);
    if (when == -1)
        return std::nullopt;
    return std::max<std::int64_t>(0, static_cast<std::int64_t>(when) - now);
}

void CHttpTransfers::CMultiDeleter::operator()(void* multi) const { curl_multi_cleanup(Multi(multi)); }

// One transfer: its easy handle and what its callbacks build up.
struct CHttpTransfers::CTransfer {
    std::unique_ptr<CURL, CEasyDeleter> easy;
    std::unique_ptr<curl_slist, CListDeleter> headers;
    CHttpTransferOptions options; // libcurl keeps pointers into some of it
    ResponseHandler onResponse;
    BodyHandler onBody;
    DoneHandler onDone;
    const std::atomic<bool>* cancelled = nullptr;
    Clock::time_point lastActivity;
    CHttpResponse response;     // the final answer, once bFinal
    CHttpResponse answer;       // the answer whose headers are arriving
    bool bLocationSeen = false; // in the answer whose headers are arriving
    bool bTemporaryRedirect = false;
    bool bPermanentRedirect = false;
    bool bFinal = false;   // the final answer's headers are in
    bool bStopped = false; // a handler said stop
    char errorBuffer[CURL_ERROR_SIZE] = "";

    static size_t OnHeader(char* data, size_t size, size_t count, void* context)
    {
        auto& transfer = *static_cast<CTransfer*>(context);
        const std::string_view line(data, size * count);
        transfer.lastActivity = Clock::now();
        if (StartsWithNoCase(line, "http/")) {
            transfer.bLocationSeen = false;
            transfer.answer = {};
        } else if (StartsWithNoCase(line, "location:")) {
            transfer.bLocationSeen = true;
        } else if (StartsWithNoCase(line, "etag:")) {
            transfer.answer.etag = HeaderValue(line, 5);
        } else if (StartsWithNoCase(line, "last-modified:")) {
            transfer.answer.lastModified = HeaderValue(line, 14);
        } else if (StartsWithNoCase(line, "retry-after:")) {
            transfer.answer.retryAfter = HeaderValue(line, 12);
        } else if (line == "\r\n" || line == "\n") {
            long status = 0;
            curl_easy_getinfo(transfer.easy.get(), CURLINFO_RESPONSE_CODE, &status);
            // Interim answers and redirects libcurl is about to follow are
            // not the answer the caller asked about.
            const bool interim = status >= 100 && status < 200;
            const bool redirect = status >= 300 && status < 400 && transfer.bLocationSeen;
            if (redirect) {
                const bool permanent = status == 301 || status == 308;
                transfer.bPermanentRedirect = transfer.bPermanentRedirect || permanent;
                transfer.bTemporaryRedirect = transfer.bTemporaryRedirect || !permanent;
            }
            if (!interim && !redirect && !transfer.bFinal) {
                transfer.bFinal = true;
                transfer.response = std::move(transfer.answer);
                transfer.response.status = status;
                curl_off_t length = -1;
                curl_easy_getinfo(transfer.easy.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
                transfer.response.contentLength = length;
                const char* effective = nullptr;
                if (curl_easy_getinfo(transfer.easy.get(), CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK &&
                    effective != nullptr)
                    transfer.response.url = effective;
                if (transfer.bPermanentRedirect && !transfer.bTemporaryRedirect)
                    transfer.response.movedTo = transfer.response.url;
                if (!transfer.onResponse(transfer.response)) {
                    transfer.bStopped = true;
                    return 0;
                }
            }
        }
        return line.size();
    }

    static size_t OnBody(char* data, size_t size, size_t count, void* context)
    {
        auto& transfer = *static_cast<CTransfer*>(context);
        transfer.lastActivity = Clock::now();
        if (*transfer.cancelled)
            return 0;
        if (!transfer.bFinal) // the body of a redirect being followed
            return size * count;
        if (!transfer.onBody(std::string_view(data, size * count))) {
            transfer.bStopped = true;
            return 0;
        }
        return size * count;
    }

    static int OnProgress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
    {
        return *static_cast<CTransfer*>(context)->cancelled ? 1 : 0;
    }

    // The connection is up: the wait for the answer is a step of its own.
    static int OnConnected(void* context, char*, char*, int, int)
    {
        static_cast<CTransfer*>(context)->lastActivity = Clock::now();
        return CURL_PREREQFUNC_OK;
    }

    bool Configure()
    {
        CURL* handle = easy.get();
        // A reload: neither the server's caches nor a proxy's may answer.
        curl_slist* list = curl_slist_append(nullptr, "Cache-Control: no-cache");
        headers.reset(list);
        for (const char* header : {"Pragma: no-cache"})
            headers.reset(list = curl_slist_append(headers.release(), header));
        for (const std::string& header : options.headers) {
            if (list == nullptr)
                break;
            headers.reset(list = curl_slist_append(headers.release(), header.c_str()));
        }
        // No "Expect: 100-continue": a server that does not answer it would
        // cost every longer body a second's wait.
        for (const char* header : {"Content-Type: application/json", "Expect:"}) {
            if (list != nullptr && options.jsonBody)
                headers.reset(list = curl_slist_append(headers.release(), header));
        }
        if (list == nullptr)
            return false;
        curl_easy_setopt(handle, CURLOPT_URL, options.url.c_str());
        if (options.jsonBody) {
            curl_easy_setopt(handle, CURLOPT_POSTFIELDS, options.jsonBody->data());
            curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(options.jsonBody->size()));
            // A redirected POST stays a POST: the body is the request.
            curl_easy_setopt(handle, CURLOPT_POSTREDIR, static_cast<long>(CURL_REDIR_POST_ALL));
        } else {
            curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
        }
        curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
        curl_easy_setopt(handle, CURLOPT_USERAGENT, options.userAgent.c_str());
        // Only the web: a redirect to file:// or another scheme must not read
        // local files or talk to other services on the feed's behalf.
        curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaxRedirects);
        curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
        curl_easy_setopt(handle, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
        curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
        if (!options.proxy.empty())
            curl_easy_setopt(handle, CURLOPT_PROXY, options.proxy.c_str());
        if (options.stepTimeout.count() > 0)
            curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.stepTimeout.count()));
        if (options.lowSpeedBytes > 0 && options.lowSpeedTime.count() > 0) {
            curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, options.lowSpeedBytes);
            curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>(options.lowSpeedTime.count()));
        }
        if (options.totalTimeout.count() > 0)
            curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(options.totalTimeout.count()));
        curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &CTransfer::OnHeader);
        curl_easy_setopt(handle, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &CTransfer::OnBody);
        curl_easy_setopt(handle, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &CTransfer::OnProgress);
        curl_easy_setopt(handle, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(handle, CURLOPT_PREREQFUNCTION, &CTransfer::OnConnected);
        curl_easy_setopt(handle, CURLOPT_PREREQDATA, this);
        return true;
    }
};

CHttpTransfers::CHttpTransfers()
{
    InitCurlOnce();
    m_pMulti.reset(curl_multi_init());
    if (m_pMulti)
        curl_multi_setopt(Multi(m_pMulti.get()), CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
}

CHttpTransfers::~CHttpTransfers()
{
    for (auto& [easy, transfer] : m_transfers)
        curl_multi_remove_handle(Multi(m_pMulti.get()), transfer->easy.get());
    m_transfers.clear();
}

void CHttpTransfers::Cancel()
{
    m_bCancelled = true;
    Wakeup();
}

void CHttpTransfers::Wakeup()
{
    if (m_pMulti)
        curl_multi_wakeup(Multi(m_pMulti.get()));
}

bool CHttpTransfers::Add(const CHttpTransferOptions& options, ResponseHandler onResponse, BodyHandler onBody,
                         DoneHandler onDone)
{
    CHttpOutcome refused;
    if (m_bCancelled) {
        refused.result = CHttpResult::Cancelled;
        onDone(refused);
        return false;
    }
    auto transfer = std::make_unique<CTransfer>();
    transfer->easy.reset(curl_easy_init());
    transfer->options = options;
    transfer->onResponse = std::move(onResponse);
    transfer->onBody = std::move(onBody);
    transfer->onDone = std::move(onDone);
    transfer->cancelled = &m_bCancelled;
    transfer->lastActivity = Clock::now();
    if (!m_pMulti || !transfer->easy || !transfer->Configure() ||
        curl_multi_add_handle(Multi(m_pMulti.get()), transfer->easy.get()) != CURLM_OK) {
        refused.errorText = "libcurl could not be set up";
        transfer->onDone(refused);
        return false;
    }
    void* key = transfer->easy.get();
    m_transfers.emplace(key, std::move(transfer));
    return true;
}

void CHttpTransfers::End(CTransfer& transfer, CHttpOutcome& outcome)
{
    outcome.responseArrived = transfer.bFinal;
    long redirects = 0;
    curl_easy_getinfo(transfer.easy.get(), CURLINFO_REDIRECT_COUNT, &redirects);
    outcome.requests = 1 + redirects;
    curl_multi_remove_handle(Multi(m_pMulti.get()), transfer.easy.get());
}

void CHttpTransfers::Poll(std::chrono::milliseconds wait)
{
    // What ended is taken out of the list first: a done handler may then
    // end the caller's interest in anything, this object included.
    std::vector<std::pair<std::unique_ptr<CTransfer>, CHttpOutcome>> ended;
    auto finish = [&](std::map<void*, std::unique_ptr<CTransfer>>::iterator found, CHttpResult result,
                      const char* fallbackText) {
        CTransfer& transfer = *found->second;
        CHttpOutcome outcome;
        outcome.result = result;
        if (result != CHttpResult::Completed && result != CHttpResult::Stopped)
            outcome.errorText = transfer.errorBuffer[0] != '\0' ? transfer.errorBuffer : fallbackText;
        End(transfer, outcome);
        ended.emplace_back(std::move(found->second), std::move(outcome));
        m_transfers.erase(found);
    };

    if (m_bCancelled) {
        while (!m_transfers.empty())
            finish(m_transfers.begin(), CHttpResult::Cancelled, "cancelled");
    } else if (!m_transfers.empty()) {
        int running = 0;
        if (curl_multi_perform(Multi(m_pMulti.get()), &running) != CURLM_OK) {
            while (!m_transfers.empty())
                finish(m_transfers.begin(), CHttpResult::Failed, "libcurl failed");
        }
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(Multi(m_pMulti.get()), &left)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            const auto found = m_transfers.find(message->easy_handle);
            if (found == m_transfers.end())
                continue;
            const CURLcode code = message->data.result;
            CHttpResult result = CHttpResult::Failed;
            if (m_bCancelled)
                result = CHttpResult::Cancelled;
            else if (found->second->bStopped)
                result = CHttpResult::Stopped;
            else if (code == CURLE_OK)
                result = CHttpResult::Completed;
            else if (code == CURLE_OPERATION_TIMEDOUT)
                result = CHttpResult::TimedOut;
            finish(found, result, curl_easy_strerror(code));
        }
        // The step timeout is ours: libcurl knows only the connect timeout
        // and the slow-transfer rule, neither of which sees a silent server
        // after the request.
        const auto now = Clock::now();
        for (auto at = m_transfers.begin(); at != m_transfers.end();) {
            const auto step = at->second->options.stepTimeout;
            const auto next = std::next(at);
            if (step.count() > 0 && now - at->second->lastActivity >= step)
                finish(at, CHttpResult::TimedOut, "no answer within the step timeout");
            else if (step.count() > 0)
                wait = std::min(wait, std::chrono::duration_cast<std::chrono::milliseconds>(
                                          step - (now - at->second->lastActivity)));
            at = next;
        }
    }
    if (ended.empty() && !m_bCancelled && m_pMulti)
        curl_multi_poll(Multi(m_pMulti.get()), nullptr, 0, static_cast<int>(std::max<long long>(wait.count(), 1)),
                        nullptr);
    for (auto& [transfer, outcome] : ended)
        transfer->onDone(outcome);
}
