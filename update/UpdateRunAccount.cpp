// The update run's part for the sync account: the worker syncs the account
// before it walks the feeds, and each feed of the account takes its result
// from that sync (or the sync's failure).
#include <algorithm>
#include <cmath>
#include <set>

#include "content/TextUtil.h"
#include "resources/ResourceModule.h"
#include "update/UpdateRun.h"

void CUpdateRun::SyncAccount()
{
    PostStatus(FormatText(LoadResString(IDS_SYNC_RUNNING).c_str(), m_syncAccount->FolderName().c_str()));
    m_syncResult = m_pSync->Run();
    // Why the account's feeds did not update is told once, for them all; an
    // automatic run and a stopped one tell nothing.
    if (m_syncResult.error && m_syncResult.error.failure != CSyncFailure::Cancelled && !m_bAutomatic && !m_bStopped) {
        ShowMessageBox(SyncFailureText(m_syncResult.error));
    }
    if (m_syncResult.error)
        return;
    std::set<std::wstring> listed;
    for (const CFeedToUpdate& feed : m_feeds)
        listed.insert(feed.url);
    for (const CAccountFeedResult& feed : m_syncResult.feeds) {
        if (listed.count(feed.url) == 0 && m_bUpdateAll)
            m_syncNew.push_back(feed);
    }
}

// A feed of the account: what the sync brought it, or why the sync failed.
void CUpdateRun::UpdateAccountFeed(size_t index, const std::wstring& url, const std::wstring& name)
{
    if (!m_bRunning || m_bStopped)
        return;
    const int done = m_nUpdatedFeeds + m_nFailedFeeds;
    PostStatus(FormatText(LoadResString(IDS_FEED_UPDATING).c_str(), done + 1, m_nTotalFeeds.load(), name.c_str()));
    if (!IsDisconnected() && !m_bStopped)
        PostProgress(std::floor(done * m_dProgressStep), (done + 1) * m_dProgressStep);
    CFeedUpdateResult result;
    result.url = url;
    result.name = name;
    result.fromAccount = true;
    const auto found = std::find_if(m_syncResult.feeds.begin(), m_syncResult.feeds.end(),
                                    [&](const CAccountFeedResult& feed) { return feed.url == url; });
    if (m_syncResult.error) {
        result.outcome = CFeedOutcome::Failed;
        result.failure = CFeedFailure::Sync;
        result.syncError = m_syncResult.error;
        ++m_nFailedFeeds;
    } else {
        // A feed the server no longer has leaves the tree after the run.
        result.outcome = CFeedOutcome::Updated;
        result.iconStatus = kOutlineStatusUpdated;
        if (found != m_syncResult.feeds.end()) {
            result.newPages = found->newPages;
            result.pageCount = found->pageCount;
            result.unreadCount = found->unreadCount;
        }
        ++m_nUpdatedFeeds;
        m_nTotalNewPages += result.newPages;
    }
    PostResult(index, std::move(result));
}
