// The data folder, its start-up preparation and the file helpers.

#include <filesystem>
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "platform/SpecialFolders.h"
#include "platform/Unicode.h"
#include "resources/EmbeddedSeed.h"
#include "store/DataStorage.h"
#include "subscriptions/OpmlFile.h"

namespace fs = std::filesystem;

namespace {
class DataStorageTest : public CTempHomeTest {};
} // namespace

TEST_F(DataStorageTest, SpecialFoldersFollowTheXdgVariables)
{
    std::wstring folder;
    ASSERT_TRUE(SHGetSpecialFolderPath(CSIDL_PROGRAM_FILES, folder));
    EXPECT_EQ(folder, HomePathW("data"));
    ASSERT_TRUE(SHGetSpecialFolderPath(CSIDL_APPDATA, folder));
    EXPECT_EQ(folder, HomePathW("config"));
    ASSERT_TRUE(SHGetSpecialFolderPath(CSIDL_PERSONAL, folder));
    EXPECT_EQ(folder, HomePathW("Documents"));
    EXPECT_FALSE(SHGetSpecialFolderPath(12345, folder));

    // Unset or relative variables fall back to the home folder's defaults.
    unsetenv("XDG_DATA_HOME");
    setenv("XDG_CONFIG_HOME", "relative/config", 1);
    ASSERT_TRUE(SHGetSpecialFolderPath(CSIDL_PROGRAM_FILES, folder));
    EXPECT_EQ(folder, HomePathW(".local/share"));
    ASSERT_TRUE(SHGetSpecialFolderPath(CSIDL_APPDATA, folder));
    EXPECT_EQ(folder, HomePathW(".config"));
    EXPECT_EQ(GetDataFolder(), HomePathW(".local/share/RSSReader"));
}

TEST_F(DataStorageTest, DocumentsFolderComesFromUserDirsUnlessSwitchedOff)
{
    fs::create_directories(HomePath("config"));
    WriteWholeFile(HomePath("config/user-dirs.dirs"), "XDG_DOCUMENTS_DIR=\"/srv/docs/\"\n");
    std::wstring folder;
    ASSERT_TRUE(SHGetSpecialFolderPath(CSIDL_PERSONAL, folder));
    EXPECT_EQ(folder, L"/srv/docs");
    // Pointing it at the home folder switches it off.
    WriteWholeFile(HomePath("config/user-dirs.dirs"), "XDG_DOCUMENTS_DIR=\"$HOME/\"\n");
    ASSERT_TRUE(SHGetSpecialFolderPath(CSIDL_PERSONAL, folder));
    EXPECT_EQ(folder, HomePathW("Documents"));
}

TEST_F(DataStorageTest, CreatesWholeFolderPaths)
{
    EXPECT_TRUE(CreateFolderPath(HomePathW("a/b\\c/d")));
    EXPECT_TRUE(IsFolder(HomePathW("a/b\\c/d")));
    EXPECT_TRUE(fs::is_directory(HomePath("a/b\\c")) || fs::is_directory(HomePath("a/b/c")));
    EXPECT_TRUE(CreateFolderPath(HomePathW("a"))); // already there

    const std::wstring file = WriteHomeFile("plain.txt", "x");
    EXPECT_TRUE(PathExists(file));
    EXPECT_TRUE(IsFile(file));
    EXPECT_FALSE(IsFolder(file));
    EXPECT_FALSE(PathExists(HomePathW("nothing")));
    EXPECT_FALSE(IsFile(HomePathW("nothing")));
    EXPECT_FALSE(CreateFolderPath(HomePathW("plain.txt/below")));
}

TEST(SplitPath, TakesPathsApartAtTheLastSeparatorAndDot)
{
    const CSplitPath unix = SplitPath(L"/home/me/feeds.v2/export.opml");
    EXPECT_EQ(unix.folder, L"/home/me/feeds.v2");
    EXPECT_EQ(unix.baseName, L"export");
    EXPECT_EQ(unix.extension, L"opml");
    EXPECT_EQ(unix.Compose(), L"/home/me/feeds.v2/export.opml");

    const CSplitPath windows = SplitPath(L"\\My Documents\\a.b.xml");
    EXPECT_EQ(windows.folder, L"\\My Documents");
    EXPECT_EQ(windows.baseName, L"a.b");
    EXPECT_EQ(windows.extension, L"xml");

    const CSplitPath noDot = SplitPath(L"/home/me.d/README");
    EXPECT_EQ(noDot.folder, L"/home/me.d");
    EXPECT_EQ(noDot.baseName, L"");
    EXPECT_EQ(noDot.extension, L"");

    const CSplitPath bare = SplitPath(L"name.txt");
    EXPECT_EQ(bare.folder, L"");
    EXPECT_EQ(bare.baseName, L"name");
}

TEST_F(DataStorageTest, FirstStartCreatesTheDataFolderAndSeedsTheSubscriptions)
{
    const std::wstring subscriptions = PrepareDataFolder();
    EXPECT_EQ(subscriptions, HomePathW("data/RSSReader/default.opml"));
    EXPECT_TRUE(IsFolder(HomePathW("data/RSSReader")));
    const auto doc = LoadOpmlFile(subscriptions);
    ASSERT_NE(doc, nullptr);
    EXPECT_FALSE(doc->outlines.empty());
}

TEST_F(DataStorageTest, AnExistingSubscriptionFileIsNeverReplaced)
{
    const std::string mine = "<opml><body><outline title='Mine' xmlUrl='https://mine.example/'/></body></opml>";
    WriteHomeFile("data/RSSReader/default.opml", mine);
    PrepareDataFolder();
    EXPECT_EQ(ReadWholeFile(HomePath("data/RSSReader/default.opml")), mine);
}

TEST(EmbeddedSeed, IsAValidSubscriptionFileWithFeeds)
{
    const std::string_view seed = EmbeddedSeedSubscriptions();
    EXPECT_NE(seed.find("<opml"), std::string_view::npos);
    EXPECT_NE(seed.find("xmlUrl=\"https://"), std::string_view::npos);
    EXPECT_EQ(seed, ReadWholeFile(std::string(TEST_DATA_DIR) + "/../../resources/default.opml"));
}
