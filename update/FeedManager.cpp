#include "update/FeedManager.h"

#include <algorithm>
#include <functional>

#include "platform/Debug.h"
#include "platform/Unicode.h"
#include "store/FeedDatabase.h"
#include "store/ItemDatabase.h"
#include "update/Setting.h"

namespace {

// A MaxPages index outside the option list maps to no pages at all; taken
// literally that would delete every page of every feed, so such a value
// keeps the default limit instead.
constexpr int kDefaultPageLimit = 100;

bool TreeHasFeedUrl(const COutlineList& outlines, const std::wstring& url)
{
    for (const auto& outline : outlines) {
        if (outline->xmlUrl == url || TreeHasFeedUrl(outline->children, url))
            return true;
    }
    return false;
}

} // namespace

const std::wstring& DisplayNameOf(const COutline& outline)
{
    return outline.title.empty() ? outline.text : outline.title;
}

void CRssFeedManager::ClearPageList()
{
    std::lock_guard guard(m_lock);
    m_pageList.clear();
}

int CRssFeedManager::CleanupFeed(const COutline& outline, bool correctCounters)
{
    std::lock_guard guard(m_lock);
    ClearPageList();
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    FeedRecord feed;
    const CEOID feedOid = feeds.FindFeedByUrl(outline.xmlUrl);
    if (!feedOid || !feeds.ReadFeed(feed, feedOid))
        return 0;
    DebugLogF("CRssFeedManager::CleanupFeed", "[%d/%d] %s >> Checked", feed.unreadCount, feed.pageCount,
              WideToUtf8(DisplayNameOf(outline)).c_str());

    CZelviaRssItemDB& items = CZelviaRssItemDB::Instance();
    PageRecord page;
    if (items.SeekFeedPages(feed.feedId, true)) {
        // A read failure ends the scan; the pages read so far are judged.
        while (CEOID oid = items.ReadState(page)) {
            if (page.feedId != feed.feedId)
                break;
            m_pageList.push_back({oid, page.fileTime, page.state, false});
        }
    }
    const int total = static_cast<int>(m_pageList.size());
    std::stable_sort(m_pageList.begin(), m_pageList.end(),
                     [](const CPageEntry& a, const CPageEntry& b) { return a.date.Ticks() > b.date.Ticks(); });

    const CSetting& setting = CSetting::Instance();
    int limit = setting.GetMaxPagesValue();
    if (limit <= 0)
        limit = kDefaultPageLimit;
    CRecordDatabase::CWriteGroup group(items); // the deletions cost one commit
    int deleted = 0;
    for (int i = limit; i < total; ++i) {
        if (items.Delete(m_pageList[i].oid)) {
            m_pageList[i].deleted = true;
            ++deleted;
        }
    }
    if (setting.GetExpireAfter() != 0) {
        const std::uint64_t cutoff = setting.GetExpireCutoff().Ticks();
        for (CPageEntry& entry : m_pageList) {
            // A page the limit already removed fails to delete again.
            if (entry.date.Ticks() <= cutoff && items.Delete(entry.oid)) {
                entry.deleted = true;
                ++deleted;
            }
        }
    }
    if (correctCounters && deleted > 0) {
        feed.pageCount = std::max(0, total - deleted);
        feed.unreadCount = static_cast<int>(std::count_if(m_pageList.begin(), m_pageList.end(), [](const CPageEntry& e) {
            return !e.deleted && e.state == PageStateUnread;
        }));
        feeds.WriteFeed(feed, feedOid);
    }
    DebugLogF("CRssFeedManager::CleanupFeed", "Total [%d] MaxPage :[%d] Delete [%d]", total, limit, deleted);
    ClearPageList();
    return deleted;
}

void CRssFeedManager::CleanupOutlines(const COutlineList& outlines, bool correctCounters, int& total,
                                      std::vector<CFeedCleanup>* perFeed)
{
    for (const auto& outline : outlines) {
        if (!outline->xmlUrl.empty()) {
            const int deleted = CleanupFeed(*outline, correctCounters);
            total += deleted;
            if (perFeed)
                perFeed->push_back({outline->xmlUrl, DisplayNameOf(*outline), deleted});
        }
        CleanupOutlines(outline->children, correctCounters, total, perFeed);
    }
}

int CRssFeedManager::CleanupFeeds(const COutlineList& outlines, bool correctCounters,
                                  std::vector<CFeedCleanup>* perFeed)
{
    std::lock_guard guard(m_lock);
    int total = 0;
    CleanupOutlines(outlines, correctCounters, total, perFeed);
    return total;
}

int CRssFeedManager::CleanupDB(const COpmlDoc& doc)
{
    DebugLog("CRssFeedManager::CleanupDB", ">> START");
    std::lock_guard guard(m_lock);
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    CZelviaRssItemDB& items = CZelviaRssItemDB::Instance();
    int removed = 0;
    feeds.SelectSortOrder(kFeedOrderByUrl);
    feeds.FirstFeed();
    FeedRecord feed;
    for (;;) {
        const CEOID oid = feeds.ReadFeed(feed);
        DebugLogF("CRssFeedManager::CleanupDB", "OID [%u] New Search [%s]", oid, WideToUtf8(feed.url).c_str());
        if (!oid)
            break;
        if (TreeHasFeedUrl(doc.outlines, feed.url))
            continue;
        // The walk's position is already past this record, so deleting it
        // does not disturb the walk.
        items.DeletePagesOfFeed(feed.feedId);
        if (feeds.Delete(oid))
            ++removed;
    }
    DebugLog("CRssFeedManager::CleanupDB", ">> END");
    return removed;
}

bool CRssFeedManager::SetPageStatus(CRssItem& page, PageState newState, FeedRecord& feed)
{
    CZelviaRssItemDB& items = CZelviaRssItemDB::Instance();
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    const std::wstring key = PageKeyOf(page);
    PageRecord record;
    // A page that is not stored is left alone: writing it would create a
    // stray record outside any feed.
    const CEOID pageOid = items.FindPage(key, page.feedId);
    if (!pageOid || !items.Read(record, pageOid))
        return false;
    const CEOID feedOid = feeds.FindFeedById(page.feedId);
    if (!feedOid || !feeds.ReadFeed(feed, feedOid))
        return false;

    const PageState oldState = record.state;
    record.key = key;
    record.state = newState;
    page.state = newState;
    if (!items.WritePage(record, pageOid))
        return false;
    switch (newState) {
    case PageStateRead:
        if (oldState == PageStateUnread)
            feed.unreadCount = std::max(0, feed.unreadCount - 1);
        break;
    case PageStateUnread:
        if (oldState != PageStateUnread)
            feed.unreadCount += 1;
        break;
    case PageStateDeleted:
        if (oldState == PageStateUnread)
            feed.unreadCount = std::max(0, feed.unreadCount - 1);
        feed.pageCount = std::max(0, feed.pageCount - 1);
        if (!items.Delete(pageOid))
            return false;
        break;
    }
    return feeds.WriteFeed(feed, feedOid) != 0;
}
