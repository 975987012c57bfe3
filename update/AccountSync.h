#pragma once
// One sync with the account's server, in the steps the reader takes them:
//   1. the marks queued here go out (updateArticle), first of all;
//   2. the server's categories and feeds are read;
//   3. the headlines newer than the highest article id fetched so far come
//      with their content (getHeadlines with since_id, 200 a call);
//   4. a feed whose unread count on the server is not what the pages here
//      say, one with an article the server lists as read lately that is
//      unread here, and a feed new here, is listed whole: read states the
//      server changed, and articles missed, are taken from that list;
//   5. everything is stored in one transaction of the item volume: new
//      pages (the key is the article's link, else its id, as it is when
//      another article of the feed has that link already), read states,
//      the articles they came from, the server's tree and the sync's
//      progress. A failure before or during it stores nothing of the sync
//      and keeps every queued mark that did not go out.
// The tree itself is brought in step afterwards by the reader's session
// (on its own thread), from the server's tree stored in step 5.
//
// When a mark made here and a change made on the server meet on one
// article, the later one wins. The server does not say when its change was
// made, only that it came after the last sync and before this one: it is
// taken to lie halfway between them.
//
// A CAccountSync belongs to the thread that runs it (the update run's
// worker, or the tool's thread); Cancel may come from any thread.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "update/FeedManager.h"
#include "update/MarkQueue.h"
#include "update/SyncAccount.h"
#include "update/TtRssApi.h"

// One server feed after the sync.
struct CAccountFeedResult {
    std::wstring url;
    std::wstring title;
    int newPages = 0;
    int pageCount = 0;
    int unreadCount = 0;
};

struct CAccountSyncResult {
    CSyncError error; // set: nothing of the sync was stored (marks sent stay sent)
    std::vector<CAccountFeedResult> feeds; // every feed of the server, in its order
    int marksSent = 0;
    int marksOverruled = 0; // queued marks that lost to a later change on the server
    int requests = 0;
    std::int64_t bytesReceived = 0;
    double seconds = 0; // the whole sync, first request to last write
};

class CAccountSync {
public:
    CAccountSync(CSyncAccount account, CCleanupLimits limits, std::chrono::milliseconds stepTimeout);
    ~CAccountSync();
    CAccountSync(const CAccountSync&) = delete;
    CAccountSync& operator=(const CAccountSync&) = delete;

    CAccountSyncResult Run();
    // Only step 1: the queued marks go out (after a mark is made).
    CMarkSendResult SendMarks();

    // Any thread: the call in progress ends at once, the sync stores nothing.
    void Cancel();

private:
    struct CPlan;
    bool Connect(CSyncError& error);
    bool PushMarks(CMarkSendResult& result);
    bool Fetch(CPlan& plan, CSyncError& error);
    bool ListFeed(CPlan& plan, size_t feed, bool withContent, CSyncError& error);
    bool Store(CPlan& plan, CAccountSyncResult& result);
    void Finish(CPlan& plan, CAccountSyncResult& result);

    const CSyncAccount m_account;
    const CCleanupLimits m_limits;
    const std::chrono::milliseconds m_stepTimeout;
    std::mutex m_lock; // m_pApi and m_bCancelled between the owner and Cancel
    std::unique_ptr<CTtRssApi> m_pApi;
    std::atomic<bool> m_bCancelled{false};
};
