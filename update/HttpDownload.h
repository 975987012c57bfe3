#pragma once
// One HTTP GET into one local file, on a thread of its own. Used for feed
// documents, web pages and OPML addresses. The caller either waits for the
// end (GetEndEvent, with a pumping wait when it has windows) or is told by
// two posted messages:
//   WM_DOWNLOAD_PROGRESS  wParam = content length, after every 1024-byte block
//   WM_DOWNLOAD_DONE      wParam = bytes received, 0 on failure; once, at the end
// both with the download as lParam.
//
// Only a 200 or 403 answer is stored. Every failure ends the same way: no
// file at the local path, Succeeded() false, WM_DOWNLOAD_DONE with 0. A read
// that breaks off after some bytes keeps the partial file as a success, and
// so does a stop at the size limit.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/ConnMgr.h"
#include "platform/HttpRequest.h"
#include "platform/NamedEvent.h"
#include "platform/WindowMessages.h"

// Timeouts and limits the callers use.
inline constexpr DWORD kFeedDownloadTimeoutMs = 30000;
inline constexpr DWORD kPageDownloadTimeoutMs = 60000;
inline constexpr DWORD kPageSizeLimit = 0x100000; // web pages and search results
// Feed documents: a broken or hostile server must not fill the disk. An
// over-size feed is cut like any size limit, and parsed as far as it goes.
inline constexpr DWORD kFeedSizeLimit = 32 * 1024 * 1024;

// A server that trickles a byte now and then keeps every step alive: a
// download slower than this for this long fails, and none takes longer in
// all than the cap.
inline constexpr DWORD kLowSpeedBytesPerSecond = 1024;
inline constexpr DWORD kLowSpeedSeconds = 60;
inline constexpr DWORD kDownloadTotalCapMs = 5 * 60 * 1000;

inline constexpr DWORD kDownloadCancelled = 1; // cancel code of a read timeout, and Abort's usual code

class CHttpDownload {
public:
    CHttpDownload();
    ~CHttpDownload(); // a running download is aborted and waited for
    CHttpDownload(const CHttpDownload&) = delete;
    CHttpDownload& operator=(const CHttpDownload&) = delete;

    // False, changing nothing, while a thread is still attached (until
    // Reset). timeoutMs bounds every wait for the network (INFINITE: none).
    bool Start(const std::wstring& url, const std::wstring& localPath, DWORD timeoutMs);

    // 0: unlimited; otherwise the download ends, as a success, once more than
    // this many bytes have arrived. Cleared by Reset.
    void SetSizeLimit(DWORD bytes) { m_dwSizeLimit = bytes; }
    // The slow-transfer rule and the overall cap (0: none); the defaults
    // above come back with Reset.
    void SetTransferLimits(DWORD lowSpeedBytesPerSecond, DWORD lowSpeedSeconds, DWORD totalMs)
    {
        m_dwLowSpeedBytes = lowSpeedBytesPerSecond;
        m_dwLowSpeedSeconds = lowSpeedSeconds;
        m_dwTotalCapMs = totalMs;
    }
    void SetConnection(HCONNECTION connection) { m_hConnection = connection; }
    void SetNotifyWindow(HWND window) { m_hNotifyWindow = window; }

    // Ends the download from any thread. A non-zero code makes it a failure
    // with that cancel code (the partial file is deleted); 0 only stops the
    // reading. Returns at once; the thread ends within one wake-up. A
    // download that has already ended is not changed.
    void Abort(DWORD code);

    bool Succeeded() const { return m_bSuccess; }
    DWORD CancelCode() const { return m_dwCancelCode; }
    bool TimedOut() const { return m_bTimedOut; }
    // The size limit cut the document short (it is kept, as a success).
    bool SizeLimitReached() const { return m_bSizeLimitReached; }
    bool IsBusy() const { return m_thread.joinable(); }
    std::uint64_t BytesReceived() const { return m_qwBytesReceived; }
    DWORD ContentLength() const { return m_dwContentLength; }
    long StatusCode() const { return m_lStatusCode; } // 0 until an answer came
    const std::wstring& GetUrl() const { return m_strUrl; }
    const std::wstring& GetLocalPath() const { return m_strLocalPath; }

    // Manual-reset; set when the thread has ended (and before Start).
    CEvent& GetEndEvent() { return m_evEnded; }

    // Waits for the end of the thread (and joins it), clears every result and
    // the size limit, and makes the object ready for the next Start. A
    // download still running is aborted first.
    void Reset();

    // "scheme://host/path?extra" with leading slashes of the path removed and
    // doubled slashes inside it folded; a URL that cannot be taken apart comes
    // back unchanged. The user name, password and port are kept.
    static std::wstring NormalizeUrl(const std::wstring& url);

    // Whether a download of the URL goes on the network at all: a URL that
    // cannot be taken apart is not, nor a bare machine name (the platform's
    // splitter refuses a host without a dot).
    static bool IsFetchableUrl(const std::wstring& url);

    // The user agent: the registry's custom value, else "Tandrel/1.0".
    static std::string GetUserAgent();

private:
    void DownloadThread();
    bool OnResponse(long status, std::int64_t contentLength);
    bool OnBlock(const char* data, size_t size);
    void Finish(bool fileWritten);

    std::wstring m_strUrl;
    std::wstring m_strLocalPath;
    HWND m_hNotifyWindow;
    HCONNECTION m_hConnection = 0;
    DWORD m_dwTimeout = INFINITE;
    DWORD m_dwSizeLimit = 0;
    DWORD m_dwLowSpeedBytes = kLowSpeedBytesPerSecond;
    DWORD m_dwLowSpeedSeconds = kLowSpeedSeconds;
    DWORD m_dwTotalCapMs = kDownloadTotalCapMs;

    // Written by the download thread, read by the caller: atomic words.
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bSuccess{false};
    std::atomic<bool> m_bTimedOut{false};
    std::atomic<bool> m_bSizeLimitReached{false};
    std::atomic<DWORD> m_dwCancelCode{0};
    std::atomic<std::uint64_t> m_qwBytesReceived{0};
    std::atomic<DWORD> m_dwContentLength{0};
    std::atomic<long> m_lStatusCode{0};

    std::FILE* m_pFile = nullptr; // the download thread's only
    std::thread m_thread;
    CEvent m_evEnded;
    std::mutex m_requestMutex; // Abort against Start, Reset and the verdict
    bool m_bFinished = true;   // the verdict is in (under m_requestMutex)
    std::unique_ptr<CHttpRequest> m_pRequest;
};
