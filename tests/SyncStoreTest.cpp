// The marks waiting for the sync account's server, in the item volume.
#include <gtest/gtest.h>

#include "StoreTestSupport.h"
#include "store/SyncStore.h"
#include "support/FailingVfs.h"
#include "update/FeedManager.h"

namespace {

class SyncStoreTest : public CTempHomeTest {
protected:
    void SetUp() override
    {
        FailingVfs::Install();
        CTempHomeTest::SetUp();
    }
    void TearDown() override
    {
        FailingVfs::Heal();
        CTempHomeTest::TearDown();
    }

    bool Mark(FeedRecord& feed, const std::wstring& key, PageState state)
    {
        CRssItem page;
        page.link = key;
        page.feedId = feed.feedId;
        return CRssFeedManager().SetPageStatus(page, state, feed);
    }

    std::vector<CQueuedMark> Queue()
    {
        std::vector<CQueuedMark> marks;
        EXPECT_TRUE(CSyncStore().ReadQueue(marks));
        return marks;
    }
};

TEST_F(SyncStoreTest, AMarkOfAServerArticleIsQueuedWithItsPageOrNotAtAll)
{
    FeedRecord feed = StoreFeed(L"http://server/feed");
    StorePage(feed.feedId, L"http://a/1", CDateTime::FromParts(2026, 1, 1, 0, 0, 0));
    StorePage(feed.feedId, L"http://a/local", CDateTime::FromParts(2026, 1, 2, 0, 0, 0));
    ASSERT_TRUE(CSyncStore().WriteArticle({41, feed.feedId, L"http://a/1", true}));

    FailingVfs::FailWrites("RSSITEM.CDB");
    EXPECT_FALSE(Mark(feed, L"http://a/1", PageStateRead));
    FailingVfs::Heal();
    EXPECT_TRUE(Queue().empty());
    std::vector<PageRecord> pages;
    ASSERT_TRUE(CZelviaRssItemDB::Instance().ReadFeedPages(feed.feedId, pages));
    for (const PageRecord& page : pages)
        EXPECT_EQ(page.state, PageStateUnread);

    ASSERT_TRUE(Mark(feed, L"http://a/1", PageStateRead));
    ASSERT_TRUE(Mark(feed, L"http://a/local", PageStateRead)) << "a page no server article stands for";
    ASSERT_EQ(Queue().size(), 1u);
    EXPECT_EQ(Queue()[0].articleId, 41u);
    EXPECT_FALSE(Queue()[0].unread);

    // Marked unread again: one mark, the latest, waits.
    ASSERT_TRUE(Mark(feed, L"http://a/1", PageStateUnread));
    ASSERT_EQ(Queue().size(), 1u);
    EXPECT_TRUE(Queue()[0].unread);
    // A deleted page goes out as read.
    ASSERT_TRUE(Mark(feed, L"http://a/1", PageStateDeleted));
    ASSERT_EQ(Queue().size(), 1u);
    EXPECT_FALSE(Queue()[0].unread);
}

TEST_F(SyncStoreTest, AMarkMadeWhileTheQueueWentOutStaysQueued)
{
    CSyncStore store;
    ASSERT_TRUE(store.QueueMark(7, false, 100));
    ASSERT_TRUE(store.QueueMark(8, true, 100));
    const std::vector<CQueuedMark> sent = Queue();
    ASSERT_EQ(sent.size(), 2u);
    // Article 7 is marked again while the first two are on their way.
    ASSERT_TRUE(store.QueueMark(7, true, 200));
    ASSERT_TRUE(store.RemoveQueued(sent));
    const std::vector<CQueuedMark> left = Queue();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].articleId, 7u);
    EXPECT_TRUE(left[0].unread);
    EXPECT_EQ(left[0].madeAt, 200u);
}

TEST_F(SyncStoreTest, TheServersUnreadArticlesAreCountedPerFeed)
{
    CSyncStore store;
    ASSERT_TRUE(store.WriteArticle({1, 10, L"a", true}));
    ASSERT_TRUE(store.WriteArticle({2, 10, L"b", false}));
    ASSERT_TRUE(store.WriteArticle({3, 10, L"c", true}));
    ASSERT_TRUE(store.WriteArticle({4, 11, L"a", true}));
    ASSERT_TRUE(store.WriteArticle({3, 10, L"c", false})); // seen read since
    int unread = -1;
    ASSERT_TRUE(store.CountServerUnread(10, unread));
    EXPECT_EQ(unread, 1);
    std::vector<CSyncArticle> articles;
    ASSERT_TRUE(store.ReadArticlesOfFeed(10, articles));
    EXPECT_EQ(articles.size(), 3u);
    ASSERT_TRUE(store.DeleteArticlesOfFeed(10));
    ASSERT_TRUE(store.ReadArticlesOfFeed(10, articles));
    EXPECT_TRUE(articles.empty());
    EXPECT_TRUE(store.FindArticle(4).has_value());
}

} // namespace
