// Arbitrary bytes as a downloaded feed, through the whole stored side of an
// update: parsed with the page limit, merged into a real store in a private
// folder, the feed finished as after a download. Besides crashes and leaks,
// a finding is a store that breaks its promises: a second merge of the same
// document stores nothing more, every stored page has a key, and the feed's
// counters are those of its pages.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzSupport.h"
#include "content/FeedParser.h"
#include "store/FeedDatabase.h"
#include "store/ItemDatabase.h"
#include "update/FeedMerge.h"

namespace {

constexpr int kPageLimit = 20;
const std::wstring kFeedUrl = L"http://fuzz.example/feed.xml";

// The feed's record, created on first use and read back afterwards.
FeedRecord& Feed()
{
    static FeedRecord record = [] {
        FeedRecord created = MakeNewFeedRecord(kFeedUrl, L"Fuzz", L"");
        fuzz::Require(CZelviaRssDB::Instance().CreateFeedIfMissing(created) != 0, "the feed record is created");
        return created;
    }();
    return record;
}

void CheckStoredPages(const FeedRecord& record)
{
    std::vector<PageRecord> pages;
    fuzz::Require(CZelviaRssItemDB::Instance().ReadFeedPages(record.feedId, pages, true), "the pages are read");
    int live = 0, unread = 0;
    for (const PageRecord& page : pages) {
        fuzz::Require(!page.key.empty(), "no page is stored without a key");
        fuzz::Require(fuzz::IsScalarText(page.title) && fuzz::IsScalarText(page.key), "page texts are scalar values");
        if (page.state != PageStateDeleted)
            ++live;
        if (page.state == PageStateUnread)
            ++unread;
    }
    fuzz::Require(record.pageCount == live, "the page counter is the number of pages");
    fuzz::Require(record.unreadCount == unread, "the unread counter is the number of unread pages");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::Initialise("fuzz-merge");
    fuzz::UsePrivateHome("fuzz-merge");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FeedRecord& record = Feed();
    const auto channel = ParseFeedFile(fuzz::WriteScratch(data, size), kPageLimit);
    COutline outline;
    outline.kind = OutlineKindFeed;
    outline.title = L"Fuzz";
    outline.xmlUrl = kFeedUrl;
    if (channel) {
        const CPageMergeResult first = MergeChannelPages(*channel, record.feedId, kPageLimit);
        fuzz::Require(first.stored, "a merge into a healthy store succeeds");
        fuzz::Require(first.written <= kPageLimit * 2, "no more pages than the limit allows are merged");
        const CPageMergeResult again = MergeChannelPages(*channel, record.feedId, kPageLimit);
        fuzz::Require(again.stored && again.written == 0, "a second merge of the same document stores nothing");
        const CFeedMergeResult finished = FinishFeedUpdate(outline, record, channel.get(), first.written);
        fuzz::Require(finished.recordWritten, "the record of a merged feed is written");
        CheckStoredPages(record);
    }
    // Each input starts from an empty feed, so that the store stays small
    // and one input's pages do not hide another's faults.
    CZelviaRssItemDB::Instance().DeletePagesOfFeed(record.feedId);
    record.pageCount = record.unreadCount = 0;
    return 0;
}
