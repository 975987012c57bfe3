// Page clean-up, dropping feeds that left the tree, page status with its
// counters, and merging a parsed feed into the store.

#include <gtest/gtest.h>

#include "StoreTestSupport.h"
#include "content/FeedParser.h"
#include "update/FeedManager.h"
#include "update/FeedMerge.h"
#include "update/Setting.h"

namespace {

class FeedManagerTest : public CTempHomeTest {
protected:
    void SetUp() override
    {
        CTempHomeTest::SetUp();
        SetTimeZone("Europe/Berlin");
        SetCurrentTimeForTesting(LocalTimePoint(2026, 12, 8, 15, 30));
    }

    static std::unique_ptr<COutline> FeedOutline(const std::wstring& url, const std::wstring& title = L"Feed")
    {
        auto outline = std::make_unique<COutline>();
        outline->xmlUrl = url;
        outline->title = title;
        outline->kind = OutlineKindFeed;
        return outline;
    }

    static CDateTime At(int month, int day, int hour, int minute = 0)
    {
        return CDateTime::FromParts(2026, month, day, hour, minute, 0);
    }

    // A feed with n pages dated an hour apart (the newest first in key
    // order: p0 is the newest), every third one read.
    FeedRecord FeedWithPages(const std::wstring& url, int n)
    {
        FeedRecord feed = StoreFeed(url);
        for (int i = 0; i < n; ++i)
            StorePage(feed.feedId, L"p" + std::to_wstring(i), At(12, 1, 0).AddDays(-i / 24.0),
                      i % 3 == 0 ? PageStateRead : PageStateUnread);
        feed.pageCount = feed.unreadCount = n;
        CZelviaRssDB::Instance().WriteFeed(feed);
        return feed;
    }

    std::unique_ptr<CRssChannel> ParseXml(const std::string& xml)
    {
        return ParseFeedFile(WriteHomeFile("feed.xml", xml));
    }
};

TEST_F(FeedManagerTest, ThePageLimitDeletesTheOldestWhateverTheirState)
{
    CSetting::Instance().SetMaxPages(0); // "20"
    const FeedRecord feed = FeedWithPages(L"http://a/", 25);
    auto outline = FeedOutline(L"http://a/");
    std::string lines;
    lines = DebugLinesOf([&] { EXPECT_EQ(CRssFeedManager().CleanupFeed(*outline, true), 5); });
    EXPECT_NE(lines.find("[CRssFeedManager::CleanupFeed] [25/25] Feed >> Checked"), std::string::npos) << lines;
    EXPECT_NE(lines.find("Total [25] MaxPage :[20] Delete [5]"), std::string::npos) << lines;
    const auto keys = StoredKeys(feed.feedId);
    ASSERT_EQ(keys.size(), 20u);
    EXPECT_EQ(keys.front(), L"p0");
    EXPECT_EQ(keys.back(), L"p19");
    const FeedRecord after = StoredFeed(L"http://a/");
    EXPECT_EQ(after.pageCount, 20);
    EXPECT_EQ(after.unreadCount, 13) << "p1..p19 without p3, p6, ..., p18";

    EXPECT_EQ(CRssFeedManager().CleanupFeed(*outline, true), 0) << "nothing more to do";
    EXPECT_EQ(CRssFeedManager().CleanupFeed(*FeedOutline(L"http://unknown/"), true), 0);
}

TEST_F(FeedManagerTest, PagesWithEqualDatesAtTheLimitKeepTheFirstRead)
{
    CSetting::Instance().SetMaxPages(0);
    FeedRecord feed = StoreFeed(L"http://a/");
    for (int i = 0; i < 22; ++i)
        StorePage(feed.feedId, L"same-" + std::to_wstring(100 + i), At(11, 1, 9));
    EXPECT_EQ(CRssFeedManager().CleanupFeed(*FeedOutline(L"http://a/"), false), 2);
    const auto keys = StoredKeys(feed.feedId);
    ASSERT_EQ(keys.size(), 20u);
    EXPECT_EQ(keys.back(), L"same-119");
    EXPECT_EQ(StoredFeed(L"http://a/").pageCount, 0) << "without counter correction the record is not written";
}

TEST_F(FeedManagerTest, ExpiryCutsAtLocalMidnightOfTheDayThatManyDaysBack)
{
    CSetting::Instance().SetExpireAfter(1); // "1 day": the cutoff is 7 December 00:00
    FeedRecord feed = StoreFeed(L"http://a/");
    StorePage(feed.feedId, L"yesterday-10h", At(12, 7, 10));
    StorePage(feed.feedId, L"yesterday-midnight", At(12, 7, 0));
    StorePage(feed.feedId, L"day-before-23:59", At(12, 6, 23, 59));
    StorePage(feed.feedId, L"today", At(12, 8, 1), PageStateRead);
    EXPECT_EQ(CRssFeedManager().CleanupFeed(*FeedOutline(L"http://a/"), true), 2);
    EXPECT_EQ(StoredKeys(feed.feedId), (std::vector<std::wstring>{L"today", L"yesterday-10h"}));
    const FeedRecord after = StoredFeed(L"http://a/");
    EXPECT_EQ(after.pageCount, 2);
    EXPECT_EQ(after.unreadCount, 1);

    CSetting::Instance().SetExpireAfter(0); // "Not available"
    StorePage(feed.feedId, L"ancient", CDateTime::FromParts(1999, 1, 1, 0, 0, 0));
    EXPECT_EQ(CRssFeedManager().CleanupFeed(*FeedOutline(L"http://a/"), true), 0);
}

TEST_F(FeedManagerTest, AnUnknownPageLimitKeepsTheDefaultInsteadOfEmptyingFeeds)
{
    CRegKey base, key;
    base.Create(HKEY_CURRENT_USER, kSettingsKey);
    key.Create(base, kSettingsSubKey);
    key.SetDWORDValue(L"MaxPages", 99);
    CSetting::DestroyInstance();
    const FeedRecord feed = FeedWithPages(L"http://a/", 30);
    EXPECT_EQ(CRssFeedManager().CleanupFeed(*FeedOutline(L"http://a/"), true), 0);
    EXPECT_EQ(StoredKeys(feed.feedId).size(), 30u);
}

TEST_F(FeedManagerTest, CleanupFeedsWalksTheWholeTreeAndReportsEachFeed)
{
    CSetting::Instance().SetMaxPages(0);
    FeedWithPages(L"http://a/", 21);
    FeedWithPages(L"http://b/", 23);
    COutlineList tree;
    auto folder = std::make_unique<COutline>();
    folder->title = L"Folder";
    folder->kind = OutlineKindFolder;
    folder->children.push_back(FeedOutline(L"http://b/", L"B"));
    tree.push_back(FeedOutline(L"http://a/", L"A"));
    tree.push_back(std::move(folder));
    std::vector<CFeedCleanup> perFeed;
    EXPECT_EQ(CRssFeedManager().CleanupFeeds(tree, true, &perFeed), 4);
    ASSERT_EQ(perFeed.size(), 2u);
    EXPECT_EQ(perFeed[0].url, L"http://a/");
    EXPECT_EQ(perFeed[0].deleted, 1);
    EXPECT_EQ(perFeed[1].title, L"B");
    EXPECT_EQ(perFeed[1].deleted, 3);
}

TEST_F(FeedManagerTest, CleanupDBDropsFeedsTheTreeNoLongerHasWithTheirPages)
{
    const FeedRecord kept = FeedWithPages(L"http://kept/", 3);
    const FeedRecord moved = FeedWithPages(L"http://moved/", 2);
    const FeedRecord gone = FeedWithPages(L"http://gone/", 4);
    const FeedRecord cased = FeedWithPages(L"http://Case/", 1);
    COpmlDoc doc;
    doc.outlines.push_back(FeedOutline(L"http://kept/"));
    auto folder = std::make_unique<COutline>();
    folder->kind = OutlineKindFolder;
    folder->children.push_back(FeedOutline(L"http://moved/"));
    folder->children.push_back(FeedOutline(L"http://case/"));
    doc.outlines.push_back(std::move(folder));

    std::string lines;
    lines = DebugLinesOf([&] { EXPECT_EQ(CRssFeedManager().CleanupDB(doc), 2); });
    EXPECT_NE(lines.find("[CRssFeedManager::CleanupDB] >> START"), std::string::npos);
    EXPECT_NE(lines.find("New Search [http://gone/]"), std::string::npos);
    EXPECT_NE(lines.find("OID [0] New Search []"), std::string::npos);
    EXPECT_EQ(StoredFeed(L"http://gone/").url, L"");
    EXPECT_EQ(StoredFeed(L"http://Case/").url, L"") << "urls differing in case are different feeds";
    EXPECT_TRUE(StoredKeys(gone.feedId).empty());
    EXPECT_TRUE(StoredKeys(cased.feedId).empty());
    EXPECT_EQ(StoredKeys(kept.feedId).size(), 3u);
    EXPECT_EQ(StoredKeys(moved.feedId).size(), 2u);
}

TEST_F(FeedManagerTest, PageStatusFollowsTheCounterTable)
{
    FeedRecord feed = FeedWithPages(L"http://a/", 3); // p0 read, p1 and p2 unread
    CRssItem page;
    page.feedId = feed.feedId;
    auto mark = [&](const wchar_t* key, PageState state) {
        page.link = key;
        FeedRecord record;
        const bool written = CRssFeedManager().SetPageStatus(page, state, record);
        return std::make_tuple(written, record.pageCount, record.unreadCount);
    };
    EXPECT_EQ(mark(L"p1", PageStateRead), std::make_tuple(true, 3, 2));
    EXPECT_EQ(page.state, PageStateRead);
    EXPECT_EQ(mark(L"p1", PageStateRead), std::make_tuple(true, 3, 2)) << "already read";
    EXPECT_EQ(mark(L"p1", PageStateUnread), std::make_tuple(true, 3, 3));
    EXPECT_EQ(mark(L"p2", PageStateUnread), std::make_tuple(true, 3, 3)) << "already unread";
    EXPECT_EQ(mark(L"p2", PageStateDeleted), std::make_tuple(true, 2, 2));
    EXPECT_EQ(mark(L"p0", PageStateDeleted), std::make_tuple(true, 1, 2)) << "a read page leaves unread alone";
    EXPECT_EQ(StoredKeys(feed.feedId), std::vector<std::wstring>{L"p1"});
    EXPECT_EQ(mark(L"p0", PageStateDeleted), std::make_tuple(false, 0, 0)) << "gone already";
    EXPECT_EQ(StoredKeys(feed.feedId), std::vector<std::wstring>{L"p1"}) << "and not stored again";

    // Counters never go below zero, whatever the record said.
    feed = StoredFeed(L"http://a/");
    feed.unreadCount = 0;
    feed.pageCount = 0;
    CZelviaRssDB::Instance().WriteFeed(feed);
    EXPECT_EQ(mark(L"p1", PageStateDeleted), std::make_tuple(true, 0, 0));
}

std::string Rss(const std::string& items, const std::string& channelExtra = "")
{
    return "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>T</title><description>About</description>" +
           channelExtra + items + "</channel></rss>";
}

std::string Item(const std::string& title, const std::string& link, const std::string& date,
                 const std::string& enclosure = "")
{
    std::string xml = "<item><title>" + title + "</title>";
    if (!link.empty())
        xml += "<link>" + link + "</link>";
    if (!enclosure.empty())
        xml += "<enclosure url=\"" + enclosure + "\" length=\"123\" type=\"audio/mpeg\"/>";
    return xml + "<pubDate>" + date + "</pubDate></item>";
}

TEST_F(FeedManagerTest, MergingAddsOnlyNewPagesAndLeavesStoredOnesAlone)
{
    FeedRecord record = StoreFeed(L"http://a/", L"Old title");
    auto first = ParseXml(Rss(Item("One", "http://a/1", "Mon, 07 Dec 2026 10:00:00 +0100") +
                                    Item("One again", "http://a/1", "Mon, 07 Dec 2026 11:00:00 +0100") +
                                    Item("Podcast", "", "Mon, 07 Dec 2026 12:00:00 +0100", "http://a/ep.mp3") +
                                    Item("Nothing", "", "Mon, 07 Dec 2026 13:00:00 +0100")));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(MergeChannelPages(*first, record.feedId), 2);
    auto outline = FeedOutline(L"http://a/", L"");
    const CFeedMergeResult result = FinishFeedUpdate(*outline, record, first.get(), 2);
    EXPECT_EQ(result.newPages, 2);
    EXPECT_TRUE(result.recordWritten);
    EXPECT_EQ(outline->status, kOutlineStatusUpdated);

    FeedRecord stored = StoredFeed(L"http://a/");
    EXPECT_EQ(stored.pageCount, 2);
    EXPECT_EQ(stored.unreadCount, 2);
    EXPECT_EQ(stored.title, kUntitledFeed) << "an outline without title or text";
    EXPECT_EQ(stored.description, L"About");
    EXPECT_EQ(stored.updateStatus, kFeedStatusUpdated);
    EXPECT_EQ(stored.lastDate, CDateTime::FromParts(2026, 12, 8, 15, 30, 0)) << "no channel date: now";
    EXPECT_EQ(StoredKeys(record.feedId), (std::vector<std::wstring>{L"http://a/ep.mp3", L"http://a/1"}));

    // The page read since, and changed in the document, stays as it was.
    CRssItem page;
    page.link = L"http://a/1";
    page.feedId = record.feedId;
    CRssFeedManager().SetPageStatus(page, PageStateRead, stored);
    auto second = ParseXml(Rss(Item("Renamed", "http://a/1", "Tue, 08 Dec 2026 10:00:00 +0100") +
                                     Item("Podcast", "", "Mon, 07 Dec 2026 12:00:00 +0100", "http://a/ep.mp3")));
    EXPECT_EQ(MergeChannelPages(*second, record.feedId), 0);
    PageRecord kept;
    CZelviaRssItemDB& items = CZelviaRssItemDB::Instance();
    items.Read(kept, items.FindPage(L"http://a/1", record.feedId));
    EXPECT_EQ(kept.title, L"One");
    EXPECT_EQ(kept.state, PageStateRead);
    EXPECT_EQ(kept.date, CDateTime::FromParts(2026, 12, 7, 10, 0, 0));
}

TEST_F(FeedManagerTest, MergedCountersAreNewPagesMinusWhatTheCleanupRemoved)
{
    CSetting::Instance().SetMaxPages(0);
    FeedRecord record = FeedWithPages(L"http://a/", 17); // 11 unread
    record = StoredFeed(L"http://a/");
    std::string items;
    for (int i = 0; i < 5; ++i)
        items += Item("New", "http://a/new" + std::to_string(i), "Tue, 08 Dec 2026 1" + std::to_string(i) + ":00:00 +0100");
    auto channel = ParseXml(Rss(items, "<pubDate>Tue, 08 Dec 2026 09:00:00 +0100</pubDate>"));
    const int written = MergeChannelPages(*channel, record.feedId);
    EXPECT_EQ(written, 5);
    auto outline = FeedOutline(L"http://a/", L"A");
    const CFeedMergeResult result = FinishFeedUpdate(*outline, record, channel.get(), written);
    EXPECT_EQ(result.deletedPages, 2);
    EXPECT_EQ(result.newPages, 3);
    const FeedRecord stored = StoredFeed(L"http://a/");
    EXPECT_EQ(stored.pageCount, 17 + 3);
    EXPECT_EQ(stored.unreadCount, 17 + 3) << "the stored counter, grown by 5 and lowered by 2";
    EXPECT_EQ(stored.title, L"A");
    EXPECT_EQ(stored.lastDate, CDateTime::FromParts(2026, 12, 8, 9, 0, 0));
    EXPECT_EQ(StoredKeys(record.feedId).size(), 20u);

    // A feed whose document could not be read is still trimmed, but its
    // record is left for the clean-up after the run.
    StorePage(record.feedId, L"extra", At(12, 8, 14));
    const CFeedMergeResult failed = FinishFeedUpdate(*outline, record, nullptr, 0);
    EXPECT_EQ(failed.deletedPages, 1);
    EXPECT_FALSE(failed.recordWritten);
    EXPECT_EQ(StoredFeed(L"http://a/").pageCount, 20);
}

TEST_F(FeedManagerTest, SeventyThousandPagesInOneFeedAreTrimmedToTheLimit)
{
    CSetting::Instance().SetMaxPages(4); // "200"
    FeedRecord record = StoreFeed(L"http://big/");
    std::string items;
    items.reserve(70000 * 120);
    for (int i = 0; i < 70000; ++i)
        items += "<item><title>t</title><link>http://big/" + std::to_string(i) + "</link></item>";
    auto channel = ParseXml(Rss(items));
    ASSERT_EQ(channel->items.size(), 70000u);
    const int written = MergeChannelPages(*channel, record.feedId);
    EXPECT_EQ(written, 70000);
    auto outline = FeedOutline(L"http://big/", L"Big");
    const CFeedMergeResult result = FinishFeedUpdate(*outline, record, channel.get(), written);
    EXPECT_EQ(result.deletedPages, 70000 - 200);
    const FeedRecord stored = StoredFeed(L"http://big/");
    EXPECT_EQ(stored.pageCount, 200);
    EXPECT_EQ(stored.unreadCount, 200);
    EXPECT_EQ(StoredKeys(record.feedId).size(), 200u);
}

} // namespace
