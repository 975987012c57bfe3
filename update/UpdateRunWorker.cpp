// The update run's worker half: the downloads started ahead, the walk over
// the feeds (each merged as its download ends), the search index, and the
// messages and results posted to the dialog's thread.
#include <cmath>

#include "content/TextUtil.h"
#include "platform/Debug.h"
#include "platform/Unicode.h"
#include "resources/ResourceModule.h"
#include "store/FeedDatabase.h"
#include "store/ItemDatabase.h"
#include "update/ConnectionManager.h"
#include "update/FeedManager.h"
#include "update/FeedUpdate.h"
#include "update/Setting.h"
#include "update/UpdateRun.h"
#include "update/UpdateRunMessages.h"



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

    // The feed's record, connection and download, taken here; the update
    // itself is a function of them.
    CFeedUpdateInput input;
    input.url = feed.url;
    input.name = feed.name;
    input.stored = CZelviaRssDB::Instance().LookUpFeed(feed.url);
    input.sent = sent;
    input.limits = m_limits;
    FILETIME notBefore{};
    if (!input.stored.Found()) {
        input.download = m_downloads.Take(index, false); // fetched while the record was there: not wanted now
    } else if (!CConnectionManager::Instance().Connect(feed.url)) {
        m_bDisconnected = true;
        input.connected = false;
        input.download = m_downloads.Take(index, false);
    } else {
        m_bDisconnected = false;
        input.download = m_downloads.Take(index);
        notBefore = m_hostWaits.Note(feed.url, input.download);
        input.cancelled = m_bStopped || IsDisconnected();
    }
    CFeedUpdateResult result = ::UpdateFeed(std::move(input));
    result.notBefore = notBefore;
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
