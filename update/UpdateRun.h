#pragma once
// One update run: a worker walks the feeds of a list one after another,
// merging each feed's new items into the store as unread pages, refreshing
// its record and trimming its pages, while their documents are downloaded
// ahead of the walk, several at once (CFeedDownloads). What the run shows
// (status texts, progress, per-feed results) comes in walk order all the
// same. Each download sends the validators of the feed's last stored
// document; a 304 is an update without new pages. The update dialog hosts the
// run and draws what it shows (IUpdateRunView); everything else is here.
//
// The run belongs to the thread that makes it (the dialog's). That thread
// must pump its window messages: the worker and the download reach the run
// only through its window (GetWindow), which also takes WM_NETWORK_LOST and
// the Done and Cancel commands (WM_COMMAND with 32807 or 32804).
//
// The worker never touches the outlines: the run copies what it needs of
// them (URL and name, in walk order) when it is made, and the worker posts
// one CFeedUpdateResult per feed, which the owning thread applies to the
// outline (its icon status) and hands to the view.
//
// With a sync account set up, the feeds of its folder are not downloaded:
// the worker syncs the account with its server first (CAccountSync), while
// the other feeds download ahead, and each of those feeds takes its result
// from the sync. Update All syncs the account even when its folder is not
// there yet; feeds the server has and the tree not yet are counted and
// reported after the tree's own (the tree brings them in after the run).
#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/FileLock.h"
#include "platform/WindowMessages.h"
#include "subscriptions/OpmlDoc.h"
#include "update/AccountSync.h"
#include "update/FeedDownloads.h"
#include "update/FeedManager.h"
#include "update/FeedUpdateResult.h"
#include "update/HostWaits.h"
#include "update/HttpDownload.h"
#include "update/UpdateRunView.h"

// Any address that leads to the Internet destination will do.
inline constexpr wchar_t kConnectionProbeUrl[] = L"http://www.example.com/";
// Each run downloads into files of its own, "temp-<process>-<run>-<n>.xml"
// (n: the feed's place in the list) in the DefaultDir folder: two runs, and
// two downloads of one run, never share one.
inline constexpr wchar_t kDownloadFilePrefix[] = L"temp";
// Held by a run for its whole length: a second run of the same data folder,
// in this process or another, is refused.
inline constexpr wchar_t kUpdateLockFileName[] = L"update.lock";
// At the end of a run the worker indexes up to this many new pages for Find.
inline constexpr DWORD kPagesIndexedAfterRun = 5000;

class CUpdateRun {
public:
    // feeds: the outlines to update (folders are walked into); they must
    // outlive the run. automatic: started by the timer, at start-up or after
    // a synchronisation. updateAll: started by "Update All".
    CUpdateRun(IUpdateRunView& view, std::vector<COutline*> feeds, bool automatic, bool updateAll);
    // Stops a run still going and waits for its worker.
    ~CUpdateRun();
    CUpdateRun(const CUpdateRun&) = delete;
    CUpdateRun& operator=(const CUpdateRun&) = delete;

    // The dialog's start: connects, then starts the worker. False when the
    // dialog has already been ended (no connection, or no thread).
    bool Start();
    // Stops the run; nothing once it is stopped or finished.
    void Cancel();
    // The network is gone: the run stops as disconnected.
    void OnNetworkLost();

    HWND GetWindow() const { return m_hWnd; }
    bool IsFinished() const { return m_bFinished; } // the end text is shown
    bool HasEnded() const { return m_nResult != 0; }
    int GetResult() const { return m_nResult; }

    // One result per feed of the list, in walk order, once the run has
    // finished (feeds the run did not reach are "skipped").
    const std::vector<CFeedUpdateResult>& GetFeedResults() const { return m_results; }
    // Another run held the data folder: this one did not start.
    bool WasRefusedAsBusy() const { return m_bRefusedAsBusy; }

    int GetTotalFeeds() const { return m_nTotalFeeds; }
    int GetUpdatedFeeds() const { return m_nUpdatedFeeds; }
    int GetFailedFeeds() const { return m_nFailedFeeds; }
    int GetTotalNewPages() const { return m_nTotalNewPages; }
    bool IsStopped() const { return m_bStopped; }
    // The worker found no connection, or the network went away meanwhile.
    bool IsDisconnected() const { return m_bDisconnected || m_bNetworkLost; }

    // Each feed's download may wait this long for the network at each step.
    void SetFeedTimeout(DWORD milliseconds) { m_dwFeedTimeout = milliseconds; }
    // The slow-transfer rule and the overall cap of each feed's download.
    void SetTransferLimits(DWORD lowSpeedBytesPerSecond, DWORD lowSpeedSeconds, DWORD totalMs)
    {
        m_transferLimits = {lowSpeedBytesPerSecond, lowSpeedSeconds, totalMs};
    }
    // The run's download files are named after this path (see above).
    const std::wstring& GetDownloadPath() const { return m_strDownloadPath; }
    // HTTP requests the run has sent, redirects included, the sync's too.
    int GetRequestCount() const { return m_downloads.RequestCount() + m_syncResult.requests; }
    // Whether the run synced the account, and how that went (once finished).
    bool SyncedAccount() const { return m_bSyncAccount; }
    const CAccountSyncResult& GetSyncResult() const { return m_syncResult; }

private:
    // A feed of the list as the worker sees it: values only.
    struct CFeedToUpdate {
        COutline* outline; // the owning thread's; the worker never follows it
        std::wstring url;
        std::wstring name;
        bool fromAccount = false; // synced, not downloaded
    };
    struct CTransferLimits {
        DWORD lowSpeedBytes = kLowSpeedBytesPerSecond;
        DWORD lowSpeedSeconds = kLowSpeedSeconds;
        DWORD totalMs = kDownloadTotalCapMs;
    };

    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnDownloadProgress();
    void OnFeedResult();
    void OnUpdateDone();
    void EndDialog(int result);

    // The worker.
    void UpdateFeeds();
    std::vector<CFeedValidators> StartDownloads();
    void UpdateFeed(size_t index, const CFeedValidators& sent);
    void IndexNewPages();
    // The account's part (UpdateRunAccount.cpp).
    void SyncAccount();
    void UpdateAccountFeed(size_t index, const std::wstring& url, const std::wstring& name);
    void ShowFailureBox(const CFeedUpdateResult& result);
    // The worker's message box, sent to the dialog (the worker waits).
    void ShowMessageBox(const std::wstring& text);
    void PostStatus(const std::wstring& text);
    void PostProgress(double position, double shareEnd);
    void PostResult(size_t index, CFeedUpdateResult result);

    IUpdateRunView& m_view;
    std::vector<CFeedToUpdate> m_feeds; // every feed of the list, in walk order
    const bool m_bAutomatic;
    const bool m_bUpdateAll;
    DWORD m_dwFeedTimeout = kFeedDownloadTimeoutMs;
    CTransferLimits m_transferLimits;
    CCleanupLimits m_limits;
    std::wstring m_strDownloadPath;
    std::string m_strUserAgent;
    std::string m_strProxy;
    CFileLock m_runLock;
    bool m_bRefusedAsBusy = false;

    // Written under m_lock by the dialog's thread, read by the worker between
    // feeds.
    std::atomic<bool> m_bRunning{true};
    std::atomic<bool> m_bStopped{false};
    std::atomic<bool> m_bDisconnected{false}; // the worker's own finding, feed by feed
    // The network went away: told by the frame, never taken back by a later
    // connection the worker still gets.
    std::atomic<bool> m_bNetworkLost{false};
    std::mutex m_lock;

    std::atomic<int> m_nTotalFeeds{0};
    std::atomic<int> m_nUpdatedFeeds{0};
    std::atomic<int> m_nFailedFeeds{0};
    std::atomic<int> m_nTotalNewPages{0};
    std::atomic<double> m_dProgressStep{0};

    // The dialog's thread only.
    int m_nProgressPos = 0;
    int m_nShareEnd = 0; // where download progress stops: the end of the walked feed's share
    bool m_bWaitCursor = false;
    bool m_bFinished = false;
    int m_nResult = 0;

    std::mutex m_textLock;
    std::deque<std::wstring> m_pendingTexts; // status texts on their way to the dialog
    std::deque<std::pair<size_t, CFeedUpdateResult>> m_pendingResults; // and per-feed results
    std::wstring m_strMessageBox;            // the worker's message box, sent
    std::vector<CFeedUpdateResult> m_results; // the owning thread's

    // The account's sync: made by Start, run by the worker, stopped by Cancel.
    std::optional<CSyncAccount> m_syncAccount;
    bool m_bSyncAccount = false;
    std::unique_ptr<CAccountSync> m_pSync;
    CAccountSyncResult m_syncResult;          // the worker's until the run has finished
    std::vector<CAccountFeedResult> m_syncNew; // the worker's: server feeds the list lacks

    CFeedDownloads m_downloads; // started and stopped by the worker
    CHostWaits m_hostWaits; // the worker's
    std::thread m_worker;
    HWND m_hWnd;
};

// The end text of a run: the "updated" or the "stopped" text with the
// numbers filled in.
std::wstring FormatUpdateResult(bool allUpdated, int updatedFeeds, int totalFeeds, int totalNewPages);
