#pragma once
// Keeps the item store within the user's limits and in step with the
// subscription tree: trims each feed's pages to the page limit and the
// expiry age, drops feeds that left the tree, and changes one page's state
// while keeping its feed's counters right.
//
// Made on the stack for one job and thrown away; the lock belongs to the
// object, so two managers do not exclude each other (the tree's update lock
// keeps the update run and the UI from cleaning up at the same time).
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "content/RssChannel.h"
#include "platform/PropertyDatabase.h"
#include "store/FeedRecord.h"
#include "store/PageRecord.h"
#include "store/RecordDatabase.h"
#include "subscriptions/OpmlDoc.h"

// What one feed's clean-up removed.
struct CFeedCleanup {
    std::wstring url;
    std::wstring title;
    int deleted = 0;
};

// The limits a clean-up applies, read from the options by the thread that
// owns them and handed to whichever thread cleans up.
struct CCleanupLimits {
    int pageLimit = 100;
    bool expire = false;
    std::uint64_t expireCutoff = 0; // file-time ticks: pages at or before it expire
    static CCleanupLimits FromSettings();
};

class CRssFeedManager {
public:
    // Deletes the feed's pages beyond the page limit (oldest first) and those
    // dated at or before the expiry cutoff; returns how many were deleted
    // (0 when the deletions could not be committed). Pages the user deleted
    // (kept as records in state 4) do not count toward the limit; they go
    // once a page of their date would be trimmed at once anyway, when they
    // expire, or when more of them than the limit pile up (oldest first).
    // With correctCounters the feed's counters are recounted from its pages
    // and its record written when they were wrong; otherwise the record is
    // left to the caller (the update run writes it itself).
    int CleanupFeed(const COutline& outline, bool correctCounters,
                    const CCleanupLimits& limits = CCleanupLimits::FromSettings());
    // CleanupFeed for every feed of the list and below, depth first; the
    // total deleted. When given, perFeed receives one entry per feed. A tree
    // of many feeds has their records and page counts read in a few passes
    // first: a feed they show with nothing to trim and right counters costs
    // no query of its own.
    int CleanupFeeds(const COutlineList& outlines, bool correctCounters, std::vector<CFeedCleanup>* perFeed = nullptr);
    // Deletes every stored feed, with its pages, whose URL no outline of the
    // document carries (compared case-sensitively), and then the pages of
    // feed ids that have no feed record (left when the feed database was
    // lost); the number of feeds deleted.
    int CleanupDB(const COpmlDoc& doc);
    // Sets the stored page of that item to unread, read or deleted (a
    // deleted page stays as a record in state 4), recounts the feed's
    // counters and writes the feed record (read into feed); true when the
    // feed record was written.
    bool SetPageStatus(CRssItem& page, PageState newState, FeedRecord& feed);

    // Rewrites the stored record of the url: read afresh, its pageCount and
    // unreadCount recounted from the stored pages, changed by apply (which
    // sees the new counts and leaves them), and written, all under the feed database's write lock, so that writers in
    // two processes never put back each other's stale counts. The written
    // record is left in feed; false when it could not be read, counted or
    // written (GetLastError says why).
    static bool WriteFeedCounted(const std::wstring& url, FeedRecord& feed,
                                 const std::function<void(FeedRecord&)>& apply = {});

private:
    struct CPageEntry {
        CEOID oid = 0;
        FILETIME date;
        PageState state = PageStateUnread;
        bool deleted = false;
    };

    static bool NothingToTrim(const CCleanupLimits& limits, int livePages, int tombstones);
    // Deletes inside one write group, opened at the first deletion: most
    // clean-ups delete nothing and then write nothing.
    int DeleteBeyondLimits(const CCleanupLimits& limits, std::optional<CRecordDatabase::CWriteGroup>& group);
    // storedFeedIds: the ids of every stored feed.
    void RemoveOrphanPages(const std::vector<std::uint32_t>& storedFeedIds);
    void ClearPageList();
    // The feeds, by URL, whose stored counts show nothing to do.
    using CSettledFeeds = std::unordered_set<std::wstring>;
    static bool FindSettledFeeds(const COutlineList& outlines, bool correctCounters, const CCleanupLimits& limits,
                                 CSettledFeeds& settled);
    void CleanupOutlines(const COutlineList& outlines, bool correctCounters, int& total,
                         std::vector<CFeedCleanup>* perFeed, const CSettledFeeds* settled);

    std::vector<CPageEntry> m_pageList;
    std::recursive_mutex m_lock; // the list and the clean-up of the database
};

