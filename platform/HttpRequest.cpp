#include "platform/HttpRequest.h"

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

struct CMultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
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

} // namespace

// Everything libcurl's callbacks reach, owned by the performing thread
// except the multi handle, whose wakeup is the one call libcurl allows from
// other threads.
struct CHttpRequest::CState {
    std::unique_ptr<CURLM, CMultiDeleter> multi;
    std::unique_ptr<CURL, CEasyDeleter> easy;
    const ResponseHandler* onResponse = nullptr;
    const BodyHandler* onBody = nullptr;
    const std::atomic<bool>* cancelled = nullptr;
    Clock::time_point lastActivity;
    bool bLocationSeen = false; // in the answer whose headers are arriving
    bool bFinal = false;        // the final answer's headers are in
    bool bStopped = false;      // a handler said stop

    static size_t OnHeader(char* data, size_t size, size_t count, void* context)
    {
        auto& state = *static_cast<CState*>(context);
        const std::string_view line(data, size * count);
        state.lastActivity = Clock::now();
        if (StartsWithNoCase(line, "http/")) {
            state.bLocationSeen = false;
        } else if (StartsWithNoCase(line, "location:")) {
            state.bLocationSeen = true;
        } else if (line == "\r\n" || line == "\n") {
            long status = 0;
            curl_easy_getinfo(state.easy.get(), CURLINFO_RESPONSE_CODE, &status);
            // Interim answers and redirects libcurl is about to follow are
            // not the answer the caller asked about.
            const bool interim = status >= 100 && status < 200;
            const bool redirect = status >= 300 && status < 400 && state.bLocationSeen;
            if (!interim && !redirect && !state.bFinal) {
                state.bFinal = true;
                curl_off_t length = -1;
                curl_easy_getinfo(state.easy.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
                if (!(*state.onResponse)(status, length)) {
                    state.bStopped = true;
                    return 0;
                }
            }
        }
        return line.size();
    }

    static size_t OnBody(char* data, size_t size, size_t count, void* context)
    {
        auto& state = *static_cast<CState*>(context);
        state.lastActivity = Clock::now();
        if (*state.cancelled)
            return 0;
        if (!state.bFinal) // the body of a redirect being followed
            return size * count;
        if (!(*state.onBody)(std::string_view(data, size * count))) {
            state.bStopped = true;
            return 0;
        }
        return size * count;
    }

    static int OnProgress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
    {
        return *static_cast<CState*>(context)->cancelled ? 1 : 0;
    }

    // The connection is up: the wait for the answer is a step of its own.
    static int OnConnected(void* context, char*, char*, int, int)
    {
        static_cast<CState*>(context)->lastActivity = Clock::now();
        return CURL_PREREQFUNC_OK;
    }
};

CHttpRequest::CHttpRequest() : m_pState(std::make_unique<CState>())
{
    InitCurlOnce();
    m_pState->multi.reset(curl_multi_init());
}

CHttpRequest::~CHttpRequest() = default;

void CHttpRequest::Cancel()
{
    m_bCancelled = true;
    if (m_pState->multi)
        curl_multi_wakeup(m_pState->multi.get());
}

CHttpRequest::Result CHttpRequest::Perform(const COptions& options, const ResponseHandler& onResponse,
                                           const BodyHandler& onBody)
{
    CState& state = *m_pState;
    m_bResponseArrived = false;
    m_strError.clear();
    if (m_bCancelled)
        return Result::Cancelled;
    state.easy.reset(curl_easy_init());
    if (!state.multi || !state.easy) {
        m_strError = "libcurl could not be set up";
        return Result::Failed;
    }
    state.onResponse = &onResponse;
    state.onBody = &onBody;
    state.cancelled = &m_bCancelled;

    CURL* easy = state.easy.get();
    char errorBuffer[CURL_ERROR_SIZE] = "";
    // A reload: neither the server's caches nor a proxy's may answer.
    std::unique_ptr<curl_slist, CListDeleter> headers(curl_slist_append(nullptr, "Cache-Control: no-cache"));
    headers.reset(curl_slist_append(headers.release(), "Pragma: no-cache"));
    curl_easy_setopt(easy, CURLOPT_URL, options.url.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(easy, CURLOPT_USERAGENT, options.userAgent.c_str());
    // Only the web: a redirect to file:// or another scheme must not read
    // local files or talk to other services on the feed's behalf.
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
    if (!options.proxy.empty())
        curl_easy_setopt(easy, CURLOPT_PROXY, options.proxy.c_str());
    if (options.stepTimeout.count() > 0)
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.stepTimeout.count()));
    if (options.lowSpeedBytes > 0 && options.lowSpeedTime.count() > 0) {
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, options.lowSpeedBytes);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, static_cast<long>(options.lowSpeedTime.count()));
    }
    if (options.totalTimeout.count() > 0)
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(options.totalTimeout.count()));
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CState::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &state);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CState::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &state);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &CState::OnProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &state);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &CState::OnConnected);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, &state);

    state.bLocationSeen = state.bFinal = state.bStopped = false;
    state.lastActivity = Clock::now();
    curl_multi_add_handle(state.multi.get(), easy);

    Result result = Result::Failed;
    CURLcode code = CURLE_OK;
    for (;;) {
        if (m_bCancelled) {
            result = Result::Cancelled;
            break;
        }
        int running = 0;
        if (curl_multi_perform(state.multi.get(), &running) != CURLM_OK) {
            result = Result::Failed;
            break;
        }
        int left = 0;
        bool done = false;
        while (CURLMsg* message = curl_multi_info_read(state.multi.get(), &left)) {
            if (message->msg == CURLMSG_DONE) {
                done = true;
                code = message->data.result;
            }
        }
        if (done) {
            if (m_bCancelled)
                result = Result::Cancelled;
            else if (state.bStopped)
                result = Result::Stopped;
            else if (code == CURLE_OK)
                result = Result::Completed;
            else if (code == CURLE_OPERATION_TIMEDOUT)
                result = Result::TimedOut;
            else
                result = Result::Failed;
            break;
        }
        // A second at most between looks, so that a lost wakeup can only
        // delay, never hang.
        auto wait = std::chrono::milliseconds(1000);
        if (options.stepTimeout.count() > 0) {
            const auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - state.lastActivity);
            if (idle >= options.stepTimeout) {
                result = Result::TimedOut;
                break;
            }
            wait = std::min(wait, options.stepTimeout - idle);
        }
        curl_multi_poll(state.multi.get(), nullptr, 0, static_cast<int>(std::max<long long>(wait.count(), 1)), nullptr);
    }
    m_bResponseArrived = state.bFinal;
    if (result != Result::Completed && result != Result::Stopped)
        m_strError = errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(code);
    curl_multi_remove_handle(state.multi.get(), easy);
    state.easy.reset();
    return result;
}
