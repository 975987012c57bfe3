#pragma once
// What the tree asks of the account's server between syncs: to subscribe to
// a feed (Enter URL, Online Search or an import inside the account's folder)
// and to unsubscribe one (Delete there). Each is one short conversation on
// the calling thread: a worker in the window, the tool's own thread. The
// tree itself changes afterwards, on the session's thread, with what came
// back (CReaderSession::AddAccountFeed, RemoveAccountFeed).
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "resources/ViewMessage.h"
#include "update/SyncAccount.h"
#include "update/TtRssApi.h"

struct CSubscribeOutcome {
    CSyncError error;                     // the conversation failed
    std::optional<CSubscribeAnswer> answer; // the server's answer code
    std::optional<CServerFeed> feed;      // the feed the server now has (codes 0 and 1)
};

// Asks the server to subscribe to each address, in the category (0: none),
// and, when it did, to fetch the feed at once, so that its pages come with
// the next sync. One outcome per address, in order.
std::vector<CSubscribeOutcome> SubscribeOnServer(const CSyncAccount& account, const std::vector<std::wstring>& urls,
                                                 int categoryId, std::chrono::milliseconds timeout = kSyncStepTimeout);
CSyncError UnsubscribeOnServer(const CSyncAccount& account, int feedId,
                               std::chrono::milliseconds timeout = kSyncStepTimeout);

// What the reader says of a subscription: the server's answer (codes 0 to 5)
// in its words, or why the server could not be asked. An information box
// for a feed added, an error box otherwise.
CViewMessage SubscribeMessage(const CSubscribeOutcome& outcome);
// Delete's refusal when the server did not unsubscribe the feed.
CViewMessage UnsubscribeFailedMessage(const CSyncError& error);
