#pragma once
// One feed of an update run, from values to a result: its stored record
// (or why there is none), whether a connection was had for it, and how its
// download ended go in; the feed's pages are merged, its record finished
// (the clean-up runs for every feed, updated or not), its validators kept
// or dropped, and a failed feed marked so in its record; the result comes
// out for the thread that owns the run to apply and show. No thread, no
// run: the update worker calls it feed by feed, and the tests call it alone.
#include <string>

#include "store/FeedDatabase.h"
#include "update/FeedDownloads.h"
#include "update/FeedManager.h"
#include "update/FeedUpdateResult.h"

struct CFeedUpdateInput {
    std::wstring url;
    std::wstring name;
    CFeedLookup stored;        // the feed's record as the update found it
    bool connected = true;     // a connection could be made for the feed
    CFeedDownload download;    // how its download ended (its file is removed here)
    CFeedValidators sent;      // the validators the download sent
    bool cancelled = false;    // the run was stopped or the network lost meanwhile
    CCleanupLimits limits;
};

// httpStatus, movedTo and requests come from the download; notBefore is the
// caller's (the run keeps the hosts' waits).
CFeedUpdateResult UpdateFeed(CFeedUpdateInput input);
