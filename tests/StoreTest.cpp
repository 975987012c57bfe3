// The item and feed databases: record layouts, keys, orders, look-ups,
// deletions, dates, ids, and what they make of damaged volumes and records.

#include <gtest/gtest.h>

#include <filesystem>
#include <bit>
#include <set>

#include "StoreTestSupport.h"
#include "platform/Unicode.h"
#include "store/DataStorage.h"

namespace fs = std::filesystem;

namespace {

class StoreTest : public CTempHomeTest {
protected:
    static CDateTime Day(int day, int hour = 12) { return CDateTime::FromParts(2026, 11, day, hour, 0, 0); }
    CZelviaRssItemDB& Items() { return CZelviaRssItemDB::Instance(); }
    CZelviaRssDB& Feeds() { return CZelviaRssDB::Instance(); }
    std::string VolumePath(const wchar_t* name) { return WideToUtf8(GetDataFolderFile(name)); }

    // Writes raw properties into a database of the same volume, as a
    // foreign or damaged program might have.
    CEOID WriteRaw(const wchar_t* volume, const wchar_t* database, const std::vector<CEPROPVAL>& props)
    {
        Items(), Feeds(); // both databases exist
        CEGUID guid;
        EXPECT_TRUE(CeMountDBVol(&guid, GetDataFolderFile(volume), OPEN_ALWAYS));
        CEOID oid = 0;
        HCEDB db = CeOpenDatabaseEx2(&guid, &oid, database, nullptr, 0);
        const CEOID written = CeWriteRecordProps(db, 0, props);
        CloseHandle(db);
        CeUnmountDBVol(&guid);
        return written;
    }
};

TEST_F(StoreTest, FirstUseCreatesBothVolumesAndReadsNothing)
{
    EXPECT_TRUE(Items().IsOpen());
    EXPECT_TRUE(Feeds().IsOpen());
    EXPECT_TRUE(fs::exists(VolumePath(kItemVolumeName)));
    EXPECT_TRUE(fs::exists(VolumePath(kFeedVolumeName)));
    EXPECT_EQ(Items().GetSortOrder(), kItemOrderByFeed);
    EXPECT_EQ(Feeds().GetSortOrder(), kFeedOrderByUrl);
    PageRecord page;
    const std::string lines = DebugLinesOf([&] {
        Items().SeekNewest();
        EXPECT_EQ(Items().Read(page), 0u);
    });
    EXPECT_NE(lines.find("<ZELVIA> : [CZelviaRssItemDB::Read] Read through all records in the database."),
              std::string::npos);
}

TEST_F(StoreTest, PagesAreFoundByKeyWithinTheirOwnFeedOnly)
{
    const FeedRecord a = StoreFeed(L"http://a/"), b = StoreFeed(L"http://b/"), c = StoreFeed(L"http://c/");
    const CEOID inA = StorePage(a.feedId, L"http://shared/1", Day(1));
    const CEOID inB = StorePage(b.feedId, L"http://shared/1", Day(2));
    StorePage(c.feedId, L"http://other/", Day(3));
    EXPECT_NE(inA, inB);
    EXPECT_EQ(Items().FindPage(L"http://shared/1", a.feedId), inA);
    EXPECT_EQ(Items().FindPage(L"http://shared/1", b.feedId), inB);
    EXPECT_EQ(Items().FindPage(L"http://shared/1", c.feedId), 0u);
    EXPECT_EQ(Items().FindPage(L"http://shared/2", a.feedId), 0u);
    EXPECT_EQ(Items().FindPage(L"", a.feedId), 0u);

    // Writing with id 0 finds the page again instead of adding a second one.
    PageRecord again;
    ASSERT_EQ(Items().Read(again, inA), inA);
    again.title = L"changed";
    EXPECT_EQ(Items().WritePage(again), inA);
    EXPECT_EQ(StoredKeys(a.feedId).size(), 1u);

    PageRecord nameless;
    nameless.feedId = a.feedId;
    EXPECT_EQ(Items().WritePage(nameless), 0u) << "a page without a key is not stored";
    EXPECT_EQ(PageKeyOf(L"", L"http://enc/x.mp3"), L"http://enc/x.mp3");
    EXPECT_EQ(PageKeyOf(L"http://link/", L"http://enc/x.mp3"), L"http://link/");
}

TEST_F(StoreTest, PagesKeepEveryFieldAndWalkNewestFirst)
{
    const FeedRecord a = StoreFeed(L"http://a/"), b = StoreFeed(L"http://b/");
    PageRecord page;
    page.feedId = a.feedId;
    page.key = L"http://a/enclosure.mp3";
    page.state = PageStateRead;
    page.enclosureUrl = L"http://a/enclosure.mp3";
    page.enclosureLength = 4000000000u;
    page.title = L"Tītle \"quoted\"";
    page.description = std::wstring(5000, L'd'); // longer than pages keep
    page.date = CDateTime::FromParts(2026, 2, 3, 4, 5, 6, 789);
    const CEOID oid = Items().WritePage(page);
    PageRecord read;
    ASSERT_EQ(Items().Read(read, oid), oid);
    EXPECT_EQ(read.feedId, a.feedId);
    EXPECT_EQ(read.reserved, 0);
    EXPECT_EQ(read.state, PageStateRead);
    EXPECT_EQ(read.key, page.key);
    EXPECT_EQ(read.link, L"");
    EXPECT_EQ(read.enclosureUrl, page.enclosureUrl);
    EXPECT_EQ(read.enclosureLength, 4000000000u);
    EXPECT_EQ(read.title, page.title);
    EXPECT_EQ(read.description.size(), kMaxDescriptionLength);
    EXPECT_EQ(read.date, CDateTime::FromParts(2026, 2, 3, 4, 5, 6)) << "milliseconds are not stored";

    StorePage(a.feedId, L"old", Day(1));
    StorePage(b.feedId, L"b-new", Day(20));
    StorePage(a.feedId, L"new", Day(9));
    StorePage(a.feedId, L"tie-1", Day(5));
    StorePage(a.feedId, L"tie-2", Day(5));
    EXPECT_EQ(StoredKeys(a.feedId), (std::vector<std::wstring>{L"new", L"tie-1", L"tie-2", L"old", page.key}));

    std::vector<std::wstring> newest;
    Items().SeekNewest();
    while (Items().Read(read))
        newest.push_back(read.key);
    EXPECT_EQ(newest, (std::vector<std::wstring>{L"b-new", L"new", L"tie-1", L"tie-2", L"old", page.key}));
}

TEST_F(StoreTest, DatesWithoutAStoredFormKeepTheOldOneAndOddFileTimesReadInvalid)
{
    const FeedRecord feed = StoreFeed(L"http://a/");
    PageRecord page;
    page.feedId = feed.feedId;
    page.key = L"k";
    page.date = Day(3);
    const CEOID oid = Items().WritePage(page);
    const FILETIME stored = page.fileTime;
    page.date = CDateTime::MakeInvalid();
    Items().WritePage(page, oid);
    PageRecord read;
    Items().Read(read, oid);
    EXPECT_EQ(read.fileTime, stored);
    EXPECT_EQ(read.date, Day(3));

    // A file time past the year 9999 has no date value.
    CSystemTime far{};
    far.wYear = 12000, far.wMonth = 1, far.wDay = 1;
    FILETIME farTime;
    ASSERT_TRUE(SystemTimeToFileTime(far, farTime));
    EXPECT_FALSE(DateFromFileTime(farTime).IsValid());
    EXPECT_TRUE(DateFromFileTime(stored).IsValid());
}

TEST_F(StoreTest, DeletionsRemoveOnlyWhatTheyName)
{
    const FeedRecord a = StoreFeed(L"http://a/"), b = StoreFeed(L"http://b/");
    for (int day = 1; day <= 4; ++day)
        StorePage(a.feedId, L"a" + std::to_wstring(day), Day(day));
    StorePage(b.feedId, L"b1", Day(1));
    StorePage(b.feedId, L"a1", Day(1));

    EXPECT_TRUE(Items().DeleteFirstPageOfFeed(a.feedId));
    EXPECT_EQ(StoredKeys(a.feedId), (std::vector<std::wstring>{L"a3", L"a2", L"a1"}));
    EXPECT_TRUE(Items().DeletePage(L"a1", a.feedId));
    EXPECT_FALSE(Items().DeletePage(L"a1", a.feedId));
    EXPECT_EQ(Items().DeletePagesOfFeed(a.feedId), 2);
    EXPECT_EQ(StoredKeys(a.feedId), std::vector<std::wstring>{});
    EXPECT_EQ(StoredKeys(b.feedId), (std::vector<std::wstring>{L"b1", L"a1"}));
    EXPECT_EQ(Items().DeleteAll(), 2);
    EXPECT_EQ(Feeds().DeleteAll(), 2);
}

TEST_F(StoreTest, ForeignRecordsAreRejectedByCause)
{
    const FeedRecord feed = StoreFeed(L"http://a/");
    CEPROPVAL feedId;
    feedId.propid = PROP_TAG(CEVT_R8, 0);
    feedId.val.dblVal = std::bit_cast<double>(std::uint64_t{feed.feedId});
    CEPROPVAL key;
    key.propid = PROP_TAG(CEVT_LPWSTR, 3);
    key.val.lpwstr = L"short";
    const CEOID shortPage = WriteRaw(kItemVolumeName, kItemDatabaseName, {feedId, key});
    ASSERT_NE(shortPage, 0u);

    PageRecord page;
    const std::string lines = DebugLinesOf([&] { EXPECT_EQ(Items().Read(page, shortPage), 0u); });
    EXPECT_NE(lines.find("[CZelviaRssItemDB::Read] Invalid Property Count [2]"), std::string::npos) << lines;
    EXPECT_EQ(page.key, L"") << "the record is left cleared";
    StorePage(feed.feedId, L"good", Day(1));
    EXPECT_EQ(StoredKeys(feed.feedId), std::vector<std::wstring>{L"good"}) << "a walk stops at it";
    EXPECT_EQ(Items().FindPage(L"short", feed.feedId), shortPage) << "found by its key and feed";
    EXPECT_EQ(StorePage(feed.feedId, L"short", Day(2)), shortPage) << "and written over whole";
    EXPECT_EQ(Items().Read(page, shortPage), shortPage);

    const std::string otherLines = DebugLinesOf([&] { EXPECT_EQ(Items().Read(page, 987654), 0u); });
    EXPECT_NE(otherLines.find("[CZelviaRssItemDB::Read] Other errors."), std::string::npos) << otherLines;

    CEPROPVAL url;
    url.propid = PROP_TAG(CEVT_LPWSTR, 0);
    url.val.lpwstr = L"http://short/";
    WriteRaw(kFeedVolumeName, kFeedDatabaseName, {url});
    FeedRecord record;
    EXPECT_EQ(Feeds().ReadFeed(record, Feeds().FindFeedByUrl(L"http://short/")), 0u);
    EXPECT_EQ(record.url, L"") << "defaults stay";
    EXPECT_NE(record.feedId, 0u);
}

TEST_F(StoreTest, FeedRecordsAreKeyedByUrlAndKeepTheirFields)
{
    EXPECT_EQ(Feeds().FindFeedByUrl(L""), 0u);
    FeedRecord record = MakeNewFeedRecord(L"http://a/", L"A", L"about a");
    EXPECT_EQ(record.sortField, kFeedSortByDate);
    EXPECT_EQ(record.sortOrder, 0);
    EXPECT_EQ(record.updateStatus, kFeedStatusCreated);
    const CEOID oid = Feeds().WriteFeed(record);
    ASSERT_NE(oid, 0u);
    record.pageCount = 70000; // more than 16 bits hold: kept at the most they can
    record.unreadCount = -3;
    record.lastDate = CDateTime::FromParts(2026, 12, 1, 8, 0, 0);
    EXPECT_EQ(Feeds().WriteFeed(record), oid) << "written again over the same url";
    EXPECT_TRUE(Feeds().UpdateFeed(record));

    const FeedRecord read = StoredFeed(L"http://a/");
    EXPECT_EQ(read.feedId, record.feedId);
    EXPECT_EQ(read.title, L"A");
    EXPECT_EQ(read.description, L"about a");
    EXPECT_EQ(read.pageCount, 65535);
    EXPECT_EQ(read.unreadCount, 0);
    EXPECT_EQ(read.lastDate, record.lastDate);
    EXPECT_EQ(Feeds().FindFeedById(record.feedId), oid);
    EXPECT_EQ(Feeds().FindFeedByUrl(L"HTTP://A/"), 0u) << "urls match exactly";

    FeedRecord stranger = MakeNewFeedRecord(L"http://nobody/", L"", L"");
    EXPECT_FALSE(Feeds().UpdateFeed(stranger)) << "update writes only existing records";
    EXPECT_TRUE(Feeds().DeleteFeed(L"http://a/"));
    EXPECT_EQ(Feeds().FindFeedByUrl(L"http://a/"), 0u);
}

TEST_F(StoreTest, FeedIdsStayUniqueWhenFeedsAreMadeInTheSameMillisecond)
{
    std::set<std::uint32_t> ids;
    for (int i = 0; i < 300; ++i)
        ids.insert(StoreFeed(L"http://feed/" + std::to_wstring(i)).feedId);
    EXPECT_EQ(ids.size(), 300u);
    EXPECT_EQ(ids.count(0), 0u);

    // A record that brings an id already in use is given a free one.
    FeedRecord clash = MakeNewFeedRecord(L"http://clash/", L"", L"");
    clash.feedId = *ids.begin();
    ASSERT_NE(Feeds().WriteFeed(clash), 0u);
    EXPECT_EQ(ids.count(clash.feedId), 0u);
    EXPECT_EQ(StoredFeed(L"http://clash/").feedId, clash.feedId);
}

TEST_F(StoreTest, ADamagedVolumeIsSetAsideAndAFreshOneUsed)
{
    const FeedRecord feed = StoreFeed(L"http://a/");
    StorePage(feed.feedId, L"p", Day(1));
    CZelviaRssItemDB::DestroyInstance();
    CZelviaRssDB::DestroyInstance();
    const std::string items = VolumePath(kItemVolumeName);
    fs::remove(items + "-wal");
    fs::remove(items + "-shm");
    WriteWholeFile(items, std::string(8192, '\x5A'));

    EXPECT_TRUE(Items().IsOpen());
    EXPECT_EQ(StoredKeys(feed.feedId), std::vector<std::wstring>{});
    EXPECT_EQ(ReadWholeFile(items + ".damaged"), std::string(8192, '\x5A'));
    EXPECT_EQ(StoredFeed(L"http://a/").feedId, feed.feedId) << "the other volume is untouched";
    StorePage(feed.feedId, L"q", Day(2));
    EXPECT_EQ(StoredKeys(feed.feedId), std::vector<std::wstring>{L"q"});
}

} // namespace
