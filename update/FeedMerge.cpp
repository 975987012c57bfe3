#include "update/FeedMerge.h"

#include <algorithm>
#include <numeric>
#include <vector>

#include "store/FeedDatabase.h"
#include "store/ItemDatabase.h"
#include "update/FeedManager.h"

namespace {

bool HasDate(const CRssItem& item) { return item.date.IsValid() && item.date.GetDays() != 0; }

// Which items of the document are merged: a document of thousands of items
// would otherwise be written whole only for the clean-up to remove all but
// the newest at once.
std::vector<bool> ItemsWorthMerging(const CRssChannel& channel, int pageLimit)
{
    const size_t count = channel.items.size();
    std::vector<bool> chosen(count, false);
    std::vector<size_t> dated;
    size_t undated = 0;
    for (size_t i = 0; i < count; ++i) {
        if (HasDate(*channel.items[i]))
            dated.push_back(i);
        else if (undated < static_cast<size_t>(pageLimit)) {
            chosen[i] = true;
            ++undated;
        }
    }
    const size_t keep = std::min(dated.size(), static_cast<size_t>(pageLimit));
    std::stable_sort(dated.begin(), dated.end(), [&](size_t a, size_t b) {
        return channel.items[a]->date.GetDays() > channel.items[b]->date.GetDays();
    });
    for (size_t i = 0; i < keep; ++i)
        chosen[dated[i]] = true;
    return chosen;
}

} // namespace

CPageMergeResult MergeChannelPages(const CRssChannel& channel, std::uint32_t feedId, int pageLimit)
{
    CPageMergeResult result;
    CZelviaRssItemDB& items = CZelviaRssItemDB::Instance();
    const std::vector<bool> chosen = ItemsWorthMerging(channel, std::max(1, pageLimit));
    // One transaction for the feed: its new pages land together or not at all.
    CRecordDatabase::CWriteGroup group(items);
    PageRecord stored;
    for (size_t i = 0; i < channel.items.size(); ++i) {
        const CRssItem& item = *channel.items[i];
        const std::wstring& key = PageKeyOf(item);
        if (!chosen[i] || key.empty())
            continue;
        // A page already stored keeps its state, texts and date; one found
        // but unreadable is written over. A page stored under the key as the
        // document writes it (a relative link as written) is the same one.
        const CEOID oid = items.FindPage(key, feedId);
        if (oid && items.Read(stored, oid))
            continue;
        if (!item.writtenKey.empty()) {
            const CEOID written = items.FindPage(item.writtenKey, feedId);
            if (written && items.Read(stored, written))
                continue;
        }
        PageRecord page;
        page.feedId = feedId;
        page.reserved = 0;
        page.key = key;
        page.state = PageStateUnread;
        page.enclosureUrl = item.enclosure.url;
        page.title = item.title;
        page.description = item.description;
        page.link = item.link;
        page.date = item.date;
        page.enclosureLength = static_cast<std::uint32_t>(std::max(0, item.enclosure.length));
        if (items.WritePage(page, oid))
            ++result.written;
    }
    if (!group.Commit()) {
        result.stored = false;
        result.error = GetLastError();
        result.written = 0;
    }
    return result;
}

namespace {

// The record of an updated feed: what the outline and the document say, the
// date the channel gave (or now, for a feed with unread pages and no date),
// and the updated status; the counters recounted from the pages.
// Without a channel (a 304) the stored description and date stand for the
// document's.
bool WriteUpdatedRecord(const COutline& outline, FeedRecord& record, const CRssChannel* channel)
{
    const std::wstring& name = outline.DisplayName();
    return CRssFeedManager::WriteFeedCounted(outline.xmlUrl, record, [&](FeedRecord& fresh) {
        fresh.updateCounter = 0;
        fresh.url = outline.xmlUrl;
        fresh.title = name.empty() ? std::wstring(kUntitledFeed) : name;
        if (channel)
            fresh.description = channel->description;
        CDateTime pubDate = channel ? channel->pubDate : fresh.lastDate;
        if (fresh.unreadCount != 0 && pubDate.GetDays() == 0)
            pubDate = CDateTime::GetCurrentTime();
        fresh.lastDate = pubDate;
        fresh.updateStatus = kFeedStatusUpdated;
    });
}

} // namespace

CFeedMergeResult FinishFeedUpdate(const COutline& outline, FeedRecord& record, const CRssChannel* channel,
                                  int newPages, const CCleanupLimits& limits)
{
    CFeedMergeResult result;
    result.deletedPages = CRssFeedManager().CleanupFeed(outline, false, limits);
    if (!channel)
        return result;
    result.newPages = std::max(0, newPages - result.deletedPages);
    result.recordWritten = WriteUpdatedRecord(outline, record, channel);
    if (!result.recordWritten)
        result.error = GetLastError();
    return result;
}

CFeedMergeResult FinishUnchangedFeed(const COutline& outline, FeedRecord& record, const CCleanupLimits& limits)
{
    CFeedMergeResult result;
    result.deletedPages = CRssFeedManager().CleanupFeed(outline, false, limits);
    result.recordWritten = WriteUpdatedRecord(outline, record, nullptr);
    if (!result.recordWritten)
        result.error = GetLastError();
    return result;
}
