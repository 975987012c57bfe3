#pragma once
// What one feed's update came to, as a value: the update worker posts one
// per feed to the thread that owns the run, which applies it to its tree
// (the icon) and hands it to the view. Nothing else crosses the threads.
#include <string>

#include "platform/Clock.h"
#include "platform/LastError.h"
#include "update/TtRssApi.h"

enum class CFeedOutcome {
    Updated, // fetched, parsed and stored; or not modified since the last time
    Failed,
    Skipped, // not reached: the run stopped before it
};

enum class CFeedFailure {
    None,
    NoRecord,     // the feed has no stored record
    NoConnection, // no connection could be made for it
    HttpStatus,   // the server answered with another status than 200, 304 or 403
    Gone,         // 410: the server says the feed is gone for good
    RetryLater,   // 429 or 503 with Retry-After; the run asks that host nothing more,
                  // and automatic runs leave it alone until the time it named
    Timeout,      // the server did not answer, or too slowly
    Incomplete,   // the body broke off before its end (shorter than its Content-Length, say)
    UnexpectedAnswer, // a 304 to a request that sent no validator
    Network,      // name, connection, TLS or protocol error
    TooLarge,     // cut at the size limit, and what came was not a feed
    NotAFeed,     // the document could not be read as a feed
    StoreError,   // the store could not be written (storeError says why)
    Cancelled,    // Cancel, or the network was lost, during its download
    Sync,         // a feed of the sync account: the sync with its server failed (syncFailure says why)
};

struct CFeedUpdateResult {
    std::wstring url;
    std::wstring name;
    CFeedOutcome outcome = CFeedOutcome::Skipped;
    CFeedFailure failure = CFeedFailure::None;
    long httpStatus = 0;          // the final answer's status, when one came
    bool notModified = false;     // the answer was a 304: the stored document still stands
    // Where permanent redirects (301, 308) led; the subscription keeps its
    // url, which is the feed's key.
    std::wstring movedTo;
    int requests = 0;             // HTTP requests sent for the feed, redirects included
    DWORD storeError = ERROR_SUCCESS;
    int newPages = 0;
    int pageCount = -1;           // the stored counters after the update, when written
    int unreadCount = -1;
    int iconStatus = -1;          // the tree icon to show, or -1 to leave it
    // RetryLater: until when the host asked to be left alone (UTC), when it
    // said; 0 ticks otherwise.
    FILETIME notBefore;
    bool fromAccount = false;     // synced with the account's server, not downloaded
    CSyncError syncError;         // why the sync failed, for a feed of the account
};

// "updated", "failed", "skipped".
const char* OutcomeName(CFeedOutcome outcome);
// "http status", "timeout", "gone", "retry later", "incomplete",
// "unexpected answer", ... ("" for None).
const char* FailureName(CFeedFailure failure);
