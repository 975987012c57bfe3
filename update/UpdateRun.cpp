#include "update/UpdateRun.h"

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

namespace {

// From the worker to the dialog.
constexpr UINT WM_RUN_STATUS = WM_USER + 20;         // the next pending status text
constexpr UINT WM_RUN_PROGRESS = WM_USER + 21;       // wParam = bar position, lParam = the end of the feed's share
constexpr UINT WM_RUN_PROGRESS_RESET = WM_USER + 22; // range 0 to 100, position 0
constexpr UINT WM_RUN_MESSAGE_BOX = WM_USER + 23;    // sent: show the worker's message box
constexpr UINT WM_RUN_FEED_RESULT = WM_USER + 24;    // the next pending per-feed result

constexpr int kProgressEnd = 100;

} // namespace

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

void MarkFeedFailed(const std::wstring& url)
{
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    FeedRecord fresh;
    const CEOID oid = feeds.FindFeedByUrl(url);
    if (oid && feeds.ReadFeed(fresh, oid) && fresh.updateStatus != kFeedStatusFailed) {
        fresh.updateStatus = kFeedStatusFailed;
        feeds.WriteFeed(fresh, oid);
    }
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

// ---- The worker ----------------------------------------------------------------

void CUpdateRun::PostStatus(const std::wstring& text)
{
    {
        std::lock_guard guard(m_textLock);
        m_pendingTexts.push_back(text);
    }
    PostMessage(m_hWnd, WM_RUN_STATUS, 0, 0);
}

void CUpdateRun::PostProgress(double position, double shareEnd)
{
    PostMessage(m_hWnd, WM_RUN_PROGRESS, static_cast<WPARAM>(std::max(0.0, position)),
                static_cast<LPARAM>(std::max(0.0, shareEnd)));
}

void CUpdateRun::PostResult(size_t index, CFeedUpdateResult result)
{
    {
        std::lock_guard guard(m_textLock);
        m_pendingResults.emplace_back(index, std::move(result));
    }
    PostMessage(m_hWnd, WM_RUN_FEED_RESULT, 0, 0);
}

// The worker's first step: what each feed's download needs from the store,
// then the downloads, ahead of the walk. A feed without a record is not
// fetched (it fails without a request). Returns the validators sent, in
// list order.
std::vector<CFeedValidators> CUpdateRun::StartDownloads()
{
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    std::vector<CFeedToFetch> plan(m_feeds.size());
    std::vector<CFeedValidators> sent(m_feeds.size());
    for (size_t index = 0; index < m_feeds.size(); ++index) {
        plan[index].url = m_feeds[index].url;
        FeedRecord record;
        const CEOID oid = m_feeds[index].fromAccount ? 0 : feeds.FindFeedByUrl(m_feeds[index].url);
        plan[index].fetch = oid && feeds.ReadFeed(record, oid);
        // A feed without pages asks for the whole document: a 304 would
        // leave it empty (after its pages were lost with a damaged store,
        // say) until the document changes.
        if (plan[index].fetch && record.pageCount > 0 &&
            feeds.ReadValidators(m_feeds[index].url, record.feedId, sent[index]))
            plan[index].validators = sent[index];
    }
    CFeedDownloadSettings settings;
    std::vector<std::wstring> urls;
    for (const CFeedToUpdate& feed : m_feeds)
        urls.push_back(feed.url);
    settings.hostsLeftAlone = m_hostWaits.Read(urls, m_bAutomatic);
    settings.pathBase = m_strDownloadPath;
    settings.userAgent = m_strUserAgent;
    settings.proxy = m_strProxy;
    settings.stepTimeoutMs = m_dwFeedTimeout;
    settings.lowSpeedBytes = m_transferLimits.lowSpeedBytes;
    settings.lowSpeedSeconds = m_transferLimits.lowSpeedSeconds;
    settings.totalMs = m_transferLimits.totalMs;
    settings.sizeLimit = kFeedSizeLimit;
    settings.notifyWindow = m_hWnd;
    {
        // Cancel and network loss reach the downloads under the lock; a run
        // stopped before this point starts none.
        std::lock_guard guard(m_lock);
        if (!m_bRunning)
            m_downloads.Cancel();
        m_downloads.Start(std::move(plan), std::move(settings));
    }
    return sent;
}

void CUpdateRun::UpdateFeeds()
{
    PostStatus(LoadResString(IDS_CONNECTING));
    m_nUpdatedFeeds = 0;
    m_nTotalNewPages = 0;
    m_nFailedFeeds = 0;
    const std::vector<CFeedValidators> sent = StartDownloads();
    // The account's server first, while the other feeds download ahead.
    if (m_pSync)
        SyncAccount();
    const int total = static_cast<int>(m_feeds.size() + m_syncNew.size());
    m_nTotalFeeds = total;
    PostMessage(m_hWnd, WM_RUN_PROGRESS_RESET, 0, 0);
    // A list without feeds has no shares to hand out.
    m_dProgressStep = total > 0 ? double(kProgressEnd) / total : double(kProgressEnd);
    for (size_t index = 0; index < m_feeds.size(); ++index) {
        if (m_feeds[index].fromAccount)
            UpdateAccountFeed(index, m_feeds[index].url, m_feeds[index].name);
        else
            UpdateFeed(index, sent[index]);
        std::this_thread::yield();
        if (!m_bRunning)
            break;
    }
    for (size_t extra = 0; extra < m_syncNew.size() && m_bRunning; ++extra)
        UpdateAccountFeed(m_feeds.size() + extra, m_syncNew[extra].url, m_syncNew[extra].title);
    // Downloads the walk did not reach end here, with their files.
    m_downloads.Stop();
    IndexNewPages();
    PostMessage(m_hWnd, WM_UPDATE_DONE, 0, 0);
}

void CUpdateRun::IndexNewPages()
{
    // The words of the pages just stored go into the search index here, off
    // the GUI thread, rather than at the next Find. A store of many pages
    // seen for the first time is indexed a share at a time, run by run.
    DWORD remaining = 0;
    if (!m_bStopped && !CZelviaRssItemDB::Instance().IndexQueuedPages(kPagesIndexedAfterRun, remaining))
        DebugLogF("CUpdateRun::IndexNewPages", "the search index was not brought up to date (%u)", GetLastError());
}

void CUpdateRun::UpdateFeed(size_t index, const CFeedValidators& sent)
{
    if (!m_bRunning || m_bStopped)
        return;
    const CFeedToUpdate& feed = m_feeds[index];
    const int done = m_nUpdatedFeeds + m_nFailedFeeds;
    PostStatus(FormatText(LoadResString(IDS_FEED_UPDATING).c_str(), done + 1, m_nTotalFeeds.load(), feed.name.c_str()));
    if (!IsDisconnected() && !m_bStopped)
        PostProgress(std::floor(done * m_dProgressStep), (done + 1) * m_dProgressStep);

    CFeedUpdateResult result;
    result.url = feed.url;
    result.name = feed.name;
    result.outcome = CFeedOutcome::Failed;
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    FeedRecord record;
    const CEOID feedOid = feeds.FindFeedByUrl(feed.url);
    const bool haveRecord = feedOid && feeds.ReadFeed(record, feedOid);
    CFeedDownload download;
    std::unique_ptr<CRssChannel> channel;
    CPageMergeResult merged;
    if (!haveRecord) {
        const DWORD error = feeds.IsOpen() ? GetLastError() : feeds.GetOpenError();
        const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_ITEMS;
        result.failure = missing ? CFeedFailure::NoRecord : CFeedFailure::StoreError;
        result.storeError = missing ? ERROR_SUCCESS : error;
        download = m_downloads.Take(index, false); // fetched while the record was there: not wanted now
    } else {
        CConnectionManager& connection = CConnectionManager::Instance();
        if (!connection.Connect(feed.url)) {
            m_bDisconnected = true;
            result.failure = CFeedFailure::NoConnection;
            download = m_downloads.Take(index, false);
        } else {
            m_bDisconnected = false;
            download = m_downloads.Take(index);
            result.httpStatus = download.httpStatus;
            result.movedTo = download.movedTo;
            result.requests = download.requests;
            result.notBefore = m_hostWaits.Note(feed.url, download);
            if (download.end == CDownloadEnd::Failed) {
                result.failure = m_bStopped || IsDisconnected() ? CFeedFailure::Cancelled : download.failure;
                result.iconStatus = kOutlineStatusFailed;
            } else if (download.end == CDownloadEnd::NotModified && sent.Empty()) {
                // Nothing was asked that a 304 could answer: no stored
                // document stands behind it.
                result.failure = CFeedFailure::UnexpectedAnswer;
                result.iconStatus = kOutlineStatusFailed;
            } else if (download.end == CDownloadEnd::NotModified) {
                result.notModified = true;
            } else if (!(channel = ParseFeedFile(download.path, static_cast<size_t>(m_limits.pageLimit),
                                                 download.documentUrl.empty() ? feed.url : download.documentUrl))) {
                // A login page or a portal in place of the feed fails it
                // like any other failure, icon included.
                result.failure = download.sizeLimitReached ? CFeedFailure::TooLarge : CFeedFailure::NotAFeed;
                result.iconStatus = kOutlineStatusFailed;
                // The next request must fetch the document whole: a 304 would
                // keep this one standing.
                if (!sent.Empty())
                    feeds.WriteValidators(feed.url, record.feedId, {});
            } else {
                merged = MergeChannelPages(*channel, record.feedId, m_limits.pageLimit);
                if (!merged.stored) {
                    result.failure = CFeedFailure::StoreError;
                    result.storeError = merged.error;
                    result.iconStatus = kOutlineStatusFailed;
                }
            }
        }
    }
    if (!download.path.empty())
        DeleteFile(download.path);
    // The clean-up runs for every feed, updated or not. A feed whose pages
    // could not be stored is not recorded as updated.
    COutline outline;
    outline.title = feed.name;
    outline.xmlUrl = feed.url;
    outline.kind = OutlineKindFeed;
    const bool parsed = channel && merged.stored;
    const CFeedMergeResult finished =
        result.notModified ? FinishUnchangedFeed(outline, record, m_limits)
                           : FinishFeedUpdate(outline, record, parsed ? channel.get() : nullptr, merged.written, m_limits);
    if ((parsed || result.notModified) && !finished.recordWritten) {
        result.failure = CFeedFailure::StoreError;
        result.storeError = finished.error;
        result.iconStatus = kOutlineStatusFailed;
    } else if (parsed || result.notModified) {
        result.outcome = CFeedOutcome::Updated;
        result.newPages = finished.newPages;
        result.pageCount = record.pageCount;
        result.unreadCount = record.unreadCount;
        result.iconStatus = kOutlineStatusUpdated;
        // Kept only once the pages and the record have landed: validators
        // stored for a document whose pages were not would make the next
        // run skip them. A 304 without validators keeps the ones sent.
        const bool fresh = !(result.notModified && download.validators.Empty());
        if (fresh && download.validators != sent)
            feeds.WriteValidators(feed.url, record.feedId, download.validators);
    }
    // The tree's labels come from the record: a feed whose download failed
    // keeps the failed status there until it updates again, or the failure
    // would vanish at the next refresh. A download the user stopped is no
    // failure of the feed.
    if (haveRecord && result.iconStatus == kOutlineStatusFailed && result.failure != CFeedFailure::Cancelled)
        MarkFeedFailed(feed.url);
    if (result.outcome == CFeedOutcome::Updated) {
        ++m_nUpdatedFeeds;
        m_nTotalNewPages += result.newPages;
    } else {
        ++m_nFailedFeeds;
        ShowFailureBox(result);
    }
    PostResult(index, std::move(result));
}

void CUpdateRun::ShowMessageBox(const std::wstring& text)
{
    m_strMessageBox = text;
    SendMessage(m_hWnd, WM_RUN_MESSAGE_BOX, 0, 0);
}

// A single feed updated by hand that fails is worth a message box: the
// store's trouble in words, the time its server asked to be left alone
// until, or the URL it could not use. A feed cut off by a lost network is
// not the URL's fault: the disconnected box follows instead.
void CUpdateRun::ShowFailureBox(const CFeedUpdateResult& result)
{
    if (m_bUpdateAll || m_bAutomatic || m_bStopped || IsDisconnected() || m_nTotalFeeds != 1)
        return;
    if (result.failure == CFeedFailure::StoreError)
        m_strMessageBox =
            FormatText(LoadResString(IDS_STORE_NOT_WRITTEN).c_str(), DescribeStoreError(result.storeError).c_str());
    else if (result.failure == CFeedFailure::RetryLater && result.notBefore.Ticks() != 0)
        m_strMessageBox = FormatText(LoadResString(IDS_RETRY_LATER_UNTIL).c_str(),
                                     FormatNotBefore(result.notBefore).c_str(), result.url.c_str());
    else if (result.failure == CFeedFailure::RetryLater)
        m_strMessageBox = FormatText(LoadResString(IDS_RETRY_LATER).c_str(), result.url.c_str());
    else
        m_strMessageBox = FormatText(LoadResString(IDS_UNSUPPORTED_URL).c_str(), result.url.c_str());
    SendMessage(m_hWnd, WM_RUN_MESSAGE_BOX, 0, 0);
}
