// Page clean-up, dropping feeds that left the tree, page status with its
// counters, and merging a parsed feed into the store.

#include <gtest/gtest.h>

#include "StoreTestSupport.h"
#include "content/FeedParser.h"
#include "session/PageList.h"
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

    // "YYYY-MM-DD HH:MM:SS", a date text every reader of dates takes.
    static std::string DateText(const CDateTime& date)
    {
        CSystemTime st;
        date.GetAsSystemTime(st);
        char text[32];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", st.wYear, st.wMonth, st.wDay, st.wHour,
                      st.wMinute, st.wSecond);
        return text;
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

TEST_F(FeedManagerTest, PageStatusRecountsTheFeedAndKeepsDeletedPagesAsRecords)
{
    FeedRecord feed = FeedWithPages(L"http://a/", 3); // p0 read, p1 and p2 unread; the record says 3/3
    CRssItem page;
    page.feedId = feed.feedId;
    auto mark = [&](const wchar_t* key, PageState state) {
        page.link = key;
        FeedRecord record;
        const bool written = CRssFeedManager().SetPageStatus(page, state, record);
        return std::make_tuple(written, record.pageCount, record.unreadCount);
    };
    // The counters follow the pages, not what the record said before.
    EXPECT_EQ(mark(L"p1", PageStateRead), std::make_tuple(true, 3, 1));
    EXPECT_EQ(page.state, PageStateRead);
    EXPECT_EQ(mark(L"p1", PageStateRead), std::make_tuple(true, 3, 1)) << "already read";
    EXPECT_EQ(mark(L"p1", PageStateUnread), std::make_tuple(true, 3, 2));
    EXPECT_EQ(mark(L"p2", PageStateDeleted), std::make_tuple(true, 2, 1));
    EXPECT_EQ(mark(L"p0", PageStateDeleted), std::make_tuple(true, 1, 1)) << "a read page leaves unread alone";
    EXPECT_EQ(StoredKeys(feed.feedId), std::vector<std::wstring>{L"p1"});
    EXPECT_EQ(StoredKeys(feed.feedId, true).size(), 3u) << "deleted pages stay as records";
    EXPECT_EQ(std::get<0>(mark(L"p0", PageStateDeleted)), false) << "gone already";
    EXPECT_EQ(std::get<0>(mark(L"p0", PageStateUnread)), false) << "a deleted page is not brought back";
    EXPECT_EQ(mark(L"p1", PageStateDeleted), std::make_tuple(true, 0, 0));
    const FeedRecord stored = StoredFeed(L"http://a/");
    EXPECT_EQ(stored.pageCount, 0);
    EXPECT_EQ(stored.unreadCount, 0);
}

TEST_F(FeedManagerTest, ADeletedPageStaysDeletedWhileTheFeedStillCarriesIt)
{
    CSetting::Instance().SetMaxPages(0); // "20"
    FeedRecord record = StoreFeed(L"http://a/", L"A");
    std::string items;
    for (int i = 0; i < 3; ++i)
        items += Item("Item", "http://a/" + std::to_string(i), "Tue, 0" + std::to_string(i + 1) + " Dec 2026 10:00:00 +0000");
    auto channel = ParseXml(Rss(items));
    auto outline = FeedOutline(L"http://a/", L"A");
    auto update = [&] {
        const CPageMergeResult merged = MergeChannelPages(*channel, record.feedId, 20);
        EXPECT_TRUE(merged.stored);
        return FinishFeedUpdate(*outline, record, channel.get(), merged.written);
    };
    EXPECT_EQ(update().newPages, 3);
    CRssItem page;
    page.link = L"http://a/1";
    page.feedId = record.feedId;
    ASSERT_TRUE(CRssFeedManager().SetPageStatus(page, PageStateDeleted, record));
    EXPECT_EQ(update().newPages, 0) << "the deleted page does not come back as new";
    EXPECT_EQ(StoredKeys(record.feedId), (std::vector<std::wstring>{L"http://a/2", L"http://a/0"}));
    EXPECT_EQ(StoredFeed(L"http://a/").pageCount, 2);
    EXPECT_EQ(StoredFeed(L"http://a/").unreadCount, 2);
}

TEST_F(FeedManagerTest, DeletedPageRecordsGoOnlyWhenThePageWouldNotBeKeptAnyway)
{
    CSetting::Instance().SetMaxPages(0); // "20"
    FeedRecord feed = StoreFeed(L"http://a/");
    auto outline = FeedOutline(L"http://a/");
    // 20 live pages dated 1..20 November; deleted pages around the oldest.
    for (int day = 1; day <= 20; ++day)
        StorePage(feed.feedId, L"live" + std::to_wstring(day), At(11, day, 12));
    StorePage(feed.feedId, L"deleted-older", At(10, 30, 12), PageStateDeleted);
    StorePage(feed.feedId, L"deleted-same-day", At(11, 1, 12), PageStateDeleted);
    StorePage(feed.feedId, L"deleted-newer", At(11, 1, 13), PageStateDeleted);
    EXPECT_EQ(CRssFeedManager().CleanupFeed(*outline, true), 0) << "deleted pages are not counted as deleted";
    auto kept = StoredKeys(feed.feedId, true);
    EXPECT_EQ(std::count(kept.begin(), kept.end(), L"deleted-older"), 0) << "older than every kept page";
    EXPECT_EQ(std::count(kept.begin(), kept.end(), L"deleted-same-day"), 0) << "it would be trimmed at once";
    EXPECT_EQ(std::count(kept.begin(), kept.end(), L"deleted-newer"), 1) << "it would be kept: its record stays";
    EXPECT_EQ(StoredFeed(L"http://a/").pageCount, 20);

    // With fewer live pages than the limit every deleted page is still
    // needed, up to the limit; beyond it the oldest go.
    FeedRecord small = StoreFeed(L"http://b/");
    for (int i = 0; i < 25; ++i)
        StorePage(small.feedId, L"d" + std::to_wstring(i), At(11, 1, 0).AddDays(-i), PageStateDeleted);
    StorePage(small.feedId, L"live", At(12, 5, 0));
    CRssFeedManager().CleanupFeed(*FeedOutline(L"http://b/"), true);
    kept = StoredKeys(small.feedId, true);
    ASSERT_EQ(kept.size(), 21u);
    EXPECT_EQ(kept.back(), L"d19") << "the 20 newest deleted pages remain";
    EXPECT_EQ(StoredFeed(L"http://b/").pageCount, 1);

    // Expired deleted pages go with expired live ones.
    CSetting::Instance().SetExpireAfter(4); // "1 week"
    CRssFeedManager().CleanupFeed(*FeedOutline(L"http://b/"), true);
    EXPECT_EQ(StoredKeys(small.feedId, true), std::vector<std::wstring>{L"live"});
}

TEST_F(FeedManagerTest, StartUpCleanupPutsWrongCountersRightAndDropsOrphanedPages)
{
    FeedRecord feed = FeedWithPages(L"http://a/", 6); // the record claims 6/6; 4 are unread
    FeedRecord orphan;
    orphan.feedId = 424242;
    StorePage(orphan.feedId, L"lost", At(12, 1, 0)); // a feed id without record
    COpmlDoc doc;
    doc.outlines.push_back(FeedOutline(L"http://a/"));
    CRssFeedManager manager;
    EXPECT_EQ(manager.CleanupDB(doc), 0);
    EXPECT_TRUE(StoredKeys(orphan.feedId, true).empty());
    EXPECT_EQ(StoredKeys(feed.feedId).size(), 6u);
    manager.CleanupFeeds(doc.outlines, true);
    const FeedRecord stored = StoredFeed(L"http://a/");
    EXPECT_EQ(stored.pageCount, 6);
    EXPECT_EQ(stored.unreadCount, 4);
}

// A tree of many feeds is cleaned up from counts read for all feeds at
// once: the feeds they show settled are left alone, every other one is
// trimmed and recounted as it would be alone.
TEST_F(FeedManagerTest, ATreeOfManyFeedsIsCleanedUpFromCountsReadAtOnce)
{
    CSetting::Instance().SetMaxPages(0); // "20"
    COutlineList tree;
    {
        CRecordDatabase::CWriteGroup feeds(CZelviaRssDB::Instance());
        for (int feed = 0; feed < 1200; ++feed) {
            const std::wstring url = L"http://many/" + std::to_wstring(feed);
            StoreFeed(url);
            tree.push_back(FeedOutline(url));
        }
        feeds.Commit();
    }
    FeedWithPages(L"http://many/7", 25);                      // over the limit
    FeedRecord wrong = FeedWithPages(L"http://many/8", 6);     // claims 6 unread; 4 are
    FeedRecord tombstones = FeedWithPages(L"http://many/9", 3); // one page deleted by the user
    CRssItem deleted;
    deleted.link = L"p1";
    deleted.feedId = tombstones.feedId;
    ASSERT_TRUE(CRssFeedManager().SetPageStatus(deleted, PageStateDeleted, tombstones));
    tombstones.pageCount = 9; // wrong again
    CZelviaRssDB::Instance().WriteFeed(tombstones, CZelviaRssDB::Instance().FindFeedByUrl(L"http://many/9"));

    std::vector<std::uint32_t> ids = {StoredFeed(L"http://many/7").feedId, wrong.feedId, tombstones.feedId, 999999};
    std::vector<CZelviaRssItemDB::CPageCounts> counts;
    ASSERT_TRUE(CZelviaRssItemDB::Instance().CountFeedPages(ids, counts));
    ASSERT_EQ(counts.size(), 4u);
    for (size_t at = 0; at < ids.size(); ++at) {
        int pages = 0, unread = 0, dead = 0;
        ASSERT_TRUE(CZelviaRssItemDB::Instance().CountFeedPages(ids[at], pages, unread, &dead));
        EXPECT_EQ(counts[at].pages, pages) << at;
        EXPECT_EQ(counts[at].unread, unread) << at;
        EXPECT_EQ(counts[at].tombstones, dead) << at;
    }

    std::vector<CFeedCleanup> perFeed;
    EXPECT_EQ(CRssFeedManager().CleanupFeeds(tree, true, &perFeed), 5);
    EXPECT_EQ(perFeed.size(), 1200u);
    EXPECT_EQ(StoredKeys(StoredFeed(L"http://many/7").feedId).size(), 20u);
    EXPECT_EQ(StoredFeed(L"http://many/7").pageCount, 20);
    EXPECT_EQ(StoredFeed(L"http://many/8").unreadCount, 4);
    EXPECT_EQ(StoredFeed(L"http://many/9").pageCount, 2);
}

TEST_F(FeedManagerTest, MergingAddsOnlyNewPagesAndLeavesStoredOnesAlone)
{
    FeedRecord record = StoreFeed(L"http://a/", L"Old title");
    auto first = ParseXml(Rss(Item("One", "http://a/1", "Mon, 07 Dec 2026 10:00:00 +0100") +
                                    Item("One again", "http://a/1", "Mon, 07 Dec 2026 11:00:00 +0100") +
                                    Item("Podcast", "", "Mon, 07 Dec 2026 12:00:00 +0100", "http://a/ep.mp3") +
                                    Item("Nothing", "", "Mon, 07 Dec 2026 13:00:00 +0100")));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(MergeChannelPages(*first, record.feedId, 100).written, 2);
    auto outline = FeedOutline(L"http://a/", L"");
    const CFeedMergeResult result = FinishFeedUpdate(*outline, record, first.get(), 2);
    EXPECT_EQ(result.newPages, 2);
    EXPECT_TRUE(result.recordWritten);

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
    EXPECT_EQ(MergeChannelPages(*second, record.feedId, 100).written, 0);
    PageRecord kept;
    CZelviaRssItemDB& items = CZelviaRssItemDB::Instance();
    items.Read(kept, items.FindPage(L"http://a/1", record.feedId));
    EXPECT_EQ(kept.title, L"One");
    EXPECT_EQ(kept.state, PageStateRead);
    EXPECT_EQ(kept.date, CDateTime::FromParts(2026, 12, 7, 10, 0, 0));
}

TEST_F(FeedManagerTest, MergedFeedsAreRecountedFromTheirPages)
{
    CSetting::Instance().SetMaxPages(0);
    FeedRecord record = FeedWithPages(L"http://a/", 17); // 11 unread, though the record says 17
    record = StoredFeed(L"http://a/");
    std::string items;
    for (int i = 0; i < 5; ++i)
        items += Item("New", "http://a/new" + std::to_string(i), "Tue, 08 Dec 2026 1" + std::to_string(i) + ":00:00 +0100");
    auto channel = ParseXml(Rss(items, "<pubDate>Tue, 08 Dec 2026 09:00:00 +0100</pubDate>"));
    const int written = MergeChannelPages(*channel, record.feedId, 20).written;
    EXPECT_EQ(written, 5);
    auto outline = FeedOutline(L"http://a/", L"A");
    const CFeedMergeResult result = FinishFeedUpdate(*outline, record, channel.get(), written);
    EXPECT_EQ(result.deletedPages, 2);
    EXPECT_EQ(result.newPages, 3);
    const FeedRecord stored = StoredFeed(L"http://a/");
    EXPECT_EQ(stored.pageCount, 20);
    EXPECT_EQ(stored.unreadCount, 15) << "11 + 5 new, less the unread one of the two oldest trimmed";
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

TEST_F(FeedManagerTest, AHugeDocumentMergesOnlyWhatThePageLimitKeeps)
{
    CSetting::Instance().SetMaxPages(0); // "20"
    FeedRecord record = StoreFeed(L"http://big/");
    std::string items;
    items.reserve(70000 * 120);
    // Dated items, oldest first, and undated ones after them.
    for (int i = 0; i < 60000; ++i)
        items += "<item><title>t</title><link>http://big/" + std::to_string(i) + "</link><pubDate>" +
                 DateText(At(1, 1, 0).AddDays(i / 1440.0)) + "</pubDate></item>";
    for (int i = 0; i < 10000; ++i)
        items += "<item><title>t</title><link>http://big/undated" + std::to_string(i) + "</link></item>";
    auto channel = ParseXml(Rss(items));
    ASSERT_EQ(channel->items.size(), 70000u);
    const CPageMergeResult merged = MergeChannelPages(*channel, record.feedId, 20);
    EXPECT_EQ(merged.written, 40) << "the 20 newest dated items and 20 undated ones";
    auto outline = FeedOutline(L"http://big/", L"Big");
    const CFeedMergeResult result = FinishFeedUpdate(*outline, record, channel.get(), merged.written);
    EXPECT_EQ(result.deletedPages, 20) << "undated pages sort oldest";
    const auto keys = StoredKeys(record.feedId);
    ASSERT_EQ(keys.size(), 20u);
    EXPECT_EQ(keys.front(), L"http://big/59999");
    EXPECT_EQ(keys.back(), L"http://big/59980");
}

// Pages found again on the next run, whatever names them: a page stored
// under a relative link as written is the item whose link now resolves, and
// a page known only by its guid is the user's to mark like any other.
TEST_F(FeedManagerTest, PagesNamedByAGuidOrARelativeLinkAreFoundAgain)
{
    FeedRecord record = StoreFeed(L"http://a.example/feed.xml");
    StorePage(record.feedId, L"posts/1", At(12, 1, 9), PageStateRead);
    const std::wstring path = WriteHomeFile("feed.xml", Rss("<item><title>Relative</title><link>posts/1</link></item>"
                                                            "<item><title>Guid only</title><guid isPermaLink='false'>"
                                                            "note-2</guid></item>"));
    const auto channel = ParseFeedFile(path, 0, L"http://a.example/feed.xml");
    ASSERT_NE(channel, nullptr);
    ASSERT_EQ(channel->items.size(), 2u);
    EXPECT_EQ(channel->items[0]->link, L"http://a.example/posts/1");
    EXPECT_EQ(MergeChannelPages(*channel, record.feedId, 20).written, 1) << "only the guid's page is new";

    CPageList list;
    ASSERT_TRUE(list.LoadFeed(L"http://a.example/feed.xml", record));
    ASSERT_EQ(list.Size(), 2u);
    CRssItem* guidPage = nullptr;
    for (const auto& page : list.Pages())
        guidPage = page->link.empty() ? page.get() : guidPage;
    ASSERT_NE(guidPage, nullptr);
    ASSERT_TRUE(ChangePageState(*guidPage, PageStateRead, record));
    EXPECT_EQ(StoredFeed(L"http://a.example/feed.xml").unreadCount, 0);
    EXPECT_EQ(MergeChannelPages(*channel, record.feedId, 20).written, 0);
}

} // namespace
