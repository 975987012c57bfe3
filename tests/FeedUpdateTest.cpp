// One feed's update as a value in and a value out, without a run or a
// thread: what each end of its download comes to, what is kept of the
// validators, and which failures mark the stored record.
#include <gtest/gtest.h>

#include "StoreTestSupport.h"
#include "platform/FileSystem.h"
#include "update/FeedUpdate.h"

namespace {

constexpr wchar_t kUrl[] = L"http://feeds.invalid/a.rss";

class FeedUpdateTest : public CTempHomeTest {
protected:
    // The input of a stored feed whose download fetched body.
    CFeedUpdateInput Fetched(const std::string& body, const CFeedValidators& answered = {})
    {
        CFeedUpdateInput input = Input();
        input.download.end = CDownloadEnd::Fetched;
        input.download.httpStatus = 200;
        input.download.path = WriteHomeFile("doc-" + std::to_string(++m_nFiles) + ".xml", body);
        input.download.validators = answered;
        return input;
    }
    CFeedUpdateInput Input()
    {
        CFeedUpdateInput input;
        input.url = kUrl;
        input.name = L"A";
        input.stored = CZelviaRssDB::Instance().LookUpFeed(kUrl);
        return input;
    }
    static CFeedValidators Stored()
    {
        CFeedValidators validators;
        CZelviaRssDB::Instance().ReadValidators(kUrl, StoredFeed(kUrl).feedId, validators);
        return validators;
    }
    static std::string Rss(int items)
    {
        std::string xml = "<?xml version='1.0'?><rss version='2.0'><channel><title>T</title>";
        for (int i = 0; i < items; ++i)
            xml += "<item><title>i</title><link>http://x.invalid/" + std::to_string(i) + "</link></item>";
        return xml + "</channel></rss>";
    }

    int m_nFiles = 0;
};

} // namespace

TEST_F(FeedUpdateTest, ADocumentIsMergedAndItsValidatorsKeptOnlyOnceStored)
{
    StoreFeed(kUrl);
    const CFeedValidators etag{L"\"1\"", L""};
    CFeedUpdateInput input = Fetched(Rss(3), etag);
    const std::wstring path = input.download.path;
    CFeedUpdateResult result = UpdateFeed(input);
    EXPECT_EQ(result.outcome, CFeedOutcome::Updated);
    EXPECT_EQ(result.newPages, 3);
    EXPECT_EQ(result.unreadCount, 3);
    EXPECT_EQ(result.httpStatus, 200);
    EXPECT_EQ(Stored(), etag);
    EXPECT_FALSE(IsFile(path)) << "the download's file is gone once read";

    // A 304 to the validators sent keeps the pages and the validators.
    input = Input();
    input.sent = etag;
    input.download.end = CDownloadEnd::NotModified;
    result = UpdateFeed(input);
    EXPECT_EQ(result.outcome, CFeedOutcome::Updated);
    EXPECT_TRUE(result.notModified);
    EXPECT_EQ(result.pageCount, 3);
    EXPECT_EQ(Stored(), etag);

    // What is not a feed drops them, so that the next run fetches it whole;
    // cut at the size limit, it says so.
    input = Fetched("<html>login</html>");
    input.sent = etag;
    result = UpdateFeed(input);
    EXPECT_EQ(result.failure, CFeedFailure::NotAFeed);
    EXPECT_EQ(result.iconStatus, kOutlineStatusFailed);
    EXPECT_TRUE(Stored().Empty());
    EXPECT_EQ(StoredFeed(kUrl).updateStatus, kFeedStatusFailed);
    EXPECT_EQ(StoredFeed(kUrl).pageCount, 3) << "the pages stay";
    input = Fetched("<html><body>a portal, cut");
    input.download.sizeLimitReached = true;
    EXPECT_EQ(UpdateFeed(input).failure, CFeedFailure::TooLarge);
}

TEST_F(FeedUpdateTest, FailuresWithoutADocumentSayWhyAndOnlyTheFeedsOwnMarkTheRecord)
{
    // A 304 to a request without validators has no document behind it.
    StoreFeed(kUrl);
    CFeedUpdateInput input = Input();
    input.download.end = CDownloadEnd::NotModified;
    input.download.validators = {L"\"2\"", L""};
    CFeedUpdateResult result = UpdateFeed(input);
    EXPECT_EQ(result.failure, CFeedFailure::UnexpectedAnswer);
    EXPECT_TRUE(Stored().Empty());
    EXPECT_EQ(StoredFeed(kUrl).updateStatus, kFeedStatusFailed);

    // A download cut off by Cancel is no failure of the feed.
    FeedRecord record = StoredFeed(kUrl);
    record.updateStatus = 0;
    CZelviaRssDB::Instance().WriteFeed(record);
    input = Input();
    input.download.end = CDownloadEnd::Failed;
    input.download.failure = CFeedFailure::Timeout;
    input.cancelled = true;
    EXPECT_EQ(UpdateFeed(input).failure, CFeedFailure::Cancelled);
    EXPECT_NE(StoredFeed(kUrl).updateStatus, kFeedStatusFailed);
    input.cancelled = false;
    EXPECT_EQ(UpdateFeed(input).failure, CFeedFailure::Timeout);
    EXPECT_EQ(StoredFeed(kUrl).updateStatus, kFeedStatusFailed);

    input = Input();
    input.connected = false;
    result = UpdateFeed(input);
    EXPECT_EQ(result.failure, CFeedFailure::NoConnection);
    EXPECT_EQ(result.iconStatus, -1) << "the tree keeps its icon";

    // No record: none to write; a store that cannot be read says why.
    input.url = L"http://feeds.invalid/gone.rss";
    input.stored = CZelviaRssDB::Instance().LookUpFeed(input.url);
    result = UpdateFeed(input);
    EXPECT_EQ(result.failure, CFeedFailure::NoRecord);
    EXPECT_EQ(result.storeError, static_cast<DWORD>(ERROR_SUCCESS));
    input.stored = {};
    input.stored.error = ERROR_ACCESS_DENIED;
    result = UpdateFeed(input);
    EXPECT_EQ(result.failure, CFeedFailure::StoreError);
    EXPECT_EQ(result.storeError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(CZelviaRssDB::Instance().LookUpFeed(input.url).Found());
}
