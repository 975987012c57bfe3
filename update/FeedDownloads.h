#pragma once
// The downloads of an update run, running ahead of its walk. The run hands
// over every feed of its list once (url, validators, whether to fetch it);
// a thread of this object then fetches them in list order on one
// CHttpTransfers, each into a file of its own, at most kMaxDownloads at once
// and kMaxDownloadsPerHost from one host, while the run's worker takes the
// results one by one, in walk order (Take).
//
// A host is asked once before it is asked several times at once: a server
// that is down, refuses us or asks us to wait then costs one request, not
// four, and the requests after the first find its connection open. A host
// that answers 429 or 503 with Retry-After is asked nothing more in this
// run: its feeds left fail as "retry later" without a request, and so do
// those of the hosts the run names as asking to be left alone still.
//
// Only values cross the threads: the feeds going in, one CFeedDownload per
// feed coming out. A file belongs to this object until its result is taken,
// then to the taker, who removes it. Cancel (any thread) ends every download
// in flight at once; Stop (the starting thread) ends the thread, waits for
// it and removes every file whose result was not taken.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/HttpTransfers.h"
#include "platform/WindowMessages.h"
#include "store/FeedDatabase.h"
#include "update/FeedUpdateResult.h"

inline constexpr size_t kMaxDownloads = 12;
inline constexpr int kMaxDownloadsPerHost = 4;
// Documents fetched ahead and not yet taken may fill this much of the disk;
// past it only the document the walk waits for is fetched.
inline constexpr std::uint64_t kDownloadsAheadBytes = 64 * 1024 * 1024;

struct CFeedToFetch {
    std::wstring url;
    CFeedValidators validators; // sent as If-None-Match and If-Modified-Since
    bool fetch = true;          // false: only when Take asks for it
};

// What every download of the run is given.
struct CFeedDownloadSettings {
    std::wstring pathBase; // "<folder>/<name>.xml": each feed's file is "<name>-<index>.xml"
    std::string userAgent;
    std::string proxy;
    DWORD stepTimeoutMs = 0;
    DWORD lowSpeedBytes = 0;
    DWORD lowSpeedSeconds = 0;
    DWORD totalMs = 0;
    DWORD sizeLimit = 0; // the document is cut here, and kept
    HWND notifyWindow; // WM_DOWNLOAD_PROGRESS (wParam content length) per 1024-byte block
    // Hosts (as DownloadHostOf names them) not to be asked at all: their
    // feeds fail as "retry later".
    std::vector<std::string> hostsLeftAlone;
};

enum class CDownloadEnd {
    Fetched,     // a 200 or 403 document is in path
    NotModified, // 304
    Failed,      // failure says why
    NotFetched,  // not to be fetched, and Take did not ask for it
};

struct CFeedDownload {
    CDownloadEnd end = CDownloadEnd::NotFetched;
    CFeedFailure failure = CFeedFailure::None;
    std::wstring path;            // Fetched: the document, the taker's to remove
    std::uint64_t bytes = 0;
    bool sizeLimitReached = false;
    long httpStatus = 0;          // the final answer's, 0 when none came
    CFeedValidators validators;   // the answer's (Fetched, NotModified)
    std::wstring movedTo;         // see CHttpResponse::movedTo
    std::wstring documentUrl;     // where the answer came from (CHttpResponse::url)
    FILETIME notBefore;           // RetryLater: the time (UTC) Retry-After named; 0 ticks when none
    int requests = 0;
};

// "host:port" of a URL (the port as written), lower case, without user name
// and password: the unit of the per-host limit and of a wait a host asks for.
std::string DownloadHostOf(const std::wstring& url);

// A host may ask to be left alone for at most this long: a mistaken
// Retry-After must not silence its feeds for good.
inline constexpr std::int64_t kMaxRetryAfterSeconds = 24 * 60 * 60;

class CFeedDownloads {
public:
    CFeedDownloads() = default;
    ~CFeedDownloads(); // Stop
    CFeedDownloads(const CFeedDownloads&) = delete;
    CFeedDownloads& operator=(const CFeedDownloads&) = delete;

    // Starts the thread. False when it cannot: every Take then fails.
    bool Start(std::vector<CFeedToFetch> feeds, CFeedDownloadSettings settings);
    // Waits for the feed's download and hands its result over. A feed not
    // to be fetched is fetched now when fetch is true (ahead of the rest),
    // and otherwise comes back NotFetched at once. After Cancel, Stop, or a
    // Start that failed: Failed, as cancelled (or as a network failure).
    CFeedDownload Take(size_t index, bool fetch = true);
    // Any thread: every download in flight ends now, and none starts.
    void Cancel();
    // The starting thread: the downloads not taken are ended and their
    // files removed; returns when the thread has ended.
    void Stop();

    // The thread runs: downloads are in flight or to come.
    bool IsBusy() const { return m_bRunning; }
    // Requests sent so far, redirects included.
    int RequestCount() const { return m_nRequests; }

private:
    enum class CState { Queued, Running, Done, Taken };
    struct CSlot {
        std::wstring url;
        std::string host; // "host:port", lower case: the unit of the per-host limit
        CFeedValidators validators;
        bool fetch = true;
        bool fetchable = false; // a web address the downloader takes: judged once
        CState state = CState::Queued;
        CFeedDownload result;
    };
    struct CActive;

    void Run();
    void StartWhatFits();
    void Begin(size_t index);
    void Finish(CActive& active, const CHttpOutcome& outcome);
    std::wstring PathOf(size_t index) const;

    CFeedDownloadSettings m_settings;
    CHttpTransfers m_transfers; // the thread's; Cancel and Wakeup from any
    std::thread m_thread;
    std::atomic<bool> m_bRunning{false};
    std::atomic<bool> m_bCancelled{false};
    std::atomic<bool> m_bStopping{false};
    std::atomic<int> m_nRequests{0};
    bool m_bStarted = false;

    // Shared by the thread and the taker.
    std::mutex m_mutex;
    std::condition_variable m_cvDone;
    std::vector<CSlot> m_slots;
    size_t m_nWalkIndex = 0;          // the feed the taker waits for, or will next
    std::uint64_t m_qwAheadBytes = 0; // in files done and not taken

    // The thread's only.
    std::vector<std::string> m_answeredHosts;   // a request of theirs has ended
    std::vector<std::string> m_retryLaterHosts; // asked to be left alone
    std::vector<std::pair<std::string, int>> m_hostsRunning;
};
