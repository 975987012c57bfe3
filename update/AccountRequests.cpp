#include "update/AccountRequests.h"

#include "platform/Unicode.h"
#include "store/SyncStore.h"

namespace {

// A conversation that reuses the session the last sync kept, when it is
// this account's.
std::optional<CTtRssApi> Conversation(const CSyncAccount& account, std::chrono::milliseconds timeout,
                                      CSyncError& error)
{
    const std::optional<std::string> password = SyncAccountPassword(account);
    if (!password) {
        error = {CSyncFailure::NoPassword, 0, WideToUtf8(SecretPlaceName(account.passwordPlace))};
        return std::nullopt;
    }
    CSyncState state;
    CSyncStore().ReadState(state);
    const std::string session = state.account == account.Identity() ? WideToUtf8(state.sessionId) : "";
    return std::optional<CTtRssApi>(std::in_place, ApiOptionsOf(account, *password, session, timeout));
}

} // namespace

std::vector<CSubscribeOutcome> SubscribeOnServer(const CSyncAccount& account, const std::vector<std::wstring>& urls,
                                                 int categoryId, std::chrono::milliseconds timeout)
{
    std::vector<CSubscribeOutcome> outcomes(urls.size());
    CSyncError error;
    std::optional<CTtRssApi> api = Conversation(account, timeout, error);
    for (size_t index = 0; index < urls.size(); ++index) {
        CSubscribeOutcome& outcome = outcomes[index];
        if (!api) {
            outcome.error = error;
            continue;
        }
        outcome.answer = api->Subscribe(WideToUtf8(urls[index]), categoryId, outcome.error);
        if (!outcome.answer)
            continue;
        const CSubscribeCode code = outcome.answer->code;
        if (code != CSubscribeCode::Added && code != CSubscribeCode::AlreadySubscribed)
            continue;
        // The server fetches the feed now rather than at its next round; a
        // failure there is the server's own business and shows in its counts.
        CSyncError ignored;
        api->Call("updateFeed", {{"feed_id", outcome.answer->feedId}}, ignored);
        const auto feeds = api->GetFeeds(outcome.error);
        for (const CServerFeed& feed : feeds.value_or(std::vector<CServerFeed>{})) {
            if (feed.id == outcome.answer->feedId)
                outcome.feed = feed;
        }
    }
    return outcomes;
}

CSyncError UnsubscribeOnServer(const CSyncAccount& account, int feedId, std::chrono::milliseconds timeout)
{
    CSyncError error;
    std::optional<CTtRssApi> api = Conversation(account, timeout, error);
    if (api && !api->Unsubscribe(feedId, error) && error.detail == "FEED_NOT_FOUND")
        error = {}; // gone from the server already: the delete goes on
    return error;
}

CViewMessage SubscribeMessage(const CSubscribeOutcome& outcome)
{
    if (outcome.error && !outcome.answer)
        return {IDS_SUBSCRIBE_FAILED, {SyncFailureText(outcome.error)}, MB_ICONHAND};
    switch (outcome.answer->code) {
    case CSubscribeCode::AlreadySubscribed:
        return {IDS_SUBSCRIBE_ALREADY, {}, MB_ICONASTERISK};
    case CSubscribeCode::Added:
        return {IDS_SUBSCRIBE_ADDED, {}, MB_ICONASTERISK};
    case CSubscribeCode::InvalidUrl:
        return {IDS_SUBSCRIBE_INVALID_URL, {}, MB_ICONHAND};
    case CSubscribeCode::NoFeedInPage:
        return {IDS_SUBSCRIBE_NO_FEED, {}, MB_ICONHAND};
    case CSubscribeCode::SeveralFeedsInPage:
        return {IDS_SUBSCRIBE_SEVERAL_FEEDS, {}, MB_ICONHAND};
    case CSubscribeCode::DownloadFailed:
        break;
    }
    return {IDS_SUBSCRIBE_DOWNLOAD_FAILED, {outcome.answer->message}, MB_ICONHAND};
}

CViewMessage UnsubscribeFailedMessage(const CSyncError& error)
{
    return {IDS_UNSUBSCRIBE_FAILED, {SyncFailureText(error)}, MB_ICONHAND};
}
