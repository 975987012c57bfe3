// The store under faults: failures that are not damage, damage found while
// the store is in use, a journal of another volume, writes refused as by a
// full disk, and processes creating feed records at the same time.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "StoreTestSupport.h"
#include "content/FeedParser.h"
#include "platform/Unicode.h"
#include "session/TreeLabels.h"
#include "support/FailingVfs.h"
#include "update/FeedManager.h"
#include "update/FeedMerge.h"

namespace fs = std::filesystem;

namespace {

class StoreFaultTest : public CTempHomeTest {
protected:
    void SetUp() override
    {
        CTempHomeTest::SetUp();
        FailingVfs::Install();
    }
    void TearDown() override
    {
        FailingVfs::Heal();
        CTempHomeTest::TearDown();
    }

    std::string VolumePath(const wchar_t* name) const { return HomePath("data/RSSReader/" + WideToUtf8(name)); }

    static void ReleaseStore()
    {
        CZelviaRssItemDB::DestroyInstance();
        CZelviaRssDB::DestroyInstance();
    }

    // Every file of the data folder whose name holds the text.
    std::vector<std::string> FilesWith(const std::string& text) const
    {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(HomePath("data/RSSReader"))) {
            if (entry.path().filename().string().find(text) != std::string::npos)
                found.push_back(entry.path().filename().string());
        }
        return found;
    }

    static CEOID StorePageIfPossible(std::uint32_t feedId, const std::wstring& key)
    {
        PageRecord page;
        page.feedId = feedId;
        page.key = page.link = key;
        return CZelviaRssItemDB::Instance().WritePage(page);
    }

    std::unique_ptr<CRssChannel> Channel(int items, const std::string& prefix = "http://a/")
    {
        std::string xml = "<rss version='2.0'><channel><title>T</title>";
        for (int i = 0; i < items; ++i)
            xml += "<item><title>Item</title><link>" + prefix + std::to_string(i) + "</link><pubDate>" +
                   std::to_string(1 + i % 28) + " Nov 2026 10:00:00 +0000</pubDate></item>";
        return ParseFeedFile(WriteHomeFile("feed.xml", xml + "</channel></rss>"));
    }
};

TEST_F(StoreFaultTest, AVolumeThatCannotBeReadIsNeverSetAside)
{
    const FeedRecord feed = StoreFeed(L"http://a/");
    StorePage(feed.feedId, L"p", CDateTime::FromParts(2026, 11, 1, 0, 0, 0));
    ReleaseStore();
    // "disk I/O error" on every read of the file: not damage.
    FailingVfs::FailReads("RSSITEM.CDB");
    for (int start = 0; start < 3; ++start) {
        CZelviaRssItemDB& db = CZelviaRssItemDB::Instance();
        EXPECT_FALSE(db.IsOpen());
        EXPECT_EQ(db.GetOpenError(), ERROR_READ_FAULT);
        ReleaseStore();
    }
    FailingVfs::Heal();
    EXPECT_TRUE(FilesWith(".damaged").empty()) << "nothing is set aside, however often it is tried";
    EXPECT_EQ(StoredKeys(feed.feedId), std::vector<std::wstring>{L"p"}) << "the page is still there";

    // A volume that opens but cannot be written (its shared index cannot be
    // made) is read, and its writes fail with the reason.
    ReleaseStore();
    const std::string items = VolumePath(kItemVolumeName);
    fs::create_directory(items + "-shm");
    EXPECT_EQ(StoredKeys(feed.feedId), std::vector<std::wstring>{L"p"});
    EXPECT_EQ(StorePageIfPossible(feed.feedId, L"q"), 0u);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    ReleaseStore();
    fs::remove(items + "-shm");
    EXPECT_TRUE(FilesWith(".damaged").empty());
}

TEST_F(StoreFaultTest, DamageFoundInUseFailsTheCallAndSetsTheVolumeAsideWhenNextOpened)
{
    const FeedRecord feed = StoreFeed(L"http://a/");
    {
        CRecordDatabase::CWriteGroup group(CZelviaRssItemDB::Instance());
        for (int i = 0; i < 1500; ++i) {
            PageRecord page;
            page.feedId = feed.feedId;
            page.key = page.link = L"http://a/" + std::to_wstring(i);
            page.description = std::wstring(600, L'd');
            page.date = CDateTime::FromParts(2026, 11, 1, 0, 0, 0).AddDays(i / 100.0);
            CZelviaRssItemDB::Instance().WritePage(page);
        }
        ASSERT_TRUE(group.Commit());
    }
    ReleaseStore(); // checkpoints: the pages are in the file itself
    const std::string items = VolumePath(kItemVolumeName);
    ASSERT_GT(fs::file_size(items), 200u * 4096);
    {
        // Overwrite a page in the middle, as a failing disk would.
        std::fstream file(items, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(120 * 4096);
        const std::string junk(4096, '\x7E');
        file.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    }
    CZelviaRssItemDB& damaged = CZelviaRssItemDB::Instance();
    ASSERT_TRUE(damaged.IsOpen()) << "the open looks at the header and the schema only";
    std::vector<PageRecord> pages;
    EXPECT_FALSE(damaged.ReadFeedPages(feed.feedId, pages)) << "the damage shows as a failure, not as fewer pages";
    EXPECT_EQ(GetLastError(), ERROR_FILE_CORRUPT);
    EXPECT_TRUE(fs::exists(items + "-damaged"));
    ReleaseStore();

    CZelviaRssItemDB& fresh = CZelviaRssItemDB::Instance();
    EXPECT_TRUE(fresh.IsOpen());
    EXPECT_TRUE(fs::exists(items + ".damaged")) << "the damaged file is kept";
    EXPECT_FALSE(fs::exists(items + "-damaged"));
    EXPECT_TRUE(StoredKeys(feed.feedId).empty());
}

// Writes from a child that then dies without closing: its journal stays.
void WriteAndDie(const std::wstring& volume, const std::wstring& prefix, int count)
{
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CEGUID guid;
        CEDBASEINFOEX info;
        info.szDbaseName = L"T";
        info.wNumSortOrder = 1;
        info.rgSortSpecs[0].wNumProps = 1;
        info.rgSortSpecs[0].rgPropID[0] = PROP_TAG(CEVT_LPWSTR, 0);
        if (!CeMountDBVol(&guid, volume, OPEN_ALWAYS))
            _exit(1);
        CeCreateDatabaseEx2(&guid, info);
        HCEDB db = CeOpenDatabaseEx2(&guid, nullptr, L"T", &info.rgSortSpecs[0], 0);
        for (int i = 0; i < count; ++i) {
            CEPROPVAL name;
            name.propid = PROP_TAG(CEVT_LPWSTR, 0);
            name.val.lpwstr = prefix + std::to_wstring(i);
            if (!CeWriteRecordProps(db, 0, std::span<const CEPROPVAL>(&name, 1)))
                _exit(2);
        }
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

std::vector<std::wstring> Names(const std::wstring& volume)
{
    std::vector<std::wstring> names;
    CEGUID guid;
    if (!CeMountDBVol(&guid, volume, OPEN_ALWAYS))
        return {L"(cannot mount)"};
    SORTORDERSPECEX order;
    order.wNumProps = 1;
    order.rgPropID[0] = PROP_TAG(CEVT_LPWSTR, 0);
    HCEDB db = CeOpenDatabaseEx2(&guid, nullptr, L"T", &order, CEDB_AUTOINCREMENT);
    std::vector<CEPROPVAL> props;
    if (db && CeSeekDatabaseEx(db, CEDB_SEEK_BEGINNING, 0)) {
        while (CeReadRecordPropsEx(db, props))
            names.push_back(props[0].val.lpwstr);
    }
    if (db)
        CloseHandle(db);
    CeUnmountDBVol(&guid);
    return names;
}

TEST_F(StoreFaultTest, AJournalWrittenForAnotherVolumeIsKeptAsideNotReplayed)
{
    const std::wstring mine = HomePathW("mine.cdb");
    const std::wstring other = HomePathW("other.cdb");
    WriteAndDie(mine, L"mine", 3);
    EXPECT_EQ(Names(mine).size(), 3u) << "a volume's own journal is replayed after a crash";

    WriteAndDie(mine, L"later", 2);
    WriteAndDie(other, L"other", 40);
    const std::string minePath = WideToUtf8(mine);
    ASSERT_TRUE(fs::exists(minePath + "-wal"));
    fs::remove(minePath + "-shm");
    fs::copy_file(WideToUtf8(other) + "-wal", minePath + "-wal", fs::copy_options::overwrite_existing);

    const auto names = Names(mine);
    EXPECT_EQ(names.size(), 3u) << "only what the volume itself holds";
    for (const auto& name : names)
        EXPECT_EQ(name.rfind(L"mine", 0), 0u);
    EXPECT_TRUE(fs::exists(minePath + "-wal.foreign"));

    sqlite3* check = nullptr;
    ASSERT_EQ(sqlite3_open(minePath.c_str(), &check), SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(check, "PRAGMA integrity_check", -1, &statement, nullptr);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)), "ok");
    sqlite3_finalize(statement);
    sqlite3_close(check);
}

TEST_F(StoreFaultTest, AFeedThatCannotBeWrittenLandsNothingAndTheNextTryStoresItWhole)
{
    FeedRecord feed = StoreFeed(L"http://a/");
    const auto channel = Channel(30);
    ASSERT_TRUE(CZelviaRssItemDB::Instance().IsOpen());
    FailingVfs::FailWrites("RSSITEM.CDB");
    const CPageMergeResult refused = MergeChannelPages(*channel, feed.feedId, 20);
    EXPECT_FALSE(refused.stored);
    EXPECT_EQ(refused.error, ERROR_DISK_FULL);
    EXPECT_EQ(refused.written, 0);
    EXPECT_GT(FailingVfs::RefusedWrites(), 0);
    FailingVfs::Heal();
    EXPECT_TRUE(StoredKeys(feed.feedId).empty()) << "not a page of the failed group";

    const CPageMergeResult merged = MergeChannelPages(*channel, feed.feedId, 20);
    EXPECT_TRUE(merged.stored);
    EXPECT_EQ(merged.written, 20);

    // A page state that cannot be written, and a feed record that cannot be.
    CRssItem page;
    page.link = L"http://a/27"; // among the newest 20
    page.feedId = feed.feedId;
    FailingVfs::FailWrites("RSS.CDB");
    EXPECT_FALSE(CRssFeedManager().SetPageStatus(page, PageStateRead, feed));
    FailingVfs::Heal();
    EXPECT_TRUE(CRssFeedManager().SetPageStatus(page, PageStateRead, feed));
    EXPECT_EQ(StoredFeed(L"http://a/").unreadCount, 19);
}

// Processes that load the same tree at the same moment make one record per
// feed URL, each with its own id.
TEST_F(StoreFaultTest, FeedRecordsAreMadeOnceWhenProcessesLoadTheTreeTogether)
{
    ReleaseStore();
    constexpr int kFeeds = 120;
    constexpr int kProcesses = 4;
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(go[1]);
            char start = 0;
            if (read(go[0], &start, 1) != 1)
                _exit(1);
            COutlineList tree;
            for (int i = 0; i < kFeeds; ++i) {
                auto outline = std::make_unique<COutline>();
                outline->title = L"Feed";
                outline->xmlUrl = L"http://feeds/" + std::to_wstring(i);
                outline->kind = OutlineKindFeed;
                tree.push_back(std::move(outline));
            }
            MakeEntryLabels(tree);
            _exit(0);
        }
        children.push_back(child);
    }
    close(go[0]);
    const std::string start(kProcesses, 's');
    ASSERT_EQ(write(go[1], start.data(), start.size()), kProcesses);
    close(go[1]);
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }

    std::set<std::wstring> urls;
    std::set<std::uint32_t> ids;
    int records = 0;
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    feeds.SelectSortOrder(kFeedOrderByUrl);
    feeds.FirstFeed();
    FeedRecord record;
    while (feeds.ReadFeed(record)) {
        ++records;
        urls.insert(record.url);
        ids.insert(record.feedId);
    }
    EXPECT_EQ(records, kFeeds);
    EXPECT_EQ(urls.size(), static_cast<size_t>(kFeeds));
    EXPECT_EQ(ids.size(), static_cast<size_t>(kFeeds));
}

} // namespace
