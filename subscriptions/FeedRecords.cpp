#include "subscriptions/FeedRecords.h"

#include "store/FeedDatabase.h"

bool LoadFeedRecord(COutline& outline)
{
    const std::wstring& name = outline.title.empty() ? outline.text : outline.title;
    if (!outline.IsFeed() || name.empty())
        return true;
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    FeedRecord record;
    const CEOID oid = feeds.FindFeedByUrl(outline.xmlUrl);
    if (oid) {
        feeds.ReadFeed(record, oid);
        outline.status = kOutlineStatusIdle;
    } else {
        // Another process may be making the same record at this moment: the
        // look-up is made again inside the write, and its record wins.
        record = MakeNewFeedRecord(outline.xmlUrl, name, outline.description);
        const bool written = feeds.CreateFeedIfMissing(record) != 0;
        outline.status = written ? kOutlineStatusIdle : kOutlineStatusFailed;
        if (!written)
            return false;
    }
    if (record.unreadCount >= 1)
        outline.status = kOutlineStatusUpdated;
    if (record.updateStatus == kFeedStatusFailed)
        outline.status = kOutlineStatusFailed;
    return true;
}

void LoadFeedRecords(COutlineList& outlines)
{
    for (auto& outline : outlines) {
        LoadFeedRecord(*outline);
        LoadFeedRecords(outline->children);
    }
}
