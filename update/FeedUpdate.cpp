#include "update/FeedUpdate.h"

#include "content/FeedParser.h"
#include "platform/FileSystem.h"
#include "update/FeedMerge.h"

namespace {

// The tree's labels come from the record: a feed whose download failed
// keeps the failed status there until it updates again, or the failure
// would vanish at the next refresh.
void MarkFeedFailed(const std::wstring& url)
{
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    CFeedLookup fresh = feeds.LookUpFeed(url);
    if (fresh.Found() && fresh.record.updateStatus != kFeedStatusFailed) {
        fresh.record.updateStatus = kFeedStatusFailed;
        feeds.WriteFeed(fresh.record, fresh.oid);
    }
}

void Fail(CFeedUpdateResult& result, CFeedFailure failure)
{
    result.failure = failure;
    result.iconStatus = kOutlineStatusFailed;
}

} // namespace

CFeedUpdateResult UpdateFeed(CFeedUpdateInput input)
{
    CFeedUpdateResult result;
    result.url = input.url;
    result.name = input.name;
    result.outcome = CFeedOutcome::Failed;
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    FeedRecord& record = input.stored.record;
    const CFeedDownload& download = input.download;
    std::unique_ptr<CRssChannel> channel;
    CPageMergeResult merged;
    if (!input.stored.Found()) {
        result.failure = input.stored.Missing() ? CFeedFailure::NoRecord : CFeedFailure::StoreError;
        result.storeError = input.stored.Missing() ? ERROR_SUCCESS : input.stored.error;
    } else if (!input.connected) {
        result.failure = CFeedFailure::NoConnection;
    } else {
        result.httpStatus = download.httpStatus;
        result.movedTo = download.movedTo;
        result.requests = download.requests;
        if (download.end == CDownloadEnd::Failed) {
            Fail(result, input.cancelled ? CFeedFailure::Cancelled : download.failure);
        } else if (download.end == CDownloadEnd::NotModified && input.sent.Empty()) {
            // Nothing was asked that a 304 could answer: no stored document
            // stands behind it.
            Fail(result, CFeedFailure::UnexpectedAnswer);
        } else if (download.end == CDownloadEnd::NotModified) {
            result.notModified = true;
        } else if (!(channel = ParseFeedFile(download.path, static_cast<size_t>(input.limits.pageLimit),
                                             download.documentUrl.empty() ? input.url : download.documentUrl))) {
            // A login page or a portal in place of the feed fails it like
            // any other failure, icon included.
            Fail(result, download.sizeLimitReached ? CFeedFailure::TooLarge : CFeedFailure::NotAFeed);
            // The next request must fetch the document whole: a 304 would
            // keep this one standing.
            if (!input.sent.Empty())
                feeds.WriteValidators(input.url, record.feedId, {});
        } else {
            merged = MergeChannelPages(*channel, record.feedId, input.limits.pageLimit);
            if (!merged.stored) {
                Fail(result, CFeedFailure::StoreError);
                result.storeError = merged.error;
            }
        }
    }
    if (!download.path.empty())
        DeleteFile(download.path);
    // The clean-up runs for every feed, updated or not. A feed whose pages
    // could not be stored is not recorded as updated.
    COutline outline;
    outline.title = input.name;
    outline.xmlUrl = input.url;
    outline.kind = OutlineKindFeed;
    const bool parsed = channel && merged.stored;
    const CFeedMergeResult finished =
        result.notModified
            ? FinishUnchangedFeed(outline, record, input.limits)
            : FinishFeedUpdate(outline, record, parsed ? channel.get() : nullptr, merged.written, input.limits);
    if ((parsed || result.notModified) && !finished.recordWritten) {
        Fail(result, CFeedFailure::StoreError);
        result.storeError = finished.error;
    } else if (parsed || result.notModified) {
        result.outcome = CFeedOutcome::Updated;
        result.newPages = finished.newPages;
        result.pageCount = record.pageCount;
        result.unreadCount = record.unreadCount;
        result.iconStatus = kOutlineStatusUpdated;
        // Kept only once the pages and the record have landed: validators
        // stored for a document whose pages were not would make the next
        // run skip them. A 304 without validators keeps the ones sent.
        const bool fresh = !(result.notModified && download.validators.Empty());
        if (fresh && download.validators != input.sent)
            feeds.WriteValidators(input.url, record.feedId, download.validators);
    }
    // A download the user stopped is no failure of the feed.
    if (input.stored.Found() && result.iconStatus == kOutlineStatusFailed &&
        result.failure != CFeedFailure::Cancelled)
        MarkFeedFailed(input.url);
    return result;
}
