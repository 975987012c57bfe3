#pragma once
// The stored side of updating one feed once its document has been fetched
// and parsed: new items become unread pages, the feed is trimmed, and its
// record takes the new counters, texts, date and status. The update run and
// rssreader-tool's merge use exactly this code.
#include <cstdint>

#include "content/RssChannel.h"
#include "platform/LastError.h"
#include "store/FeedRecord.h"
#include "subscriptions/OpmlDoc.h"
#include "update/FeedManager.h"

struct CPageMergeResult {
    int written = 0;     // new pages stored
    bool stored = true;  // false: nothing of the feed was stored (error below)
    DWORD error = ERROR_SUCCESS;
};

// Stores every item whose page key the feed does not have yet as a new
// unread page, in document order; stored pages are not touched (also those
// the user deleted). Only items that can survive the page limit are looked
// at: the newest pageLimit by date, and those without a date up to the same
// number. All of it is one transaction: on a failure nothing is stored.
CPageMergeResult MergeChannelPages(const CRssChannel& channel, std::uint32_t feedId, int pageLimit);

struct CFeedMergeResult {
    int newPages = 0;     // after subtracting what the clean-up removed
    int deletedPages = 0; // removed by the clean-up
    bool recordWritten = false;
    DWORD error = ERROR_SUCCESS; // why the record was not written
};

// After a download: trims the feed (without counter correction) whether or
// not a channel came back; with a channel, sets url, title, description,
// last date and the updated status in the stored record, recounts its
// counters from the pages and writes it (record receives what was written).
CFeedMergeResult FinishFeedUpdate(const COutline& outline, FeedRecord& record, const CRssChannel* channel,
                                  int newPages, const CCleanupLimits& limits = CCleanupLimits::FromSettings());

// After a 304: the stored document still stands, so nothing is parsed or
// merged. The feed is trimmed as after any download, and its record is
// written as for an update (url, title, the updated status, the date by the
// same rule, with the stored date standing for the channel's), with its
// description kept.
CFeedMergeResult FinishUnchangedFeed(const COutline& outline, FeedRecord& record,
                                     const CCleanupLimits& limits = CCleanupLimits::FromSettings());
