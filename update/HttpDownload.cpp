#include "update/HttpDownload.h"

#include <algorithm>
#include <cwctype>
#include <system_error>

#include "platform/Debug.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Unicode.h"

namespace {

constexpr size_t kBodyBlockSize = 1024;
constexpr char kDefaultUserAgent[] = "Tandrel/1.0";
constexpr size_t kMaxUserAgent = 256;

// A URL taken apart as the platform's URL splitter does, with its limits on
// the length of each part.
struct CUrlParts {
    std::wstring scheme, user, password, host, port, path, extra;
};

bool CrackUrl(const std::wstring& url, CUrlParts& parts)
{
    const size_t schemeEnd = url.find(L"://");
    if (schemeEnd == std::wstring::npos || schemeEnd == 0)
        return false;
    parts = {};
    parts.scheme = url.substr(0, schemeEnd);
    for (wchar_t ch : parts.scheme) {
        if (!std::iswalnum(ch) && ch != L'+' && ch != L'-' && ch != L'.')
            return false;
    }
    const size_t authorityStart = schemeEnd + 3;
    const size_t authorityEnd = std::min(url.find_first_of(L"/?#", authorityStart), url.size());
    std::wstring authority = url.substr(authorityStart, authorityEnd - authorityStart);
    const size_t extraStart = std::min(url.find_first_of(L"?#", authorityEnd), url.size());
    parts.path = url.substr(authorityEnd, extraStart - authorityEnd);
    parts.extra = url.substr(extraStart);

    const size_t at = authority.rfind(L'@');
    if (at != std::wstring::npos) {
        const std::wstring userInfo = authority.substr(0, at);
        authority.erase(0, at + 1);
        const size_t colon = userInfo.find(L':');
        parts.user = userInfo.substr(0, colon);
        if (colon != std::wstring::npos)
            parts.password = userInfo.substr(colon + 1);
    }
    // A port follows the last ':' that is not inside an IPv6 literal.
    const size_t colon = authority.rfind(L':');
    if (colon != std::wstring::npos && authority.find(L']', colon) == std::wstring::npos) {
        parts.port = authority.substr(colon + 1);
        authority.erase(colon);
        if (parts.port.empty() || parts.port.size() > 5 ||
            !std::all_of(parts.port.begin(), parts.port.end(), [](wchar_t ch) { return ch >= L'0' && ch <= L'9'; }) ||
            std::stoul(parts.port) > 65535)
            return false;
    }
    parts.host = authority;
    return parts.scheme.size() < 32 && parts.host.size() < 256 && parts.user.size() < 128 &&
           parts.password.size() < 128 && parts.path.size() < 2048 && parts.extra.size() < 2048;
}

void ReplaceInPlace(std::wstring& text, std::wstring_view from, std::wstring_view to)
{
    for (size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

} // namespace

std::wstring CHttpDownload::NormalizeUrl(const std::wstring& url)
{
    CUrlParts parts;
    if (!CrackUrl(url, parts))
        return url;
    std::wstring path = parts.path;
    path.erase(0, path.find_first_not_of(L'/') == std::wstring::npos ? path.size() : path.find_first_not_of(L'/'));
    ReplaceInPlace(path, L"//", L"/");
    ReplaceInPlace(path, L"//", L"/");
    if (parts.host.empty())
        return parts.scheme + L"://" + path + parts.extra;
    std::wstring authority;
    if (!parts.user.empty() || !parts.password.empty())
        authority = parts.user + (parts.password.empty() ? L"" : L":" + parts.password) + L"@";
    authority += parts.host;
    if (!parts.port.empty())
        authority += L":" + parts.port;
    return parts.scheme + L"://" + authority + L"/" + path + parts.extra;
}

bool CHttpDownload::IsFetchableUrl(const std::wstring& url)
{
    CUrlParts parts;
    return CrackUrl(url, parts) && parts.host.find(L'.') != std::wstring::npos;
}

std::string CHttpDownload::GetUserAgent()
{
    CRegKey key;
    std::wstring agent;
    if (key.Open(HKEY_LOCAL_MACHINE, L"Security\\Internet Explorer\\User Agent") != ERROR_SUCCESS ||
        key.QueryStringValue(L"CustomBase", agent) != ERROR_SUCCESS || agent.empty() ||
        agent.size() >= kMaxUserAgent)
        return kDefaultUserAgent;
    // The value becomes a request header: a line break in it would let the
    // registry add headers of its own choosing.
    if (std::any_of(agent.begin(), agent.end(), [](wchar_t ch) { return ch < 0x20 || ch == 0x7F; }))
        return kDefaultUserAgent;
    return WideToUtf8(agent);
}

CHttpDownload::CHttpDownload() { m_evEnded.Create(true, true); }

CHttpDownload::~CHttpDownload() { Reset(); }

bool CHttpDownload::Start(const std::wstring& url, const std::wstring& localPath, DWORD timeoutMs)
{
    if (IsBusy())
        return false;
    m_qwBytesReceived = 0;
    m_dwContentLength = 0;
    m_lStatusCode = 0;
    m_bSuccess = false;
    m_bTimedOut = false;
    m_bSizeLimitReached = false;
    m_dwCancelCode = 0;
    m_dwTimeout = timeoutMs;
    m_strLocalPath = localPath;
    m_strUrl = url;
    m_evEnded.Reset();
    {
        std::lock_guard lock(m_requestMutex);
        m_pRequest = std::make_unique<CHttpRequest>();
        m_bFinished = false;
    }
    try {
        m_thread = std::thread(&CHttpDownload::DownloadThread, this);
    } catch (const std::system_error&) {
        DebugLog("CHttpDownload::Start", "no thread for the download");
        m_evEnded.Set();
        return false;
    }
    std::this_thread::yield();
    return true;
}

void CHttpDownload::Abort(DWORD code)
{
    std::lock_guard lock(m_requestMutex);
    // A download that has ended is left as it ended: a late abort must not
    // call a stored file a failure (nor leave a "failed" file behind).
    if (m_bFinished)
        return;
    m_bStop = true;
    if (code != 0) {
        m_bSuccess = false;
        m_dwCancelCode = code;
    }
    if (m_pRequest)
        m_pRequest->Cancel();
}

void CHttpDownload::Reset()
{
    // A thread left running would go on using this object after it is
    // reused or destroyed: it is stopped and waited for instead.
    if (m_thread.joinable()) {
        Abort(kDownloadCancelled);
        m_thread.join();
    }
    {
        std::lock_guard lock(m_requestMutex);
        m_pRequest.reset();
    }
    m_strUrl.clear();
    m_qwBytesReceived = 0;
    m_dwContentLength = 0;
    m_lStatusCode = 0;
    m_bSuccess = false;
    m_dwCancelCode = 0;
    m_bTimedOut = false;
    m_bSizeLimitReached = false;
    m_dwSizeLimit = 0;
    m_dwLowSpeedBytes = kLowSpeedBytesPerSecond;
    m_dwLowSpeedSeconds = kLowSpeedSeconds;
    m_dwTotalCapMs = kDownloadTotalCapMs;
    m_dwTimeout = INFINITE;
    m_evEnded.Set();
}

bool CHttpDownload::OnResponse(long status, std::int64_t contentLength)
{
    m_lStatusCode = status;
    // A 403 comes with a page worth keeping as often as not; any other
    // answer but 200 is a failure without a file.
    if (status != 200 && status != 403)
        return false;
    m_dwContentLength = static_cast<DWORD>(std::clamp<std::int64_t>(contentLength, 0, 0xFFFFFFFF));
    DeleteFile(m_strLocalPath);
    CreateFolderPath(SplitPath(m_strLocalPath).folder);
    m_pFile = std::fopen(NativePath(m_strLocalPath).c_str(), "wbx");
    if (m_pFile == nullptr) {
        DebugLogF("CHttpDownload::DownloadThread", "cannot create %s", NativePath(m_strLocalPath).c_str());
        return false;
    }
    return true;
}

// Taken in 1024-byte blocks, whatever size libcurl hands over, so that the
// size limit and the progress messages count as the reader always has.
bool CHttpDownload::OnBlock(const char* data, size_t size)
{
    while (size > 0) {
        if (m_bStop || m_dwCancelCode != 0)
            return false;
        const size_t block = std::min(size, kBodyBlockSize);
        if (std::fwrite(data, 1, block, m_pFile) != block) {
            m_bSuccess = false;
            std::fclose(m_pFile);
            m_pFile = nullptr;
            return false;
        }
        data += block;
        size -= block;
        m_qwBytesReceived += block;
        if (m_dwSizeLimit != 0 && m_qwBytesReceived > m_dwSizeLimit) {
            m_bStop = true;
            m_bSizeLimitReached = true;
        }
        if (m_hNotifyWindow)
            PostMessage(m_hNotifyWindow, WM_DOWNLOAD_PROGRESS, m_dwContentLength, reinterpret_cast<LPARAM>(this));
    }
    return !m_bStop;
}

void CHttpDownload::DownloadThread()
{
    DebugLogF("CHttpDownload::DownloadThread", "Start >> %s", WideToUtf8(m_strUrl).c_str());
    bool fileWritten = false;
    if (m_dwCancelCode == 0) {
        m_bStop = false;
        if (IsFetchableUrl(m_strUrl)) {
            std::wstring proxy;
            ConnMgrGetProxy(m_hConnection, proxy);
            CHttpRequest::COptions options;
            options.url = WideToUtf8(m_strUrl);
            options.proxy = WideToUtf8(proxy);
            options.userAgent = GetUserAgent();
            DebugLogF("CHttpDownload::DownloadThread", "User Agent : %s", options.userAgent.c_str());
            if (m_dwTimeout != INFINITE)
                options.stepTimeout = std::chrono::milliseconds(m_dwTimeout);
            options.lowSpeedBytes = static_cast<long>(m_dwLowSpeedBytes);
            options.lowSpeedTime = std::chrono::seconds(m_dwLowSpeedSeconds);
            options.totalTimeout = std::chrono::milliseconds(m_dwTotalCapMs);

            bool writeFailed = false;
            const auto result = m_pRequest->Perform(
                options, [this](long status, std::int64_t length) { return OnResponse(status, length); },
                [&](std::string_view block) {
                    const bool keepOn = OnBlock(block.data(), block.size());
                    writeFailed = m_pFile == nullptr;
                    return keepOn;
                });
            if (result == CHttpRequest::Result::TimedOut) {
                m_bTimedOut = true;
                // Timed out while reading the body: a cancel, as a stall
                // must not leave a half document that looks complete.
                if (m_pRequest->ResponseArrived()) {
                    m_bStop = true;
                    m_dwCancelCode = kDownloadCancelled;
                }
            } else if (result == CHttpRequest::Result::Failed) {
                DebugLogF("CHttpDownload::DownloadThread", "%s", m_pRequest->ErrorText().c_str());
            }
            if (m_pFile != nullptr) {
                writeFailed = std::fclose(m_pFile) != 0 || writeFailed;
                m_pFile = nullptr;
                // A body that broke off (shorter than its Content-Length, a
                // chunked body without its end) is no document.
                fileWritten = !writeFailed && result != CHttpRequest::Result::Failed;
            }
        }
    }
    Finish(fileWritten);
}

void CHttpDownload::Finish(bool fileWritten)
{
    {
        // The verdict and Abort exclude each other, so the file and the
        // result always agree.
        std::lock_guard lock(m_requestMutex);
        m_bSuccess = fileWritten && m_dwCancelCode == 0 && m_qwBytesReceived > 0;
        m_bFinished = true;
    }
    if (!m_bSuccess)
        DeleteFile(m_strLocalPath);
    m_bStop = true;
    DebugLogF("CHttpDownload::DownloadThread", "End >> %llu bytes, status %ld, cancel %u",
              static_cast<unsigned long long>(m_qwBytesReceived.load()), m_lStatusCode.load(),
              m_dwCancelCode.load());
    const HWND notify = m_hNotifyWindow;
    const WPARAM bytes = m_bSuccess ? static_cast<WPARAM>(m_qwBytesReceived.load()) : 0;
    // Set before the post: a caller woken by the message may Reset at once.
    m_evEnded.Set();
    if (notify)
        PostMessage(notify, WM_DOWNLOAD_DONE, bytes, reinterpret_cast<LPARAM>(this));
}
