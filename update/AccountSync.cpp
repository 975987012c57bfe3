#include "update/AccountSync.h"

#include <algorithm>
#include <map>
#include <set>

#include "platform/Debug.h"
#include "platform/Unicode.h"
#include "store/FeedDatabase.h"
#include "store/ItemDatabase.h"
#include "store/SyncStore.h"
#include "update/FeedMerge.h"
#include "update/MarkQueue.h"

namespace {

// The server's own view of the articles read lately (within a day), newest
// read first.
constexpr int kRecentlyReadFeed = -6;

// The page key of an article: its link, else its id.
std::wstring PageKeyOfArticle(const CServerArticle& article)
{
    return article.link.empty() ? std::to_wstring(article.id) : article.link;
}

// Unix seconds as the local date a page carries.
CDateTime DateOfUnixTime(std::int64_t seconds)
{
    if (seconds <= 0)
        return CDateTime::MakeNull();
    const std::int64_t days = seconds / 86400;
    CSystemTime utc;
    SetSystemTimeFromDays(utc, days, (seconds - days * 86400) * 1000);
    CSystemTime local;
    if (!UtcToLocalTime(utc, local))
        return CDateTime::MakeInvalid();
    return CDateTime::FromSystemTime(local);
}

PageState StateOf(bool unread) { return unread ? PageStateUnread : PageStateRead; }

} // namespace

// What the network part of a sync gathered, before anything is stored.
struct CAccountSync::CPlan {
    struct CFeedPlan {
        FeedRecord record;           // the stored record; none yet when isNew
        bool isNew = false;          // no record here before this sync
        bool listed = false;         // the server listed every article of it
        std::map<int, bool> listing; // article id -> unread on the server
        int newPages = 0;
        bool changed = false; // a page state changed
    };
    CSyncState state;
    bool freshAccount = false; // the stored state belongs to no account or another one
    std::vector<CServerCategory> categories;
    std::vector<CServerFeed> feeds;
    std::vector<CFeedPlan> perFeed; // parallel to feeds
    std::map<int, CServerArticle> fresh; // articles to store as pages, by id
    std::uint32_t highestId = 0;
};

CAccountSync::CAccountSync(CSyncAccount account, CCleanupLimits limits, std::chrono::milliseconds stepTimeout)
    : m_account(std::move(account)), m_limits(limits), m_stepTimeout(stepTimeout)
{
}

CAccountSync::~CAccountSync() = default;

void CAccountSync::Cancel()
{
    std::lock_guard guard(m_lock);
    m_bCancelled = true;
    if (m_pApi)
        m_pApi->Cancel();
}

bool CAccountSync::Connect(CSyncError& error)
{
    const std::optional<std::string> password = SyncAccountPassword(m_account);
    if (!password) {
        error = {CSyncFailure::NoPassword, 0, WideToUtf8(SecretPlaceName(m_account.passwordPlace))};
        return false;
    }
    CSyncStore store;
    CSyncState state;
    if (!store.IsOpen() || !store.ReadState(state)) {
        error = {CSyncFailure::StoreError, 0, WideToUtf8(DescribeStoreError(GetLastError()))};
        return false;
    }
    const std::string session = state.account == m_account.Identity() ? WideToUtf8(state.sessionId) : "";
    std::lock_guard guard(m_lock);
    m_pApi = std::make_unique<CTtRssApi>(ApiOptionsOf(m_account, *password, session, m_stepTimeout));
    if (m_bCancelled) {
        m_pApi->Cancel();
        error = {CSyncFailure::Cancelled, 0, ""};
        return false;
    }
    return true;
}

bool CAccountSync::PushMarks(CMarkSendResult& result)
{
    CMarkBatch batch;
    if (!PrepareMarks(batch, result.error))
        return false;
    result.left = static_cast<int>(batch.marks.size());
    return batch.marks.empty() ||
           (::SendMarks(*m_pApi, batch, SyncNow(), result.error) && ApplyMarks(batch, result));
}

bool CAccountSync::ListFeed(CPlan& plan, size_t feed, bool withContent, CSyncError& error)
{
    CPlan::CFeedPlan& feedPlan = plan.perFeed[feed];
    const int serverId = plan.feeds[feed].id;
    for (int skip = 0;; skip += kHeadlinesPerCall) {
        const auto page = m_pApi->GetHeadlines(serverId, 0, skip, kHeadlinesPerCall, withContent, error);
        if (!page)
            return false;
        for (const CServerArticle& article : *page) {
            feedPlan.listing[article.id] = article.unread;
            if (withContent)
                plan.fresh.emplace(article.id, article);
        }
        if (static_cast<int>(page->size()) < kHeadlinesPerCall)
            break;
    }
    feedPlan.listed = true;
    if (withContent || feedPlan.isNew)
        return true;
    // Articles the server has and this feed lacks (missed while the server
    // was in the middle of an update, or lost here): fetched whole.
    CSyncStore store;
    std::vector<int> missing;
    for (const auto& [id, unread] : feedPlan.listing) {
        if (plan.fresh.count(id) != 0)
            continue;
        const std::optional<CSyncArticle> tracked = store.FindArticle(static_cast<std::uint32_t>(id));
        if (!tracked || tracked->feedId != feedPlan.record.feedId)
            missing.push_back(id);
    }
    if (missing.empty())
        return true;
    const auto articles = m_pApi->GetArticles(missing, error);
    if (!articles)
        return false;
    for (const CServerArticle& article : *articles)
        plan.fresh.emplace(article.id, article);
    return true;
}

bool CAccountSync::Fetch(CPlan& plan, CSyncError& error)
{
    CSyncStore store;
    store.ReadState(plan.state);
    plan.freshAccount = plan.state.account != m_account.Identity();
    if (plan.freshAccount)
        plan.state = {};
    plan.highestId = plan.state.lastArticleId;

    // The server's tree, the first headlines newer than the last sync and
    // the articles it marked read lately are asked for at once: the server
    // answers them side by side.
    const int since = static_cast<int>(plan.state.lastArticleId);
    std::vector<std::pair<std::string, nlohmann::json>> calls = {
        {"getCategories", {{"include_empty", true}}},
        {"getFeeds", {{"cat_id", -3}}},
        CTtRssApi::HeadlinesCall(-4, since, 0, kHeadlinesPerCall, true)};
    if (!plan.freshAccount)
        calls.push_back(CTtRssApi::HeadlinesCall(kRecentlyReadFeed, 0, 0, kHeadlinesPerCall, false));
    const std::vector<std::optional<nlohmann::json>> answers = m_pApi->CallAll(std::move(calls), error);
    auto categories = CTtRssApi::CategoriesOf(answers[0], error);
    auto feeds = CTtRssApi::FeedsOf(answers[1], error);
    auto headlines = CTtRssApi::HeadlinesOf(answers[2], true, error);
    const auto recent = plan.freshAccount ? std::optional<std::vector<CServerArticle>>(std::in_place)
                                          : CTtRssApi::HeadlinesOf(answers[3], false, error);
    if (!categories || !feeds || !headlines || !recent)
        return false;
    plan.categories = std::move(*categories);
    plan.feeds = std::move(*feeds);

    // More headlines than one answer holds: the next pages, several at once.
    constexpr int kPagesAtOnce = 4;
    bool more = static_cast<int>(headlines->size()) == kHeadlinesPerCall;
    for (const CServerArticle& article : *headlines)
        plan.fresh.emplace(article.id, article);
    for (int skip = kHeadlinesPerCall; more; skip += kPagesAtOnce * kHeadlinesPerCall) {
        std::vector<std::pair<std::string, nlohmann::json>> pages;
        for (int page = 0; page < kPagesAtOnce; ++page)
            pages.push_back(CTtRssApi::HeadlinesCall(-4, since, skip + page * kHeadlinesPerCall, kHeadlinesPerCall, true));
        const std::vector<std::optional<nlohmann::json>> contents = m_pApi->CallAll(std::move(pages), error);
        for (const std::optional<nlohmann::json>& content : contents) {
            const auto page = CTtRssApi::HeadlinesOf(content, true, error);
            if (!page)
                return false;
            for (const CServerArticle& article : *page)
                plan.fresh.emplace(article.id, article);
            more = static_cast<int>(page->size()) == kHeadlinesPerCall;
        }
    }

    // Articles the server marked read lately: one of them still unread here
    // means the feed changed on the server even when its count did not
    // (an article read there and another marked unread).
    std::set<int> readThere;
    for (const CServerArticle& article : *recent) {
        const std::optional<CSyncArticle> tracked = store.FindArticle(static_cast<std::uint32_t>(article.id));
        if (tracked && tracked->serverUnread && !article.unread)
            readThere.insert(article.feedId);
    }

    CZelviaRssDB& records = CZelviaRssDB::Instance();
    plan.perFeed.resize(plan.feeds.size());
    for (size_t index = 0; index < plan.feeds.size(); ++index) {
        const CServerFeed& feed = plan.feeds[index];
        CPlan::CFeedPlan& feedPlan = plan.perFeed[index];
        const CEOID oid = records.FindFeedByUrl(feed.url);
        feedPlan.isNew = !oid || !records.ReadFeed(feedPlan.record, oid);
        if (feedPlan.isNew) {
            // A feed the server has had for a while brings articles older
            // than the last sync's: on the first sync they came with the
            // headlines already.
            if (plan.state.lastArticleId != 0 && !ListFeed(plan, index, true, error))
                return false;
            continue;
        }
        // What the server should say of the feed's unread articles if
        // nothing changed there: those known unread, and the new ones.
        int expected = 0;
        if (!plan.freshAccount)
            store.CountServerUnread(feedPlan.record.feedId, expected);
        for (const auto& [id, article] : plan.fresh) {
            if (article.feedId == feed.id && article.unread)
                ++expected;
        }
        if ((expected != feed.unread || readThere.count(feed.id) != 0) && !ListFeed(plan, index, false, error))
            return false;
    }
    return true;
}

bool CAccountSync::Store(CPlan& plan, CAccountSyncResult& result)
{
    auto storeFailed = [&] {
        result.error = {CSyncFailure::StoreError, 0, WideToUtf8(DescribeStoreError(GetLastError()))};
        return false;
    };
    // The records of feeds new here go first, into the feed volume: a kill
    // before the pages land leaves records the tree does not name, which the
    // next clean-up removes.
    CZelviaRssDB& records = CZelviaRssDB::Instance();
    std::map<int, size_t> feedOfServerId;
    for (size_t index = 0; index < plan.feeds.size(); ++index) {
        feedOfServerId[plan.feeds[index].id] = index;
        CPlan::CFeedPlan& feedPlan = plan.perFeed[index];
        if (!feedPlan.isNew)
            continue;
        feedPlan.record = MakeNewFeedRecord(plan.feeds[index].url, plan.feeds[index].title, L"");
        if (!records.CreateFeedIfMissing(feedPlan.record))
            return storeFailed();
    }

    CZelviaRssItemDB& items = CZelviaRssItemDB::Instance();
    CSyncStore store;
    CRecordDatabase::CWriteGroup group(items);
    if (plan.freshAccount)
        store.Clear();
    // Pages marked here while the sync ran keep their mark: it goes out next.
    std::vector<CQueuedMark> queue;
    store.ReadQueue(queue);
    std::set<std::uint32_t> queued;
    for (const CQueuedMark& mark : queue)
        queued.insert(mark.articleId);

    for (const auto& [id, article] : plan.fresh) {
        plan.highestId = std::max(plan.highestId, static_cast<std::uint32_t>(id));
        const auto found = feedOfServerId.find(article.feedId);
        if (found == feedOfServerId.end())
            continue; // of a feed that left the server meanwhile
        CPlan::CFeedPlan& feedPlan = plan.perFeed[found->second];
        const std::uint32_t feedId = feedPlan.record.feedId;
        std::wstring key = PageKeyOfArticle(article);
        // The server gives a linkless article its site's address: a link
        // another article of the feed holds already does not make the two
        // one page; the later one is kept under its id.
        if (const auto holder = store.FindArticleOfPage(feedId, key); holder && holder->articleId != static_cast<std::uint32_t>(id))
            key = std::to_wstring(id);
        const CEOID oid = items.FindPage(key, feedId);
        if (oid) {
            if (queued.count(static_cast<std::uint32_t>(id)) == 0)
                SetPageStateFromServer(feedId, key, article.unread);
        } else {
            PageRecord page;
            page.feedId = feedId;
            page.key = key;
            page.state = StateOf(article.unread);
            page.title = article.title;
            page.description = article.content;
            page.link = article.link;
            page.date = DateOfUnixTime(article.updated);
            if (!items.WritePage(page))
                return storeFailed();
            ++feedPlan.newPages;
        }
        store.WriteArticle({static_cast<std::uint32_t>(id), feedId, key, article.unread});
    }

    for (CPlan::CFeedPlan& feedPlan : plan.perFeed) {
        if (!feedPlan.listed)
            continue;
        std::vector<CSyncArticle> known;
        store.ReadArticlesOfFeed(feedPlan.record.feedId, known);
        for (CSyncArticle& article : known) {
            const auto listed = feedPlan.listing.find(static_cast<int>(article.articleId));
            if (listed == feedPlan.listing.end()) {
                // Gone from the server (purged there): the page stays here.
                store.DeleteArticle(article.articleId);
                continue;
            }
            if (listed->second == article.serverUnread)
                continue;
            article.serverUnread = listed->second;
            store.WriteArticle(article);
            if (queued.count(article.articleId) == 0) {
                SetPageStateFromServer(article.feedId, article.key, article.serverUnread);
                feedPlan.changed = true;
            }
        }
    }

    CSyncState state;
    state.account = m_account.Identity();
    state.lastArticleId = plan.highestId;
    state.lastSync = SyncNow();
    state.sessionId = Utf8ToWide(m_pApi->SessionId());
    store.WriteState(state);
    std::vector<CSyncTreeEntry> tree;
    for (const CServerCategory& category : plan.categories)
        tree.push_back({CSyncTreeEntry::Category, static_cast<std::uint32_t>(category.id), category.title, L"", 0});
    for (const CServerFeed& feed : plan.feeds)
        tree.push_back({CSyncTreeEntry::Feed, static_cast<std::uint32_t>(feed.id), feed.title, feed.url,
                        static_cast<std::uint32_t>(std::max(0, feed.categoryId))});
    store.WriteTree(tree);
    if (!group.Commit())
        return storeFailed();
    return true;
}

// The records of the feeds that changed take their counters, title, date
// and status, and their pages are trimmed to the limits, as after an update.
void CAccountSync::Finish(CPlan& plan, CAccountSyncResult& result)
{
    for (size_t index = 0; index < plan.feeds.size(); ++index) {
        const CServerFeed& feed = plan.feeds[index];
        CPlan::CFeedPlan& feedPlan = plan.perFeed[index];
        CAccountFeedResult& out = result.feeds.emplace_back();
        out.url = feed.url;
        out.title = feed.title;
        FeedRecord& record = feedPlan.record;
        const bool untouched = !feedPlan.isNew && feedPlan.newPages == 0 && !feedPlan.changed &&
                               record.title == feed.title && record.updateStatus == kFeedStatusUpdated;
        if (!untouched) {
            COutline outline;
            outline.title = feed.title;
            outline.xmlUrl = feed.url;
            outline.kind = OutlineKindFeed;
            CRssChannel channel;
            channel.title = feed.title;
            const CFeedMergeResult merged = FinishFeedUpdate(outline, record, &channel, feedPlan.newPages, m_limits);
            out.newPages = merged.newPages;
        }
        out.pageCount = record.pageCount;
        out.unreadCount = record.unreadCount;
    }
}

CAccountSyncResult CAccountSync::Run()
{
    CAccountSyncResult result;
    DebugLog("CAccountSync::Run", "Start >>");
    const auto started = std::chrono::steady_clock::now();
    CMarkSendResult marks;
    CPlan plan;
    if (Connect(result.error) && PushMarks(marks) && Fetch(plan, result.error) && Store(plan, result))
        Finish(plan, result);
    if (marks.error)
        result.error = marks.error;
    result.marksSent = marks.sent;
    result.marksOverruled = marks.overruled;
    if (m_bCancelled && result.error)
        result.error = {CSyncFailure::Cancelled, 0, ""};
    if (m_pApi) {
        result.requests = m_pApi->Requests();
        result.bytesReceived = m_pApi->BytesReceived();
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    DebugLogF("CAccountSync::Run", "End >> %s, %d requests, %lld bytes", SyncFailureName(result.error.failure),
              result.requests, static_cast<long long>(result.bytesReceived));
    return result;
}

CMarkSendResult CAccountSync::SendMarks()
{
    CMarkSendResult result;
    if (Connect(result.error))
        PushMarks(result);
    if (m_pApi)
        result.requests = m_pApi->Requests();
    if (result.error) {
        CSyncStore store;
        store.CountQueue(result.left);
    }
    return result;
}
