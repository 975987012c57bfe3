#pragma once
// The marks made here on their way to the sync account's server. They go in
// three steps, so that the one that talks to the server can run on a thread
// that touches no store:
//   PrepareMarks  (store)   the queue, and what is known of its articles
//   SendMarks     (network) the server's state of those articles, the rule
//                           that the later change wins, updateArticle
//   ApplyMarks    (store)   the queue rid of what went out, the articles'
//                           states, and pages that lost to a later change
//                           on the server
// The sync runs the three in a row on its thread; the window runs the
// middle one on a worker (CMarkSender) a few seconds after a mark.
//
// A mark made here and a change made on the server since the last sync
// meet: the server does not say when it made its change, so the change
// counts as made halfway between that sync and now.
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "store/SyncStore.h"
#include "update/SyncAccount.h"
#include "update/TtRssApi.h"

struct CMarkSendResult {
    CSyncError error;
    int sent = 0;
    int overruled = 0;
    int left = 0; // still queued
    int requests = 0;
};

// The values that travel between the three steps.
struct CMarkBatch {
    std::vector<CQueuedMark> marks;
    std::map<std::uint32_t, CSyncArticle> known; // the queued articles' records, by id
    std::uint64_t lastSync = 0;                  // UTC file-time ticks
    std::vector<CSyncArticle> sent;              // after SendMarks: with the state they now have there
    std::vector<CSyncArticle> overruled;         // ... and those whose later change on the server stands
    int sentCount = 0;
};

// A page takes the read state the server has for its article, unless the
// user deleted it here.
void SetPageStateFromServer(std::uint32_t feedId, const std::wstring& key, bool unread);

bool PrepareMarks(CMarkBatch& batch, CSyncError& error);
bool SendMarks(CTtRssApi& api, CMarkBatch& batch, std::uint64_t now, CSyncError& error);
bool ApplyMarks(const CMarkBatch& batch, CMarkSendResult& result);

// The window's sender: Start (the owning thread) prepares and hands the
// batch to a worker that sends it; Finish (the owning thread, from its
// timer) applies what the worker sent once it is done. Nothing is applied
// while an update run holds the store: the caller waits for its end.
class CMarkSender {
public:
    ~CMarkSender();
    // False when nothing is queued, or a batch is on its way.
    bool Start(const CSyncAccount& account);
    bool IsRunning() const { return m_worker.joinable(); }
    // True when a batch came back and was applied now.
    bool Finish(CMarkSendResult* result = nullptr);

private:
    struct CJob;
    std::shared_ptr<CJob> m_pJob;
    std::thread m_worker;
};
