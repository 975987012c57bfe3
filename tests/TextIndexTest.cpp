// The search over stored pages: what the words of a page are, the order of
// the hits, and how the index keeps in step with every change of the pages,
// including stores written before the index existed and an index that was
// damaged.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

#include "StoreTestSupport.h"
#include "platform/Unicode.h"
#include "store/DataStorage.h"
#include "update/FeedManager.h"

namespace fs = std::filesystem;

namespace {

class TextIndexTest : public CTempHomeTest {
protected:
    CZelviaRssItemDB& Items() { return CZelviaRssItemDB::Instance(); }

    CEOID Page(std::uint32_t feedId, const std::wstring& key, const std::wstring& title,
               const std::wstring& description, const CDateTime& date)
    {
        PageRecord page;
        page.feedId = feedId;
        page.key = page.link = key;
        page.title = title;
        page.description = description;
        page.date = date;
        return Items().WritePage(page);
    }

    std::vector<std::wstring> Found(const std::wstring& words, int limit = 100)
    {
        std::vector<PageRecord> pages;
        EXPECT_TRUE(Items().FindPages(words, limit, pages)) << WideToUtf8(words);
        std::vector<std::wstring> keys;
        for (const PageRecord& page : pages)
            keys.push_back(page.key);
        return keys;
    }

    // Runs SQL on the item volume behind the store's back, as another
    // program (or a broken disk) might.
    void Tamper(const std::string& sql)
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(WideToUtf8(GetDataFolderFile(kItemVolumeName)).c_str(), &db), SQLITE_OK);
        sqlite3_busy_timeout(db, 5000);
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
        sqlite3_free(error);
        sqlite3_close(db);
    }

    static CDateTime At(int day, int hour, int minute = 0, int second = 0)
    {
        return CDateTime::FromParts(2025, 3, day, hour, minute, second);
    }
};

TEST_F(TextIndexTest, FindsPagesByTheWordsOfTheirTitlesAndTextsNewestFirst)
{
    const FeedRecord a = StoreFeed(L"http://a/"), b = StoreFeed(L"http://b/");
    Page(a.feedId, L"k1", L"Harbour report", L"<p>The <b>ferry</b> to Zürich runs late.</p>", At(1, 9));
    Page(b.feedId, L"k2", L"Ferry updates", L"New &amp; improved timetables", At(2, 9));
    Page(a.feedId, L"k3", L"Weather", L"<a href=\"http://ferry.example/\">link</a> rain all day", At(3, 9));
    Page(b.feedId, L"k4", L"Two in one minute", L"ferry at second ten", At(2, 9, 0, 10));

    // Words of titles and texts, case and accents ignored, endings folded;
    // across feeds, newest first (to the second within one minute).
    EXPECT_EQ(Found(L"FERRY"), (std::vector<std::wstring>{L"k4", L"k2", L"k1"}));
    EXPECT_EQ(Found(L"zurich"), std::vector<std::wstring>{L"k1"});
    EXPECT_EQ(Found(L"update"), std::vector<std::wstring>{L"k2"});
    EXPECT_EQ(Found(L"improved timetable"), std::vector<std::wstring>{L"k2"});
    // Every word is required; markup is not text; entities are decoded.
    EXPECT_EQ(Found(L"ferry harbour"), std::vector<std::wstring>{L"k1"});
    EXPECT_EQ(Found(L"ferry.example"), std::vector<std::wstring>{});
    EXPECT_EQ(Found(L"amp"), std::vector<std::wstring>{});
    // The limit keeps the newest; a query of no words finds nothing, and
    // query syntax is taken as words.
    EXPECT_EQ(Found(L"ferry", 2), (std::vector<std::wstring>{L"k4", L"k2"}));
    EXPECT_EQ(Found(L"  -- ** "), std::vector<std::wstring>{});
    EXPECT_EQ(Found(L"\"ferry\" OR (rain"), std::vector<std::wstring>{});
    EXPECT_EQ(Found(L"ferry NEAR"), std::vector<std::wstring>{});
}

TEST_F(TextIndexTest, KeepsInStepWithEveryChangeOfThePages)
{
    const FeedRecord feed = StoreFeed(L"http://a/", L"A");
    Page(feed.feedId, L"k1", L"Lantern one", L"copper", At(1, 9));
    Page(feed.feedId, L"k2", L"Lantern two", L"silver", At(2, 9));
    Page(feed.feedId, L"k3", L"Lantern three", L"marble", At(3, 9));
    ASSERT_EQ(Found(L"lantern").size(), 3u); // now indexed, no longer queued

    // Marked read: still found, with its state.
    PageRecord page;
    ASSERT_NE(Items().Read(page, Items().FindPage(L"k1", feed.feedId)), 0u);
    page.state = PageStateRead;
    ASSERT_NE(Items().WritePage(page), 0u);
    std::vector<PageRecord> pages;
    ASSERT_TRUE(Items().FindPages(L"copper", 10, pages));
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].state, PageStateRead);

    // Rewritten with other words (and another date): found by the new ones only.
    page.title = L"Beacon one";
    page.date = At(4, 9);
    ASSERT_NE(Items().WritePage(page), 0u);
    EXPECT_EQ(Found(L"lantern"), (std::vector<std::wstring>{L"k3", L"k2"}));
    EXPECT_EQ(Found(L"beacon"), std::vector<std::wstring>{L"k1"});
    EXPECT_EQ(Found(L"copper"), std::vector<std::wstring>{L"k1"});

    // Deleted by the user: the record stays, the words go.
    CRssItem item;
    item.link = L"k2";
    item.feedId = feed.feedId;
    FeedRecord record;
    ASSERT_TRUE(CRssFeedManager().SetPageStatus(item, PageStateDeleted, record));
    EXPECT_EQ(Found(L"silver"), std::vector<std::wstring>{});

    // Changed twice before the next search, and removed by a clean-up.
    ASSERT_NE(Items().Read(page, Items().FindPage(L"k3", feed.feedId)), 0u);
    page.description = L"granite";
    ASSERT_NE(Items().WritePage(page), 0u);
    page.description = L"basalt";
    ASSERT_NE(Items().WritePage(page), 0u);
    EXPECT_EQ(Found(L"basalt"), std::vector<std::wstring>{L"k3"});
    EXPECT_EQ(Found(L"granite marble"), std::vector<std::wstring>{});
    EXPECT_TRUE(Items().DeletePage(L"k3", feed.feedId));
    EXPECT_EQ(Found(L"lantern"), std::vector<std::wstring>{});
    EXPECT_EQ(Items().DeletePagesOfFeed(feed.feedId), 2);
    EXPECT_EQ(Found(L"beacon"), std::vector<std::wstring>{});

    // A page written and deleted before any search was never indexed.
    Page(feed.feedId, L"k5", L"Fleeting", L"", At(5, 9));
    EXPECT_TRUE(Items().DeletePage(L"k5", feed.feedId));
    EXPECT_EQ(Found(L"fleeting"), std::vector<std::wstring>{});
}

TEST_F(TextIndexTest, AStoreWrittenBeforeTheIndexIsIndexedWhole)
{
    const FeedRecord feed = StoreFeed(L"http://a/");
    Page(feed.feedId, L"old", L"Archive", L"from before", At(1, 9));
    CZelviaRssItemDB::DestroyInstance();
    // A store of an earlier version: no index tables at all.
    Tamper("DROP TABLE ce_text_indexes; DROP TABLE ce_text_1; DROP TABLE ce_text_1_queue;");
    EXPECT_EQ(Found(L"archive"), std::vector<std::wstring>{L"old"});

    // An index built for another version of the words is built again.
    Tamper("UPDATE ce_text_indexes SET version = version + 1; INSERT INTO ce_text_1(ce_text_1) VALUES('delete-all');");
    CZelviaRssItemDB::DestroyInstance();
    EXPECT_EQ(Found(L"archive"), std::vector<std::wstring>{L"old"});
}

TEST_F(TextIndexTest, ADamagedIndexIsBuiltAgainAndTheVolumeKept)
{
    const FeedRecord feed = StoreFeed(L"http://a/");
    for (int day = 1; day <= 20; ++day)
        Page(feed.feedId, L"k" + std::to_wstring(day), L"Meadow " + std::to_wstring(day), L"valley", At(day, 9));
    ASSERT_EQ(Found(L"meadow").size(), 20u);
    CZelviaRssItemDB::DestroyInstance();
    Tamper("UPDATE ce_text_1_data SET block = x'0102030405060708090a0b0c' WHERE id > 10;");

    // Deleting an indexed page takes its words out: the damage shows there,
    // and neither the delete nor the search may fail for it.
    EXPECT_TRUE(Items().DeletePage(L"k1", feed.feedId));
    EXPECT_EQ(Found(L"valley").size(), 19u);
    EXPECT_EQ(Found(L"meadow", 1), std::vector<std::wstring>{L"k20"});
    EXPECT_FALSE(fs::exists(WideToUtf8(GetDataFolderFile(kItemVolumeName)) + ".damaged"));
    EXPECT_FALSE(fs::exists(WideToUtf8(GetDataFolderFile(kItemVolumeName)) + "-damaged"));
}

} // namespace
