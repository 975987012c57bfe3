#pragma once
// The stored side of updating one feed once its document has been fetched
// and parsed: new items become unread pages, the feed is trimmed, and its
// record takes the new counters, texts, date and status. The update run and
// rssreader-tool's merge use exactly this code.
#include <cstdint>

#include "content/RssChannel.h"
#include "store/FeedRecord.h"
#include "subscriptions/OpmlDoc.h"

// Stores every item whose page key the feed does not have yet as a new
// unread page, in document order; stored pages are not touched. Returns the
// number of pages written.
int MergeChannelPages(const CRssChannel& channel, std::uint32_t feedId);

struct CFeedMergeResult {
    int newPages = 0;     // after subtracting what the clean-up removed
    int deletedPages = 0; // removed by the clean-up
    bool recordWritten = false;
};

// After a download: trims the feed (without counter correction) whether or
// not a channel came back; with a channel, grows the counters by newPages,
// sets url, title, description, last date and the updated status in record
// and outline, takes the clean-up's deletions off, and writes the record.
CFeedMergeResult FinishFeedUpdate(COutline& outline, FeedRecord& record, const CRssChannel* channel, int newPages);
