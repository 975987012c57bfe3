#include "update/UpdateRun.h"
#include "update/UpdateRunMessages.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <system_error>

#include "content/FeedParser.h"
#include "content/TextUtil.h"
#include "platform/Debug.h"
#include "platform/FileSystem.h"
#include "platform/Unicode.h"
#include "resources/ResourceModule.h"
#include "store/DataStorage.h"
#include "store/FeedDatabase.h"
#include "store/ItemDatabase.h"
#include "store/RecordDatabase.h"
#include "update/ConnectionManager.h"
#include "update/FeedManager.h"
#include "update/FeedMerge.h"
#include "update/Setting.h"
#include "store/SyncStore.h"

std::wstring FormatUpdateResult(bool allUpdated, int updatedFeeds, int totalFeeds, int totalNewPages)
{
    return FormatText(LoadResString(allUpdated ? IDS_FEEDS_UPDATED : IDS_UPDATE_STOPPED).c_str(), updatedFeeds,
                      totalFeeds, totalNewPages);
}

namespace {

struct CFoundFeed {
    COutline* outline;
    std::wstring name;
    bool inAccountFolder;
};

void CollectFeeds(COutline& outline, const std::optional<CSyncAccount>& account, bool inAccountFolder,
                  std::vector<CFoundFeed>& feeds)
{
    inAccountFolder = inAccountFolder || (account && IsAccountFolderOf(outline, *account));
    if (outline.IsFeed())
        feeds.push_back({&outline, outline.DisplayName(), inAccountFolder});
    for (const auto& child : outline.children)
        CollectFeeds(*child, account, inAccountFolder, feeds);
}

std::wstring UniqueDownloadPath()
{
    static std::atomic<unsigned> s_nextRun{1};
    const std::wstring name = std::wstring(kDownloadFilePrefix) + L"-" + std::to_wstring(::getpid()) + L"-" +
                              std::to_wstring(s_nextRun++) + L".xml";
    return CSetting::Instance().GetDataFilePath(name);
}

} // namespace

const char* OutcomeName(CFeedOutcome outcome)
{
    switch (outcome) {
    case CFeedOutcome::Updated:
        return "updated";
    case CFeedOutcome::Failed:
        return "failed";
    case CFeedOutcome::Skipped:
        break;
    }
    return "skipped";
}

const char* FailureName(CFeedFailure failure)
{
    switch (failure) {
    case CFeedFailure::None:
        return "";
    case CFeedFailure::NoRecord:
        return "no feed record";
    case CFeedFailure::NoConnection:
        return "no connection";
    case CFeedFailure::HttpStatus:
        return "http status";
    case CFeedFailure::Gone:
        return "gone";
    case CFeedFailure::RetryLater:
        return "retry later";
    case CFeedFailure::Timeout:
        return "timeout";
    case CFeedFailure::Incomplete:
        return "incomplete";
    case CFeedFailure::UnexpectedAnswer:
        return "unexpected answer";
    case CFeedFailure::Network:
        return "network error";
    case CFeedFailure::TooLarge:
        return "too large";
    case CFeedFailure::NotAFeed:
        return "not a feed";
    case CFeedFailure::StoreError:
        return "store error";
    case CFeedFailure::Cancelled:
        return "cancelled";
    case CFeedFailure::Sync:
        return "sync failed";
    }
    return "";
}

CUpdateRun::CUpdateRun(IUpdateRunView& view, std::vector<COutline*> feeds, bool automatic, bool updateAll)
    : m_view(view), m_bAutomatic(automatic), m_bUpdateAll(updateAll)
{
    // The worker's copy of the list: every feed, depth first, as the walk
    // meets them. A feed of the account's folder, or one the server had at
    // the last sync (an Update of one of its categories), is synced.
    m_syncAccount = LoadSyncAccount();
    std::set<std::wstring> serverFeeds;
    std::vector<CSyncTreeEntry> serverTree;
    if (m_syncAccount && CSyncStore().ReadTree(serverTree)) {
        for (const CSyncTreeEntry& entry : serverTree)
            serverFeeds.insert(entry.url);
    }
    std::vector<CFoundFeed> found;
    for (COutline* outline : feeds)
        CollectFeeds(*outline, m_syncAccount, false, found);
    for (auto& [outline, name, inAccountFolder] : found) {
        const bool fromAccount = m_syncAccount && (inAccountFolder || serverFeeds.count(outline->xmlUrl) != 0);
        m_bSyncAccount = m_bSyncAccount || fromAccount;
        m_feeds.push_back({outline, outline->xmlUrl, name, fromAccount});
        CFeedUpdateResult& skipped = m_results.emplace_back(); // until the feed's own result comes
        skipped.url = outline->xmlUrl;
        skipped.name = std::move(name);
        skipped.fromAccount = fromAccount;
    }
    m_bSyncAccount = m_syncAccount && (m_bSyncAccount || updateAll);
    // The worker reads no option: what it needs is read here, on the owning
    // thread.
    m_limits = CCleanupLimits::FromSettings();
    m_strDownloadPath = UniqueDownloadPath();
    m_strUserAgent = CHttpDownload::GetUserAgent();
    m_hWnd = CreateMessageWindow(
        [this](HWND, UINT message, WPARAM wParam, LPARAM lParam) { return OnMessage(message, wParam, lParam); });
}

CUpdateRun::~CUpdateRun()
{
    {
        std::lock_guard guard(m_lock);
        m_bRunning = false;
        m_bStopped = true;
        m_downloads.Cancel();
        if (m_pSync)
            m_pSync->Cancel();
    }
    DestroyWindow(m_hWnd); // a worker waiting on a sent message is let go
    if (m_worker.joinable())
        m_worker.join();
}

// ---- The dialog's side -----------------------------------------------------

bool CUpdateRun::Start()
{
    m_view.SetStatusText(LoadResString(IDS_CONNECTING));
    m_view.EnableSoftKeys(false, true);
    // Two runs over one store would fetch and file the same feeds twice over.
    const std::wstring dataFolder = GetDataFolder();
    CreateFolderPath(dataFolder);
    if (!m_runLock.TryLock(JoinPath(dataFolder, kUpdateLockFileName))) {
        m_bRefusedAsBusy = true;
        m_view.ShowErrorBox(LoadResString(IDS_UPDATE_ALREADY_RUNNING), false);
        EndDialog(IDCANCEL);
        return false;
    }
    // A store that could not be opened earlier may open now; if not, every
    // feed fails with the reason.
    CZelviaRssDB::Instance().EnsureOpen();
    CZelviaRssItemDB::Instance().EnsureOpen();
    CConnectionManager& connection = CConnectionManager::Instance();
    if (!connection.Connect(kConnectionProbeUrl)) {
        m_bDisconnected = true;
        m_view.SetStatusText(LoadResString(IDS_CONNECTION_FAILED));
        // The next automatic run waits a full interval.
        if (m_bAutomatic)
            CSetting::Instance().SetLastUpdatedNow();
        m_view.ShowErrorBox(LoadResString(IDS_UNABLE_TO_CONNECT), false);
        EndDialog(IDCANCEL);
        return false;
    }
    m_view.SetStatusText(LoadResString(IDS_CONNECTION_SUCCESSFUL));
    // The worker's first step for an automatic run, taken here so that the
    // worker touches no option.
    if (m_bAutomatic)
        CSetting::Instance().SetLastUpdatedNow();
    m_bDisconnected = false;
    std::wstring proxy;
    ConnMgrGetProxy(connection.GetConnection(), proxy);
    m_strProxy = WideToUtf8(proxy);
    if (m_bSyncAccount && !m_pSync)
        m_pSync = std::make_unique<CAccountSync>(*m_syncAccount, m_limits, std::chrono::milliseconds(m_dwFeedTimeout));
    if (!m_worker.joinable()) {
        try {
            m_worker = std::thread(&CUpdateRun::UpdateFeeds, this);
        } catch (const std::system_error&) {
            EndDialog(ID_CANCEL_UPDATE);
            return false;
        }
    }
    return true;
}

void CUpdateRun::Cancel()
{
    // Once the end text shows, only Done is left: a Cancel then (the Back
    // key) would grey Done and raise a wait cursor nothing takes down.
    if (m_bStopped || m_bFinished)
        return;
    m_bWaitCursor = true;
    m_view.ShowWaitCursor(true);
    m_view.EnableSoftKeys(false, false);
    std::lock_guard guard(m_lock);
    m_bRunning = false;
    m_bStopped = true;
    m_downloads.Cancel();
    if (m_pSync)
        m_pSync->Cancel();
}

void CUpdateRun::OnNetworkLost()
{
    std::lock_guard guard(m_lock);
    if (IsDisconnected() || !m_downloads.IsBusy())
        return;
    m_view.EnableSoftKeys(false, false);
    m_bNetworkLost = true;
    m_bRunning = false;
    m_downloads.Cancel();
    if (m_pSync)
        m_pSync->Cancel();
}

void CUpdateRun::EndDialog(int result)
{
    if (m_nResult != 0)
        return;
    m_nResult = result;
    m_view.EndDialog(result);
}

LRESULT CUpdateRun::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_RUN_STATUS: {
        std::wstring text;
        {
            std::lock_guard guard(m_textLock);
            if (m_pendingTexts.empty())
                break;
            text = std::move(m_pendingTexts.front());
            m_pendingTexts.pop_front();
        }
        m_view.SetStatusText(text);
        break;
    }
    case WM_RUN_PROGRESS_RESET:
        m_view.SetProgressRange(0, kProgressEnd);
        m_nProgressPos = 0;
        m_nShareEnd = 0;
        m_view.SetProgressPos(0);
        break;
    case WM_RUN_PROGRESS:
        m_nProgressPos = static_cast<int>(wParam);
        m_nShareEnd = static_cast<int>(lParam);
        m_view.SetProgressPos(m_nProgressPos);
        break;
    case WM_RUN_FEED_RESULT:
        OnFeedResult();
        break;
    case WM_RUN_MESSAGE_BOX:
        m_view.ShowErrorBox(m_strMessageBox, false);
        break;
    case WM_DOWNLOAD_PROGRESS:
        OnDownloadProgress();
        break;
    case WM_UPDATE_DONE:
        OnUpdateDone();
        break;
    case WM_NETWORK_LOST:
        OnNetworkLost();
        break;
    case WM_COMMAND:
        if (wParam == ID_DONE)
            EndDialog(ID_DONE);
        else if (wParam == ID_CANCEL_UPDATE)
            Cancel();
        break;
    default:
        break;
    }
    return 0;
}

// Each block received moves the bar one step, up to the end of the share of
// the feed the walk is at. Blocks of downloads ahead arrive at any time, so
// the share is the one the dialog has been shown, never the worker's count,
// and the bar never goes back.
void CUpdateRun::OnDownloadProgress()
{
    if (m_nProgressPos >= m_nShareEnd)
        return;
    ++m_nProgressPos;
    m_view.SetProgressPos(m_nProgressPos);
}

void CUpdateRun::OnFeedResult()
{
    std::pair<size_t, CFeedUpdateResult> pending;
    {
        std::lock_guard guard(m_textLock);
        if (m_pendingResults.empty())
            return;
        pending = std::move(m_pendingResults.front());
        m_pendingResults.pop_front();
    }
    auto& [index, result] = pending;
    // Feeds the server brought come after the list's own, with no outline yet.
    if (index >= m_feeds.size()) {
        m_results.push_back(result);
        m_view.OnFeedResult(result);
        return;
    }
    if (result.iconStatus >= 0)
        m_feeds[index].outline->status = result.iconStatus;
    m_results[index] = result;
    m_view.OnFeedResult(result);
}

void CUpdateRun::OnUpdateDone()
{
    m_view.SetProgressPos(kProgressEnd);
    // Later rules override earlier ones.
    bool allUpdated = m_nUpdatedFeeds == m_nTotalFeeds;
    if (m_bUpdateAll)
        allUpdated = true;
    if (m_bStopped)
        allUpdated = false;
    if (IsDisconnected())
        allUpdated = true;
    m_view.SetStatusText(FormatUpdateResult(allUpdated, m_nUpdatedFeeds, m_nTotalFeeds, m_nTotalNewPages));
    m_bFinished = true;
    if (m_bWaitCursor) {
        m_bWaitCursor = false;
        m_view.ShowWaitCursor(false);
    }
    if (IsDisconnected())
        m_view.ShowErrorBox(LoadResString(IDS_DISCONNECTED), true);
    if (m_bAutomatic)
        PostMessage(m_hWnd, WM_COMMAND, ID_DONE, 0);
    else
        m_view.EnableSoftKeys(true, false);
}
