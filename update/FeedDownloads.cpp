#include "update/FeedDownloads.h"

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <system_error>

#include "platform/Debug.h"
#include "platform/FileSystem.h"
#include "platform/Unicode.h"
#include "update/HttpDownload.h"

namespace {

constexpr size_t kBlockSize = 1024;
// 1970-01-01 in seconds since 1601-01-01, where file times count from.
constexpr std::int64_t kUnixEpochSeconds = 11644473600;

bool Contains(const std::vector<std::string>& hosts, const std::string& host)
{
    return std::find(hosts.begin(), hosts.end(), host) != hosts.end();
}

int& RunningOf(std::vector<std::pair<std::string, int>>& running, const std::string& host)
{
    for (auto& [name, count] : running) {
        if (name == host)
            return count;
    }
    return running.emplace_back(host, 0).second;
}

// Why a download without a document failed, as far as its answer tells.
CFeedFailure FailureOf(const CHttpResponse& response)
{
    const long status = response.status;
    if (status == 410)
        return CFeedFailure::Gone;
    if ((status == 429 || status == 503) && !response.retryAfter.empty())
        return CFeedFailure::RetryLater;
    if (status != 0 && status != 200 && status != 403)
        return CFeedFailure::HttpStatus;
    if (status != 0) // an answer came, but no document with it
        return CFeedFailure::NotAFeed;
    return CFeedFailure::Network;
}

CFeedDownload Failure(CFeedFailure failure)
{
    CFeedDownload download;
    download.end = CDownloadEnd::Failed;
    download.failure = failure;
    return download;
}

// Seconds since 1970 (UTC) by the reader's clock, and back.
std::int64_t UnixSecondsNow()
{
    FILETIME now;
    SystemTimeToFileTime(GetSystemTime(), now);
    return static_cast<std::int64_t>(now.Ticks() / 10000000) - kUnixEpochSeconds;
}

FILETIME FileTimeOfUnixSeconds(std::int64_t seconds)
{
    return FILETIME::FromTicks(static_cast<std::uint64_t>(seconds + kUnixEpochSeconds) * 10000000);
}

} // namespace

std::string DownloadHostOf(const std::wstring& url)
{
    const size_t schemeEnd = url.find(L"://");
    if (schemeEnd == std::wstring::npos)
        return {};
    const size_t start = schemeEnd + 3;
    const size_t end = std::min(url.find_first_of(L"/?#", start), url.size());
    std::wstring authority = url.substr(start, end - start);
    if (const size_t at = authority.rfind(L'@'); at != std::wstring::npos)
        authority.erase(0, at + 1);
    std::transform(authority.begin(), authority.end(), authority.begin(),
                   [](wchar_t ch) { return static_cast<wchar_t>(std::towlower(ch)); });
    return WideToUtf8(authority);
}

// One download in flight: the thread's only.
struct CFeedDownloads::CActive {
    size_t index = 0;
    std::wstring path;
    std::FILE* file = nullptr;
    bool writeFailed = false;
    std::uint64_t bytes = 0;
    bool sizeLimitReached = false;
    CHttpResponse response;
};

CFeedDownloads::~CFeedDownloads() { Stop(); }

std::wstring CFeedDownloads::PathOf(size_t index) const
{
    std::wstring base = m_settings.pathBase;
    const size_t dot = base.rfind(L'.');
    const size_t slash = base.find_last_of(L"/\\");
    std::wstring extension;
    if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) {
        extension = base.substr(dot);
        base.erase(dot);
    }
    return base + L"-" + std::to_wstring(index) + extension;
}

bool CFeedDownloads::Start(std::vector<CFeedToFetch> feeds, CFeedDownloadSettings settings)
{
    if (m_bStarted)
        return false;
    m_bStarted = true;
    m_settings = std::move(settings);
    m_retryLaterHosts = m_settings.hostsLeftAlone;
    m_slots.resize(feeds.size());
    for (size_t i = 0; i < feeds.size(); ++i) {
        m_slots[i].url = std::move(feeds[i].url);
        m_slots[i].host = DownloadHostOf(m_slots[i].url);
        m_slots[i].fetchable = CHttpDownload::IsFetchableUrl(m_slots[i].url);
        m_slots[i].validators = std::move(feeds[i].validators);
        m_slots[i].fetch = feeds[i].fetch;
    }
    m_bRunning = true;
    try {
        m_thread = std::thread(&CFeedDownloads::Run, this);
    } catch (const std::system_error&) {
        DebugLog("CFeedDownloads::Start", "no thread for the downloads");
        m_bRunning = false;
        return false;
    }
    return true;
}

void CFeedDownloads::Cancel()
{
    m_bCancelled = true;
    m_transfers.Cancel();
}

void CFeedDownloads::Stop()
{
    if (!m_thread.joinable())
        return;
    m_bStopping = true;
    m_transfers.Cancel();
    m_thread.join();
}

CFeedDownload CFeedDownloads::Take(size_t index, bool fetch)
{
    std::unique_lock lock(m_mutex);
    if (index >= m_slots.size())
        return Failure(CFeedFailure::Network);
    CSlot& slot = m_slots[index];
    m_nWalkIndex = index;
    if (slot.state == CState::Queued && !slot.fetch) {
        if (!fetch) {
            slot.state = CState::Taken;
            return {};
        }
        slot.fetch = true;
    }
    m_transfers.Wakeup();
    m_cvDone.wait(lock, [&] { return slot.state == CState::Done || slot.state == CState::Taken || !m_bRunning; });
    if (slot.state != CState::Done)
        return Failure(m_bCancelled || m_bStopping ? CFeedFailure::Cancelled : CFeedFailure::Network);
    CFeedDownload result = std::move(slot.result);
    slot.state = CState::Taken;
    if (result.end == CDownloadEnd::Fetched) {
        m_qwAheadBytes -= std::min(m_qwAheadBytes, result.bytes);
        m_transfers.Wakeup(); // room for more ahead
    }
    return result;
}

void CFeedDownloads::Run()
{
    CreateFolderPath(SplitPath(m_settings.pathBase).folder);
    // A second at most between looks, so that a lost wakeup can only delay,
    // never hang.
    while (!((m_bCancelled || m_bStopping) && m_transfers.Count() == 0)) {
        if (!m_bCancelled && !m_bStopping)
            StartWhatFits();
        m_transfers.Poll(std::chrono::milliseconds(1000));
    }
    // What was fetched ahead and not taken is not wanted any more.
    {
        std::lock_guard lock(m_mutex);
        for (CSlot& slot : m_slots) {
            if (slot.state == CState::Taken)
                continue;
            if (slot.state == CState::Done && !slot.result.path.empty())
                DeleteFile(slot.result.path);
            slot.result = Failure(CFeedFailure::Cancelled);
            slot.state = CState::Done;
        }
        m_qwAheadBytes = 0;
        m_bRunning = false;
    }
    m_cvDone.notify_all();
}

void CFeedDownloads::StartWhatFits()
{
    std::vector<size_t> starting;
    bool settled = false;
    {
        std::lock_guard lock(m_mutex);
        size_t inFlight = m_transfers.Count();
        for (size_t i = 0; i < m_slots.size() && inFlight < kMaxDownloads; ++i) {
            CSlot& slot = m_slots[i];
            if (slot.state != CState::Queued || !slot.fetch)
                continue;
            if (Contains(m_retryLaterHosts, slot.host)) {
                slot.result = Failure(CFeedFailure::RetryLater);
                slot.state = CState::Done;
                settled = true;
                continue;
            }
            if (!slot.fetchable) {
                slot.result = Failure(CFeedFailure::Network);
                slot.state = CState::Done;
                settled = true;
                continue;
            }
            // Whatever is ahead, the feed the walk waits for is fetched.
            if (m_qwAheadBytes >= kDownloadsAheadBytes && i != m_nWalkIndex)
                continue;
            const int limit = Contains(m_answeredHosts, slot.host) ? kMaxDownloadsPerHost : 1;
            int& running = RunningOf(m_hostsRunning, slot.host);
            if (running >= limit)
                continue;
            ++running;
            ++inFlight;
            slot.state = CState::Running;
            starting.push_back(i);
        }
    }
    if (settled)
        m_cvDone.notify_all();
    for (size_t index : starting)
        Begin(index);
}

void CFeedDownloads::Begin(size_t index)
{
    auto active = std::make_shared<CActive>();
    active->index = index;
    active->path = PathOf(index);
    CHttpTransferOptions options;
    {
        std::lock_guard lock(m_mutex);
        const CSlot& slot = m_slots[index];
        options.url = WideToUtf8(slot.url);
        if (!slot.validators.etag.empty())
            options.headers.push_back("If-None-Match: " + WideToUtf8(slot.validators.etag));
        if (!slot.validators.lastModified.empty())
            options.headers.push_back("If-Modified-Since: " + WideToUtf8(slot.validators.lastModified));
    }
    options.userAgent = m_settings.userAgent;
    options.proxy = m_settings.proxy;
    if (m_settings.stepTimeoutMs != INFINITE)
        options.stepTimeout = std::chrono::milliseconds(m_settings.stepTimeoutMs);
    options.lowSpeedBytes = static_cast<long>(m_settings.lowSpeedBytes);
    options.lowSpeedTime = std::chrono::seconds(m_settings.lowSpeedSeconds);
    options.totalTimeout = std::chrono::milliseconds(m_settings.totalMs);

    auto onResponse = [this, active](const CHttpResponse& response) {
        active->response = response;
        // A 304 has no body: it runs to its end, so that its connection
        // stays open for the next request (a stop closes it).
        if (response.status == 304)
            return true;
        // A 403 comes with a page worth keeping as often as not; any other
        // answer but 200 is a failure without a file.
        if (response.status != 200 && response.status != 403)
            return false;
        DeleteFile(active->path);
        active->file = std::fopen(NativePath(active->path).c_str(), "wbx");
        if (active->file == nullptr)
            DebugLogF("CFeedDownloads", "cannot create %s", NativePath(active->path).c_str());
        return active->file != nullptr;
    };
    // Taken in 1024-byte blocks, whatever size libcurl hands over, so that
    // the size limit and the progress messages count the same blocks as
    // every other download of the reader.
    auto onBody = [this, active](std::string_view data) {
        while (!data.empty()) {
            if (m_bCancelled || active->sizeLimitReached || active->file == nullptr)
                return false;
            const size_t block = std::min(data.size(), kBlockSize);
            if (std::fwrite(data.data(), 1, block, active->file) != block) {
                active->writeFailed = true;
                return false;
            }
            data.remove_prefix(block);
            active->bytes += block;
            if (m_settings.sizeLimit != 0 && active->bytes > m_settings.sizeLimit)
                active->sizeLimitReached = true;
            if (m_settings.notifyWindow)
                PostMessage(m_settings.notifyWindow, WM_DOWNLOAD_PROGRESS,
                            static_cast<WPARAM>(std::max<std::int64_t>(0, active->response.contentLength)), 0);
        }
        return !active->sizeLimitReached;
    };
    auto onDone = [this, active](const CHttpOutcome& outcome) { Finish(*active, outcome); };
    m_transfers.Add(options, std::move(onResponse), std::move(onBody), std::move(onDone));
}

void CFeedDownloads::Finish(CActive& active, const CHttpOutcome& outcome)
{
    bool fileWritten = false;
    if (active.file != nullptr) {
        fileWritten = std::fclose(active.file) == 0 && !active.writeFailed;
        active.file = nullptr;
    }
    CFeedDownload result;
    const CHttpResponse& response = active.response;
    if (outcome.result == CHttpResult::Cancelled || m_bCancelled) {
        result = Failure(CFeedFailure::Cancelled);
    } else if (outcome.responseArrived && response.status == 304) {
        result.end = CDownloadEnd::NotModified;
    } else if (outcome.result == CHttpResult::TimedOut) {
        // Also while the body came: a stall must not leave a half document
        // that looks complete.
        result = Failure(CFeedFailure::Timeout);
    } else if (active.bytes > 0 && outcome.result == CHttpResult::Failed) {
        // A body that broke off (shorter than its Content-Length, a chunked
        // body without its end) is no document: merged, it would stand for
        // the whole one, and its validators would keep the rest away.
        result = Failure(CFeedFailure::Incomplete);
    } else if (fileWritten && active.bytes > 0) {
        // The whole body, or as much as the size limit lets through.
        result.end = CDownloadEnd::Fetched;
        result.path = active.path;
        result.bytes = active.bytes;
        result.sizeLimitReached = active.sizeLimitReached;
    } else {
        result = Failure(FailureOf(response));
    }
    if (result.failure == CFeedFailure::RetryLater) {
        const std::int64_t now = UnixSecondsNow();
        if (const auto wait = RetryAfterSeconds(response.retryAfter, now))
            result.notBefore = FileTimeOfUnixSeconds(now + std::min(*wait, kMaxRetryAfterSeconds));
    }
    if (result.end != CDownloadEnd::Fetched)
        DeleteFile(active.path);
    result.httpStatus = response.status;
    result.requests = static_cast<int>(outcome.requests);
    result.movedTo = Utf8ToWide(response.movedTo);
    result.documentUrl = Utf8ToWide(response.url);
    if (result.end == CDownloadEnd::Fetched || result.end == CDownloadEnd::NotModified)
        result.validators = {Utf8ToWide(response.etag), Utf8ToWide(response.lastModified)};
    if (result.end == CDownloadEnd::Failed && outcome.result != CHttpResult::Cancelled)
        DebugLogF("CFeedDownloads", "%s: status %ld %s", WideToUtf8(m_slots[active.index].url).c_str(),
                  response.status, outcome.errorText.c_str());
    m_nRequests += result.requests;
    {
        std::lock_guard lock(m_mutex);
        CSlot& slot = m_slots[active.index];
        --RunningOf(m_hostsRunning, slot.host);
        if (!Contains(m_answeredHosts, slot.host))
            m_answeredHosts.push_back(slot.host);
        if (result.failure == CFeedFailure::RetryLater && !Contains(m_retryLaterHosts, slot.host))
            m_retryLaterHosts.push_back(slot.host);
        if (result.end == CDownloadEnd::Fetched)
            m_qwAheadBytes += result.bytes;
        slot.result = std::move(result);
        slot.state = CState::Done;
    }
    m_cvDone.notify_all();
}
