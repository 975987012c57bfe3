// The sync in this process, against the real server: what a black-box run
// cannot pin down (the clock, a full disk).
#include "SyncTestSupport.h"
#include "platform/Unicode.h"
#include "store/FeedDatabase.h"
#include "store/ItemDatabase.h"
#include "store/SyncStore.h"
#include "support/FailingVfs.h"
#include "update/AccountSync.h"
#include "update/FeedManager.h"

namespace {

class CSyncRunTest : public CSyncTest {
protected:
    void SetUp() override
    {
        FailingVfs::Install();
        CSyncTest::SetUp();
    }
    void TearDown() override
    {
        FailingVfs::Heal();
        CSyncTest::TearDown();
    }

    CAccountSyncResult Sync()
    {
        const std::optional<CSyncAccount> account = LoadSyncAccount();
        EXPECT_TRUE(account.has_value());
        CAccountSync sync(*account, CCleanupLimits{}, std::chrono::seconds(30));
        return sync.Run();
    }

    // Marks a stored page here as the lists do; the mark is queued, not sent.
    void MarkHere(const std::string& url, const std::string& key, PageState state)
    {
        FeedRecord feed;
        CZelviaRssDB& feeds = CZelviaRssDB::Instance();
        ASSERT_TRUE(feeds.ReadFeed(feed, feeds.FindFeedByUrl(Utf8ToWide(url))));
        CRssItem page;
        page.link = Utf8ToWide(key);
        page.feedId = feed.feedId;
        ASSERT_TRUE(CRssFeedManager().SetPageStatus(page, state, feed));
    }

    PageState StateHere(const std::string& url, const std::string& key)
    {
        FeedRecord feed;
        CZelviaRssDB& feeds = CZelviaRssDB::Instance();
        EXPECT_TRUE(feeds.ReadFeed(feed, feeds.FindFeedByUrl(Utf8ToWide(url))));
        PageRecord page;
        EXPECT_TRUE(CZelviaRssItemDB::Instance().Read(page, CZelviaRssItemDB::Instance().FindPage(Utf8ToWide(key), feed.feedId)));
        return page.state;
    }
};

// Both sides changed one article since the last sync: the server does not
// say when it did, so its change counts as made halfway between the two
// syncs, and the later of it and the mark made here wins.
TEST_F(CSyncRunTest, TheLaterMarkWins)
{
    const std::string alpha = ServeFeed("alpha", 1, 2);
    const int alphaId = ServerSubscribe("alpha");
    SetAccount();
    const auto start = UtcTimePoint(2026, 5, 4, 12, 0);
    SetCurrentTimeForTesting(start);
    ASSERT_FALSE(Sync().error);

    // Read and unread again here: once a minute after the sync, once nine
    // minutes after; the server reads both meanwhile.
    for (const auto& [item, minute] : {std::pair{1, 1}, std::pair{2, 9}}) {
        SetCurrentTimeForTesting(start + std::chrono::seconds(minute * 60 - 30));
        MarkHere(alpha, ItemLink("alpha", item), PageStateRead);
        SetCurrentTimeForTesting(start + std::chrono::minutes(minute));
        MarkHere(alpha, ItemLink("alpha", item), PageStateUnread);
        ServerMark(ServerArticle(alphaId, ItemLink("alpha", item))["id"], false);
    }
    SetCurrentTimeForTesting(start + std::chrono::minutes(10));
    const CAccountSyncResult result = Sync();
    ASSERT_FALSE(result.error) << SyncFailureName(result.error.failure);
    EXPECT_EQ(result.marksSent, 1);
    EXPECT_EQ(result.marksOverruled, 1);
    EXPECT_EQ(StateHere(alpha, ItemLink("alpha", 1)), PageStateRead);
    EXPECT_EQ(ServerArticle(alphaId, ItemLink("alpha", 1))["unread"], false);
    EXPECT_EQ(StateHere(alpha, ItemLink("alpha", 2)), PageStateUnread);
    EXPECT_EQ(ServerArticle(alphaId, ItemLink("alpha", 2))["unread"], true);
    int queued = -1;
    EXPECT_TRUE(CSyncStore().CountQueue(queued));
    EXPECT_EQ(queued, 0);
}

TEST_F(CSyncRunTest, AFullDiskStoresNothingOfTheSync)
{
    const std::string alpha = ServeFeed("alpha", 1, 3);
    ServerSubscribe("alpha");
    SetAccount();
    FailingVfs::FailWrites("RSSITEM.CDB");
    const CAccountSyncResult failed = Sync();
    FailingVfs::Heal();
    EXPECT_EQ(failed.error.failure, CSyncFailure::StoreError);
    EXPECT_NE(SyncFailureText(failed.error).find(L"disk is full"), std::wstring::npos);
    CSyncState state;
    ASSERT_TRUE(CSyncStore().ReadState(state));
    EXPECT_EQ(state.lastArticleId, 0u) << "the sync's progress went with its pages";
    std::vector<CSyncTreeEntry> tree;
    ASSERT_TRUE(CSyncStore().ReadTree(tree));
    EXPECT_TRUE(tree.empty());

    const CAccountSyncResult healed = Sync();
    ASSERT_FALSE(healed.error);
    ASSERT_EQ(healed.feeds.size(), 1u);
    EXPECT_EQ(healed.feeds[0].newPages, 3);
}

} // namespace
