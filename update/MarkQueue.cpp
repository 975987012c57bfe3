#include "update/MarkQueue.h"

#include <set>

#include "platform/Unicode.h"
#include "store/FeedDatabase.h"
#include "store/ItemDatabase.h"
#include "update/FeedManager.h"

namespace {

CSyncError StoreFailure() { return {CSyncFailure::StoreError, 0, WideToUtf8(DescribeStoreError(GetLastError()))}; }

} // namespace

void SetPageStateFromServer(std::uint32_t feedId, const std::wstring& key, bool unread)
{
    CZelviaRssItemDB& items = CZelviaRssItemDB::Instance();
    const PageState state = unread ? PageStateUnread : PageStateRead;
    const CEOID oid = items.FindPage(key, feedId);
    PageRecord page;
    if (!oid || !items.Read(page, oid) || page.state == PageStateDeleted || page.state == state)
        return;
    page.state = state;
    items.WritePage(page, oid);
}

bool PrepareMarks(CMarkBatch& batch, CSyncError& error)
{
    CSyncStore store;
    CSyncState state;
    if (!store.ReadQueue(batch.marks) || !store.ReadState(state)) {
        error = StoreFailure();
        return false;
    }
    batch.lastSync = state.lastSync;
    for (const CQueuedMark& mark : batch.marks) {
        if (std::optional<CSyncArticle> known = store.FindArticle(mark.articleId))
            batch.known[mark.articleId] = *known;
    }
    return true;
}

bool SendMarks(CTtRssApi& api, CMarkBatch& batch, std::uint64_t now, CSyncError& error)
{
    if (batch.marks.empty())
        return true;
    std::vector<int> ids;
    for (const CQueuedMark& mark : batch.marks)
        ids.push_back(static_cast<int>(mark.articleId));
    const auto onServer = api.GetArticles(ids, error);
    if (!onServer)
        return false;
    std::map<int, bool> serverUnread;
    for (const CServerArticle& article : *onServer)
        serverUnread[article.id] = article.unread;

    const std::uint64_t serverChangedAt =
        batch.lastSync != 0 && now > batch.lastSync ? batch.lastSync + (now - batch.lastSync) / 2 : 0;
    std::vector<int> toRead;
    std::vector<int> toUnread;
    for (const CQueuedMark& mark : batch.marks) {
        const auto server = serverUnread.find(static_cast<int>(mark.articleId));
        if (server == serverUnread.end())
            continue; // the server has dropped the article: nothing to tell it
        const auto known = batch.known.find(mark.articleId);
        const bool serverChanged = known != batch.known.end() && known->second.serverUnread != server->second;
        if (serverChanged && mark.madeAt < serverChangedAt) {
            CSyncArticle article = known->second;
            article.serverUnread = server->second;
            batch.overruled.push_back(article);
            continue;
        }
        (mark.unread ? toUnread : toRead).push_back(server->first);
        if (known != batch.known.end()) {
            CSyncArticle article = known->second;
            article.serverUnread = mark.unread;
            batch.sent.push_back(article);
        }
    }
    if (!api.SetUnread(toRead, false, error) || !api.SetUnread(toUnread, true, error))
        return false;
    batch.sentCount = static_cast<int>(toRead.size() + toUnread.size());
    return true;
}

bool ApplyMarks(const CMarkBatch& batch, CMarkSendResult& result)
{
    CSyncStore store;
    CZelviaRssItemDB& items = CZelviaRssItemDB::Instance();
    {
        CRecordDatabase::CWriteGroup group(items);
        store.RemoveQueued(batch.marks);
        for (const CSyncArticle& article : batch.sent)
            store.WriteArticle(article);
        for (const CSyncArticle& article : batch.overruled) {
            store.WriteArticle(article);
            SetPageStateFromServer(article.feedId, article.key, article.serverUnread);
        }
        if (!group.Commit()) {
            result.error = StoreFailure();
            return false;
        }
    }
    // The feeds whose pages took the server's state are counted again.
    std::set<std::uint32_t> recount;
    for (const CSyncArticle& article : batch.overruled)
        recount.insert(article.feedId);
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    for (std::uint32_t feedId : recount) {
        FeedRecord record;
        if (const CEOID oid = feeds.FindFeedById(feedId); oid && feeds.ReadFeed(record, oid))
            CRssFeedManager::WriteFeedCounted(record.url, record);
    }
    result.sent = batch.sentCount;
    result.overruled = static_cast<int>(batch.overruled.size());
    store.CountQueue(result.left);
    return true;
}

struct CMarkSender::CJob {
    CSyncAccount account;
    std::string sessionId;
    CMarkBatch batch;
    CSyncError error;
    int requests = 0;
    std::mutex lock;
    CTtRssApi* api = nullptr;
    bool cancelled = false;
    std::atomic<bool> done{false};
};

CMarkSender::~CMarkSender()
{
    if (m_pJob) {
        std::lock_guard guard(m_pJob->lock);
        m_pJob->cancelled = true;
        if (m_pJob->api)
            m_pJob->api->Cancel();
    }
    if (m_worker.joinable())
        m_worker.join();
}

bool CMarkSender::Start(const CSyncAccount& account)
{
    if (IsRunning())
        return false;
    auto job = std::make_shared<CJob>();
    job->account = account;
    CSyncState state;
    CSyncStore().ReadState(state);
    if (state.account == account.Identity())
        job->sessionId = WideToUtf8(state.sessionId);
    if (!PrepareMarks(job->batch, job->error) || job->batch.marks.empty())
        return false;
    m_pJob = job;
    const std::uint64_t now = SyncNow();
    m_worker = std::thread([job, now] {
        const std::optional<std::string> password = SyncAccountPassword(job->account);
        if (!password) {
            job->error = {CSyncFailure::NoPassword, 0, ""};
        } else {
            CTtRssApi api(ApiOptionsOf(job->account, *password, job->sessionId, kSyncStepTimeout));
            {
                std::lock_guard guard(job->lock);
                job->api = &api;
                if (job->cancelled)
                    api.Cancel();
            }
            SendMarks(api, job->batch, now, job->error);
            std::lock_guard guard(job->lock);
            job->api = nullptr;
            job->requests = api.Requests();
        }
        job->done = true;
    });
    return true;
}

bool CMarkSender::Finish(CMarkSendResult* result)
{
    if (!m_pJob || !m_pJob->done)
        return false;
    m_worker.join();
    const std::shared_ptr<CJob> job = std::move(m_pJob);
    CMarkSendResult applied;
    applied.requests = job->requests;
    applied.error = job->error;
    // What did not go out stays queued for the next try.
    if (!job->error)
        ApplyMarks(job->batch, applied);
    else
        CSyncStore().CountQueue(applied.left);
    if (result != nullptr)
        *result = applied;
    return true;
}
