// Loading the working subscription file: a damaged or missing file costs no
// stored feed (the tree is rebuilt from what loaded and the store), it is
// kept once, not at every start, and careless but whole files are not taken
// for damaged ones.

#include <gtest/gtest.h>

#include <filesystem>

#include "StoreTestSupport.h"
#include "platform/Unicode.h"
#include "store/DataStorage.h"
#include "subscriptions/OpmlFile.h"
#include "subscriptions/SubscriptionFile.h"
#include "update/FeedManager.h"

namespace fs = std::filesystem;

namespace {

class SubscriptionFileTest : public CTempHomeTest {
protected:
    std::string Opml(int feeds) const
    {
        std::string xml = "<?xml version='1.0'?><opml version='1.0'><head><title>Mine</title></head><body>\n";
        for (int i = 0; i < feeds; ++i)
            xml += "<outline title='Feed " + std::to_string(i) + "' xmlUrl='http://feeds/" + std::to_string(i) +
                   "'/>\n";
        return xml + "</body></opml>\n";
    }
    // Five stored feeds, each with a page.
    void StoreFiveFeeds()
    {
        for (int i = 0; i < 5; ++i) {
            const FeedRecord feed = StoreFeed(L"http://feeds/" + std::to_wstring(i), L"Stored " + std::to_wstring(i));
            StorePage(feed.feedId, L"page", CDateTime::FromParts(2026, 12, 1, 0, 0, 0));
        }
    }
    void ExpectEveryStoredFeedWithItsPage()
    {
        for (int i = 0; i < 5; ++i) {
            const FeedRecord feed = StoredFeed(L"http://feeds/" + std::to_wstring(i));
            EXPECT_NE(feed.feedId, 0u) << i;
            EXPECT_EQ(StoredKeys(feed.feedId).size(), 1u) << i;
        }
    }
    // The names of a list: "Feed 0 Feed 1 Recovered feeds(Stored 2 ...)".
    static std::string Shape(const COutlineList& list)
    {
        std::string text;
        for (const auto& outline : list) {
            text += (text.empty() ? "" : " ") + WideToUtf8(outline->DisplayName());
            if (!outline->children.empty())
                text += "(" + Shape(outline->children) + ")";
        }
        return text;
    }
};

TEST_F(SubscriptionFileTest, ACutFileIsKeptOnceAndTheTreeRebuiltFromWhatLoadedAndTheStore)
{
    StoreFiveFeeds();
    const std::string whole = Opml(5);
    const std::string cut = whole.substr(0, whole.find("Feed 2") + 3); // inside the third outline
    const std::wstring path = WriteHomeFile("default.opml", cut);

    CLoadedSubscriptions loaded = LoadSubscriptionFile(path);
    EXPECT_TRUE(loaded.damaged);
    EXPECT_TRUE(loaded.repaired);
    EXPECT_TRUE(loaded.complete) << "the rebuilt tree holds every stored feed";
    EXPECT_EQ(loaded.recovered, 3);
    // The outline cut in its title loads as what is left of it, a folder.
    EXPECT_EQ(Shape(loaded.doc->outlines), "Feed 0 Feed 1 Fee Recovered feeds(Stored 2 Stored 3 Stored 4)");
    EXPECT_EQ(loaded.keptAs, HomePathW("default.opml.damaged"));
    EXPECT_EQ(ReadWholeFile(HomePath("default.opml.damaged")), cut);
    ASSERT_EQ(loaded.messages.size(), 1u);
    EXPECT_EQ(loaded.messages[0].Text(), L"The OPML file is incorrect.\r\nWhat it held is kept as \"" +
                                             loaded.keptAs + L"\".\r\nStored feeds missing from it: 3, in the "
                                                             L"folder \"Recovered feeds\".");
    // The file is whole again: pruning against it removes nothing.
    CRssFeedManager().CleanupDB(*loaded.doc);
    ExpectEveryStoredFeedWithItsPage();
    loaded = LoadSubscriptionFile(path);
    EXPECT_FALSE(loaded.damaged);
    EXPECT_EQ(Shape(loaded.doc->outlines), "Feed 0 Feed 1 Fee Recovered feeds(Stored 2 Stored 3 Stored 4)");

    // The same damage again is kept in the copy that holds it already;
    // another damage gets a copy of its own.
    WriteWholeFile(HomePath("default.opml"), cut);
    EXPECT_EQ(LoadSubscriptionFile(path).keptAs, HomePathW("default.opml.damaged"));
    EXPECT_FALSE(fs::exists(HomePath("default.opml.damaged.1")));
    WriteWholeFile(HomePath("default.opml"), whole.substr(0, 90));
    EXPECT_EQ(LoadSubscriptionFile(path).keptAs, HomePathW("default.opml.damaged.1"));
    EXPECT_EQ(ReadWholeFile(HomePath("default.opml.damaged")), cut) << "never overwritten";
    ExpectEveryStoredFeedWithItsPage();
}

TEST_F(SubscriptionFileTest, AFileThatLoadsNothingOrIsMissingIsRebuiltFromTheStoreNeverSeeded)
{
    StoreFiveFeeds();
    const std::wstring path = WriteHomeFile("data/RSSReader/default.opml", "\x1f\x8b garbage from a broken copy");
    CLoadedSubscriptions loaded = LoadSubscriptionFile(path);
    EXPECT_TRUE(loaded.damaged);
    EXPECT_TRUE(loaded.complete);
    EXPECT_EQ(Shape(loaded.doc->outlines), "Recovered feeds(Stored 0 Stored 1 Stored 2 Stored 3 Stored 4)");
    EXPECT_EQ(ReadWholeFile(WideToUtf8(loaded.keptAs)), "\x1f\x8b garbage from a broken copy");

    // A missing file is not seeded over a store that holds feeds: the start
    // rebuilds it from the store, and says so.
    fs::remove(HomePath("data/RSSReader/default.opml"));
    EXPECT_EQ(PrepareDataFolder(), path);
    EXPECT_FALSE(fs::exists(HomePath("data/RSSReader/default.opml"))) << "seeded over stored feeds";
    loaded = LoadSubscriptionFile(path);
    EXPECT_FALSE(loaded.damaged);
    EXPECT_TRUE(loaded.repaired);
    EXPECT_EQ(Shape(loaded.doc->outlines), "Recovered feeds(Stored 0 Stored 1 Stored 2 Stored 3 Stored 4)");
    ASSERT_EQ(loaded.messages.size(), 1u);
    EXPECT_EQ(loaded.messages[0].textId, IDS_OPML_MISSING_RECOVERED);
    CRssFeedManager().CleanupDB(*LoadSubscriptionFile(path).doc);
    ExpectEveryStoredFeedWithItsPage();
}

TEST_F(SubscriptionFileTest, OutlinesBeyondTheDepthLimitAreReportedAndTheirFeedsRecovered)
{
    StoreFiveFeeds();
    // Feed 0 at the top, feed 1 below 300 folders, then feeds 2 to 4.
    std::string deep;
    for (int level = 0; level < 300; ++level)
        deep += "<outline title='L" + std::to_string(level) + "'>";
    deep += "<outline title='Deep' xmlUrl='http://feeds/1'/>";
    for (int level = 0; level < 300; ++level)
        deep += "</outline>";
    const std::string opml = Opml(5);
    const size_t second = opml.find("<outline title='Feed 1'");
    const std::wstring path =
        WriteHomeFile("default.opml", opml.substr(0, second) + deep + opml.substr(opml.find('\n', second) + 1));

    const CLoadedSubscriptions loaded = LoadSubscriptionFile(path);
    EXPECT_TRUE(loaded.damaged);
    EXPECT_TRUE(loaded.tooDeep);
    ASSERT_EQ(loaded.messages.size(), 2u);
    EXPECT_EQ(loaded.messages[1].Text(),
              L"\"" + path + L"\" nests its outlines deeper than 256 levels; the feeds from there on could not be read.");
    CRssFeedManager().CleanupDB(*loaded.doc);
    ExpectEveryStoredFeedWithItsPage();
}

TEST_F(SubscriptionFileTest, ASaveNeverTakesTheNameOfALeftoverOfAnEarlierProcess)
{
    // A process killed while saving left its files; this process has its
    // id now, and would next write under these very names.
    const std::wstring path = WriteHomeFile("default.opml", Opml(1));
    const std::wstring next = MakeTemporarySibling(path);
    const unsigned counter = static_cast<unsigned>(std::stoul(next.substr(next.rfind(L'-') + 1)));
    const std::wstring prefix = next.substr(0, next.rfind(L'-') + 1);
    for (unsigned n = counter + 1; n <= counter + 20; ++n)
        WriteWholeFile(WideToUtf8(prefix + std::to_wstring(n)), "left by a killed save");
    EXPECT_TRUE(SaveOpmlFile(*LoadOpmlFile(path), path));
}

TEST_F(SubscriptionFileTest, CarelessButWholeFilesAndMissingOnesLoadAsComplete)
{
    // HTML entities, a bare "&" in a URL and stray bytes keep the structure.
    const std::wstring path = WriteHomeFile(
        "default.opml", "<opml version='1.0'><body><outline text='Caf&eacute; &raquo; News' "
                        "xmlUrl='http://x/?page=a&lang=en'/><outline title='Two \xff' xmlUrl='http://y/'/></body></opml>");
    const CLoadedSubscriptions loaded = LoadSubscriptionFile(path);
    EXPECT_FALSE(loaded.damaged);
    EXPECT_TRUE(loaded.complete);
    EXPECT_EQ(loaded.doc->outlines.size(), 2u);
    EXPECT_FALSE(fs::exists(HomePath("default.opml.damaged")));

    const CLoadedSubscriptions missing = LoadSubscriptionFile(HomePathW("none.opml"));
    EXPECT_TRUE(missing.complete);
    EXPECT_FALSE(missing.damaged);
    EXPECT_TRUE(missing.doc->outlines.empty());
    EXPECT_TRUE(missing.messages.empty());
}

} // namespace
