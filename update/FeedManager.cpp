#include "update/FeedManager.h"

#include <algorithm>
#include <functional>
#include <unordered_set>

#include "platform/Debug.h"
#include "platform/Unicode.h"
#include "store/FeedDatabase.h"
#include "store/ItemDatabase.h"
#include "store/SyncStore.h"
#include "update/Setting.h"

namespace {

void CollectFeedUrls(const COutlineList& outlines, std::unordered_set<std::wstring>& urls)
{
    for (const auto& outline : outlines) {
        if (!outline->xmlUrl.empty())
            urls.insert(outline->xmlUrl);
        CollectFeedUrls(outline->children, urls);
    }
}

} // namespace

void CRssFeedManager::ClearPageList()
{
    std::lock_guard guard(m_lock);
    m_pageList.clear();
}

bool CRssFeedManager::WriteFeedCounted(const std::wstring& url, FeedRecord& feed,
                                       const std::function<void(FeedRecord&)>& apply)
{
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    CRecordDatabase::CWriteGroup group(feeds);
    FeedRecord fresh;
    const CEOID oid = group.Begun() ? feeds.FindFeedByUrl(url) : 0;
    if (!oid || !feeds.ReadFeed(fresh, oid))
        return false;
    if (!CZelviaRssItemDB::Instance().CountFeedPages(fresh.feedId, fresh.pageCount, fresh.unreadCount))
        return false;
    if (apply)
        apply(fresh);
    if (!feeds.WriteFeed(fresh, oid) || !group.Commit())
        return false;
    feed = std::move(fresh);
    return true;
}

CCleanupLimits CCleanupLimits::FromSettings()
{
    const CSetting& setting = CSetting::Instance();
    CCleanupLimits limits;
    limits.pageLimit = setting.GetPageLimit();
    limits.expire = setting.GetExpireAfter() != 0;
    limits.expireCutoff = limits.expire ? setting.GetExpireCutoff().Ticks() : 0;
    return limits;
}

// Deletes, in the page list sorted newest first, what the limits remove;
// the number of live pages deleted.
// Without expiry, the rules of DeleteBeyondLimits delete nothing when the
// live pages are within the limit and there are no tombstones, or when the
// live pages are below it and the tombstones within it.
bool CRssFeedManager::NothingToTrim(const CCleanupLimits& limits, int livePages, int tombstones)
{
    const int limit = limits.pageLimit;
    return !limits.expire && ((tombstones == 0 && livePages <= limit) || (livePages < limit && tombstones <= limit));
}

int CRssFeedManager::DeleteBeyondLimits(const CCleanupLimits& limits,
                                        std::optional<CRecordDatabase::CWriteGroup>& group)
{
    const int limit = limits.pageLimit;
    CZelviaRssItemDB& items = CZelviaRssItemDB::Instance();
    auto remove = [&](CPageEntry& entry) {
        if (entry.deleted)
            return true;
        if (!group)
            group.emplace(items);
        // A page already removed fails to delete again and is not counted twice.
        if (items.Delete(entry.oid))
            entry.deleted = true;
        return entry.deleted;
    };
    int deleted = 0;
    int live = 0;
    for (CPageEntry& entry : m_pageList) {
        if (entry.state != PageStateDeleted && ++live > limit && remove(entry))
            ++deleted;
    }
    if (limits.expire) {
        const std::uint64_t cutoff = limits.expireCutoff;
        for (CPageEntry& entry : m_pageList) {
            const bool wasDeleted = entry.deleted;
            if (entry.date.Ticks() <= cutoff && remove(entry) && !wasDeleted && entry.state != PageStateDeleted)
                ++deleted;
        }
    }
    // A deleted page's record is what keeps it from coming back with the next
    // update; it may go once a page of its date would be trimmed at once.
    int liveKept = 0;
    std::uint64_t oldestKept = 0;
    for (const CPageEntry& entry : m_pageList) {
        if (entry.state != PageStateDeleted && !entry.deleted) {
            ++liveKept;
            oldestKept = entry.date.Ticks(); // the list runs newest first
        }
    }
    int tombstonesKept = 0;
    for (CPageEntry& entry : m_pageList) {
        if (entry.state != PageStateDeleted || entry.deleted)
            continue;
        // Newest first, so past the limit only the oldest go.
        if ((liveKept >= limit && entry.date.Ticks() <= oldestKept) || tombstonesKept >= limit)
            remove(entry);
        else
            ++tombstonesKept;
    }
    return deleted;
}

int CRssFeedManager::CleanupFeed(const COutline& outline, bool correctCounters, const CCleanupLimits& limits)
{
    std::lock_guard guard(m_lock);
    ClearPageList();
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    FeedRecord feed;
    const CEOID feedOid = feeds.FindFeedByUrl(outline.xmlUrl);
    if (!feedOid || !feeds.ReadFeed(feed, feedOid))
        return 0;
    DebugLogF("CRssFeedManager::CleanupFeed", "[%d/%d] %s >> Checked", feed.unreadCount, feed.pageCount,
              WideToUtf8(outline.DisplayName()).c_str());

    CZelviaRssItemDB& items = CZelviaRssItemDB::Instance();
    // The counts, from the index alone, often show there is nothing to trim:
    // then no page needs reading.
    int pages = 0, unread = 0, tombstones = 0;
    if (items.CountFeedPages(feed.feedId, pages, unread, &tombstones) && NothingToTrim(limits, pages, tombstones)) {
        if (correctCounters && (pages != feed.pageCount || unread != feed.unreadCount))
            WriteFeedCounted(outline.xmlUrl, feed);
        return 0;
    }
    PageRecord page;
    if (items.SeekFeedPages(feed.feedId, true)) {
        // A read failure ends the scan; the pages read so far are judged.
        while (CEOID oid = items.ReadState(page)) {
            if (page.feedId != feed.feedId)
                break;
            m_pageList.push_back({oid, page.fileTime, page.state, false});
        }
    }
    std::stable_sort(m_pageList.begin(), m_pageList.end(),
                     [](const CPageEntry& a, const CPageEntry& b) { return a.date.Ticks() > b.date.Ticks(); });
    const int total = static_cast<int>(
        std::count_if(m_pageList.begin(), m_pageList.end(), [](const CPageEntry& e) { return e.state != PageStateDeleted; }));

    std::optional<CRecordDatabase::CWriteGroup> group; // the deletions cost one commit, and land together
    int deleted = DeleteBeyondLimits(limits, group);
    if (group && !group->Commit())
        deleted = 0;
    if (correctCounters) {
        // After deletions the record is out of date; otherwise a count, three
        // index look-ups, says whether it is (after a crash, say).
        if (deleted > 0 ||
            (items.CountFeedPages(feed.feedId, pages, unread) && (pages != feed.pageCount || unread != feed.unreadCount)))
            WriteFeedCounted(outline.xmlUrl, feed);
    }
    DebugLogF("CRssFeedManager::CleanupFeed", "Total [%d] MaxPage :[%d] Delete [%d]", total, limits.pageLimit,
              deleted);
    ClearPageList();
    return deleted;
}

namespace {

// Below this many feeds, three index look-ups a feed cost less than two
// passes over the index of every page.
constexpr size_t kManyFeeds = 1000;

void CollectFeedOutlines(const COutlineList& outlines, std::vector<const COutline*>& feeds)
{
    for (const auto& outline : outlines) {
        if (!outline->xmlUrl.empty())
            feeds.push_back(outline.get());
        CollectFeedOutlines(outline->children, feeds);
    }
}

} // namespace

bool CRssFeedManager::FindSettledFeeds(const COutlineList& outlines, bool correctCounters,
                                       const CCleanupLimits& limits, CSettledFeeds& settled)
{
    std::vector<const COutline*> outlineFeeds;
    CollectFeedOutlines(outlines, outlineFeeds);
    if (outlineFeeds.size() < kManyFeeds)
        return false;
    std::vector<FeedRecord> records;
    if (!CZelviaRssDB::Instance().ReadAllFeeds(records))
        return false;
    std::vector<std::uint32_t> feedIds;
    feedIds.reserve(records.size());
    for (const FeedRecord& record : records)
        feedIds.push_back(record.feedId);
    std::vector<CZelviaRssItemDB::CPageCounts> counts;
    if (!CZelviaRssItemDB::Instance().CountFeedPages(feedIds, counts))
        return false;
    for (size_t at = 0; at < records.size(); ++at) {
        const auto& [pages, unread, tombstones] = counts[at];
        const FeedRecord& record = records[at];
        if (NothingToTrim(limits, pages, tombstones) &&
            (!correctCounters || (pages == record.pageCount && unread == record.unreadCount)))
            settled.insert(record.url);
    }
    return true;
}

void CRssFeedManager::CleanupOutlines(const COutlineList& outlines, bool correctCounters, int& total,
                                      std::vector<CFeedCleanup>* perFeed, const CSettledFeeds* settled)
{
    for (const auto& outline : outlines) {
        if (!outline->xmlUrl.empty()) {
            const bool nothingToDo = settled != nullptr && settled->count(outline->xmlUrl) != 0;
            const int deleted = nothingToDo ? 0 : CleanupFeed(*outline, correctCounters);
            total += deleted;
            if (perFeed)
                perFeed->push_back({outline->xmlUrl, outline->DisplayName(), deleted});
        }
        CleanupOutlines(outline->children, correctCounters, total, perFeed, settled);
    }
}

int CRssFeedManager::CleanupFeeds(const COutlineList& outlines, bool correctCounters,
                                  std::vector<CFeedCleanup>* perFeed)
{
    std::lock_guard guard(m_lock);
    CSettledFeeds settled;
    const bool known = FindSettledFeeds(outlines, correctCounters, CCleanupLimits::FromSettings(), settled);
    int total = 0;
    CleanupOutlines(outlines, correctCounters, total, perFeed, known ? &settled : nullptr);
    return total;
}

int CRssFeedManager::CleanupDB(const COpmlDoc& doc)
{
    DebugLog("CRssFeedManager::CleanupDB", ">> START");
    std::lock_guard guard(m_lock);
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    CZelviaRssItemDB& items = CZelviaRssItemDB::Instance();
    int removed = 0;
    // Each record is looked up in the tree's URLs, gathered once: a walk of
    // the tree per record would cost the square of the feeds.
    std::unordered_set<std::wstring> treeUrls;
    CollectFeedUrls(doc.outlines, treeUrls);
    std::vector<std::uint32_t> kept;
    feeds.SelectSortOrder(kFeedOrderByUrl);
    feeds.FirstFeed();
    FeedRecord feed;
    for (;;) {
        const CEOID oid = feeds.ReadFeed(feed);
        DebugLogF("CRssFeedManager::CleanupDB", "OID [%u] New Search [%s]", oid, WideToUtf8(feed.url).c_str());
        if (!oid)
            break;
        if (treeUrls.count(feed.url) != 0) {
            kept.push_back(feed.feedId);
            continue;
        }
        // The walk's position is already past this record, so deleting it
        // does not disturb the walk.
        items.DeletePagesOfFeed(feed.feedId);
        if (feeds.Delete(oid))
            ++removed;
    }
    RemoveOrphanPages(kept);
    DebugLog("CRssFeedManager::CleanupDB", ">> END");
    return removed;
}

// Pages whose feed has no record belong to no feed any more: they were left
// when the feed database was lost, or a kill came between deleting a feed's
// pages and its record. Nothing is removed unless the feed database says
// for certain that the id is not there.
void CRssFeedManager::RemoveOrphanPages(const std::vector<std::uint32_t>& storedFeedIds)
{
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    CZelviaRssItemDB& items = CZelviaRssItemDB::Instance();
    if (!feeds.IsOpen() || !items.IsOpen())
        return;
    // There are orphans only when the pages carry more feed ids than the
    // stored feeds that have pages: two passes over the index tell, where
    // the walk below looks up every feed that has pages.
    std::vector<CZelviaRssItemDB::CPageCounts> counts;
    DWORD carried = 0;
    if (items.CountFeedPages(storedFeedIds, counts) && items.CountFeedsWithPages(carried)) {
        const auto withPages = std::count_if(counts.begin(), counts.end(), [](const auto& count) {
            return count.pages + count.tombstones > 0;
        });
        if (static_cast<DWORD>(withPages) == carried)
            return;
    }
    for (std::uint32_t feedId = items.NextFeedIdWithPages(0); feedId != 0;
         feedId = items.NextFeedIdWithPages(feedId)) {
        if (feeds.FindFeedById(feedId))
            continue;
        if (GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_NO_MORE_ITEMS)
            return;
        DebugLogF("CRssFeedManager::CleanupDB", "pages of feed id %u without a feed record removed", feedId);
        items.DeletePagesOfFeed(feedId);
    }
}

bool CRssFeedManager::SetPageStatus(CRssItem& page, PageState newState, FeedRecord& feed)
{
    CZelviaRssItemDB& items = CZelviaRssItemDB::Instance();
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    const std::wstring key = PageKeyOf(page);
    PageRecord record;
    // A page that is not stored is left alone: writing it would create a
    // stray record outside any feed. A deleted page is shown nowhere and
    // keeps its state.
    const CEOID pageOid = items.FindPage(key, page.feedId);
    if (!pageOid || !items.Read(record, pageOid) || record.state == PageStateDeleted)
        return false;
    const CEOID feedOid = feeds.FindFeedById(page.feedId);
    if (!feedOid || !feeds.ReadFeed(feed, feedOid))
        return false;

    const PageState oldState = record.state;
    record.key = key;
    record.state = newState;
    page.state = newState;
    {
        // A deleted page keeps its record in state 4, so that the next
        // update finds its key and does not bring it back as a new page.
        // A page of the sync account's server takes its mark to the queue
        // for the server in the same transaction (a deleted page goes out
        // as read), so that no mark is lost between the two.
        CRecordDatabase::CWriteGroup group(items);
        items.WritePage(record, pageOid);
        const bool unread = newState == PageStateUnread;
        if (unread != (oldState == PageStateUnread))
            CSyncStore().QueueMarkOfPage(page.feedId, key, unread, SyncNow());
        if (!group.Commit()) {
            page.state = static_cast<std::uint32_t>(oldState);
            return false;
        }
    }
    return WriteFeedCounted(feed.url, feed);
}
