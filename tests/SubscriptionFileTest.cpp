// Loading the working subscription file: a damaged file costs no stored
// feed, and careless but whole files are not taken for damaged ones.

#include <gtest/gtest.h>

#include <filesystem>

#include "StoreTestSupport.h"
#include "platform/Unicode.h"
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
};

TEST_F(SubscriptionFileTest, AFileCutShortKeepsEveryStoredFeedAndACopyOfItself)
{
    for (int i = 0; i < 5; ++i)
        StoreFeed(L"http://feeds/" + std::to_wstring(i));
    const std::string whole = Opml(5);
    const std::string cut = whole.substr(0, whole.find("Feed 2") + 3); // inside the third outline
    const std::wstring path = WriteHomeFile("default.opml", cut);

    const CLoadedSubscriptions loaded = LoadSubscriptionFile(path);
    EXPECT_TRUE(loaded.damaged);
    EXPECT_FALSE(loaded.complete) << "what loaded is not the whole tree";
    EXPECT_LT(loaded.doc->outlines.size(), 5u);
    EXPECT_EQ(ReadWholeFile(HomePath("default.opml.damaged")), cut);
    EXPECT_TRUE(fs::exists(HomePath("default.opml"))) << "the file stays in use";

    // The start-up clean-up is not run against a partial tree; were it
    // run, it would delete the feeds the damage hid.
    if (loaded.complete)
        CRssFeedManager().CleanupDB(*loaded.doc);
    for (int i = 0; i < 5; ++i)
        EXPECT_NE(StoredFeed(L"http://feeds/" + std::to_wstring(i)).feedId, 0u);
}

TEST_F(SubscriptionFileTest, AFileThatLoadsNothingIsMovedAsideNotDeleted)
{
    const std::wstring path = WriteHomeFile("default.opml", "\x1f\x8b garbage from a broken copy");
    WriteHomeFile("default.opml.damaged", "an older one");
    const CLoadedSubscriptions loaded = LoadSubscriptionFile(path);
    EXPECT_TRUE(loaded.damaged);
    EXPECT_FALSE(loaded.complete);
    EXPECT_TRUE(loaded.doc->outlines.empty());
    EXPECT_FALSE(fs::exists(HomePath("default.opml")));
    EXPECT_EQ(ReadWholeFile(HomePath("default.opml.damaged")), "an older one") << "never overwritten";
    EXPECT_EQ(ReadWholeFile(HomePath("default.opml.damaged.1")), "\x1f\x8b garbage from a broken copy");
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
}

} // namespace
