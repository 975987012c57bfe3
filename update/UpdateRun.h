#pragma once
// One update run: the feeds of a list are fetched one after another on a
// worker thread, their new items merged into the store as unread pages, each
// feed's record refreshed and its pages trimmed. The update dialog hosts the
// run and draws what it shows (IUpdateRunView); everything else is here.
//
// The run belongs to the thread that makes it (the dialog's). That thread
// must pump its window messages: the worker and the download reach the run
// only through its window (GetWindow), which also takes WM_NETWORK_LOST and
// the Done and Cancel commands (WM_COMMAND with 32807 or 32804).
#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/WindowMessages.h"
#include "subscriptions/OpmlDoc.h"
#include "update/HttpDownload.h"
#include "update/UpdateRunView.h"

// Any address that leads to the Internet destination will do.
inline constexpr wchar_t kConnectionProbeUrl[] = L"http://www.example.com/";
inline constexpr wchar_t kDownloadFileName[] = L"temp.xml";

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
    void Cancel();
    // The network is gone: the run stops as disconnected.
    void OnNetworkLost();

    HWND GetWindow() const { return m_hWnd; }
    bool IsFinished() const { return m_bFinished; } // the end text is shown
    bool HasEnded() const { return m_nResult != 0; }
    int GetResult() const { return m_nResult; }

    int GetTotalFeeds() const { return m_nTotalFeeds; }
    int GetUpdatedFeeds() const { return m_nUpdatedFeeds; }
    int GetFailedFeeds() const { return m_nFailedFeeds; }
    int GetTotalNewPages() const { return m_nTotalNewPages; }
    bool IsStopped() const { return m_bStopped; }
    bool IsDisconnected() const { return m_bDisconnected; }

    // Each feed's download may wait this long for the network at each step.
    void SetFeedTimeout(DWORD milliseconds) { m_dwFeedTimeout = milliseconds; }

private:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnDownloadProgress();
    void OnUpdateDone();
    void EndDialog(int result);

    // The worker.
    void UpdateFeeds();
    void UpdateOutlines(const std::vector<COutline*>& outlines);
    void UpdateFeed(COutline& outline);
    bool DownloadFeed(const std::wstring& url, const std::wstring& path, HCONNECTION connection);
    int CountFeeds(const COutline& outline) const;
    void PostStatus(const std::wstring& text);
    void PostProgress(double position);

    IUpdateRunView& m_view;
    std::vector<COutline*> m_feeds;
    const bool m_bAutomatic;
    const bool m_bUpdateAll;
    DWORD m_dwFeedTimeout = kFeedDownloadTimeoutMs;

    // Written under m_lock by the dialog's thread, read by the worker between
    // feeds.
    std::atomic<bool> m_bRunning{true};
    std::atomic<bool> m_bStopped{false};
    std::atomic<bool> m_bDisconnected{false};
    std::mutex m_lock;

    std::atomic<int> m_nTotalFeeds{0};
    std::atomic<int> m_nUpdatedFeeds{0};
    std::atomic<int> m_nFailedFeeds{0};
    std::atomic<int> m_nTotalNewPages{0};
    std::atomic<double> m_dProgressStep{0};

    // The dialog's thread only.
    int m_nProgressPos = 0;
    bool m_bWaitCursor = false;
    bool m_bFinished = false;
    int m_nResult = 0;

    std::mutex m_textLock;
    std::deque<std::wstring> m_pendingTexts; // status texts on their way to the dialog
    std::wstring m_strMessageBox;            // the worker's message box, sent

    CHttpDownload m_download;
    std::thread m_worker;
    HWND m_hWnd;
};

// The end text of a run: the "updated" or the "stopped" text with the
// numbers filled in.
std::wstring FormatUpdateResult(bool allUpdated, int updatedFeeds, int totalFeeds, int totalNewPages);
