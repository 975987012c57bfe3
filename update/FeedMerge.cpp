#include "update/FeedMerge.h"

#include <algorithm>

#include "store/FeedDatabase.h"
#include "store/ItemDatabase.h"
#include "update/FeedManager.h"

int MergeChannelPages(const CRssChannel& channel, std::uint32_t feedId)
{
    CZelviaRssItemDB& items = CZelviaRssItemDB::Instance();
    // One transaction for the feed: its new pages land together.
    CRecordDatabase::CWriteGroup group(items);
    int written = 0;
    PageRecord stored;
    for (const auto& item : channel.items) {
        const std::wstring& key = PageKeyOf(*item);
        if (key.empty())
            continue;
        // A page already stored keeps its state, texts and date; one found
        // but unreadable is written over.
        const CEOID oid = items.FindPage(key, feedId);
        if (oid && items.Read(stored, oid))
            continue;
        PageRecord page;
        page.feedId = feedId;
        page.reserved = 0;
        page.key = key;
        page.state = PageStateUnread;
        page.enclosureUrl = item->enclosure.url;
        page.title = item->title;
        page.description = item->description;
        page.link = item->link;
        page.date = item->date;
        page.enclosureLength = static_cast<std::uint32_t>(std::max(0, item->enclosure.length));
        if (items.WritePage(page, oid))
            ++written;
    }
    return written;
}

CFeedMergeResult FinishFeedUpdate(COutline& outline, FeedRecord& record, const CRssChannel* channel, int newPages)
{
    CFeedMergeResult result;
    result.deletedPages = CRssFeedManager().CleanupFeed(outline, false);
    if (!channel)
        return result;
    const int deleted = result.deletedPages;
    record.unreadCount += newPages;
    record.pageCount += newPages;
    record.url = outline.xmlUrl;
    const std::wstring& name = DisplayNameOf(outline);
    record.title = name.empty() ? std::wstring(kUntitledFeed) : name;
    record.description = channel->description;
    CDateTime pubDate = channel->pubDate;
    if (record.unreadCount != 0 && pubDate.GetDays() == 0)
        pubDate = CDateTime::GetCurrentTime();
    record.lastDate = pubDate;
    record.unreadCount = std::max(0, record.unreadCount - deleted);
    record.pageCount = std::max(0, record.pageCount - deleted);
    result.newPages = std::max(0, newPages - deleted);
    record.updateStatus = kFeedStatusUpdated;
    outline.status = kOutlineStatusUpdated;
    result.recordWritten = CZelviaRssDB::Instance().WriteFeed(record) != 0;
    return result;
}
