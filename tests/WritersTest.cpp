// One subscription file, many writers, with real processes: two tools
// editing at once, the window's session with a tool editing meanwhile,
// kills in the middle of a save, a damaged file, and what killed processes
// leave behind. No edit and no stored feed may be lost.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <set>
#include <thread>

#include "StoreTestSupport.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Unicode.h"
#include "subscriptions/OpmlFile.h"
#include "session/ReaderSession.h"
#include "support/NetTest.h"
#include "support/ToolRunner.h"
#include "update/Setting.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

class WritersTest : public CNetTest {
protected:
    std::string DataFile(const std::string& name) const { return HomePath("data/RSSReader/" + name); }

    // Every display name of the saved tree, at any depth.
    std::set<std::string> SavedNames() const
    {
        std::set<std::string> names;
        if (const auto doc = LoadOpmlFile(Utf8ToWide(DataFile("default.opml"))))
            Collect(doc->outlines, names);
        return names;
    }
    static void Collect(const COutlineList& list, std::set<std::string>& names)
    {
        for (const auto& outline : list) {
            names.insert(WideToUtf8(outline->DisplayName()));
            Collect(outline->children, names);
        }
    }
    void ExpectSaved(const std::vector<std::string>& wanted, const std::string& when) const
    {
        const std::set<std::string> names = SavedNames();
        for (const std::string& name : wanted)
            EXPECT_EQ(names.count(name), 1u) << name << " lost " << when;
    }

    // A feed document with count items, served at path.
    void ServeFeed(const std::string& path, const std::string& title, int count)
    {
        std::string xml = "<rss version='2.0'><channel><title>" + title + "</title>";
        for (int item = 0; item < count; ++item)
            xml += "<item><title>t</title><link>http://x" + path + "/" + std::to_string(item) + "</link></item>";
        m_server.SetAnswer(path, CHttpAnswer::Ok(xml + "</channel></rss>"));
    }
    std::wstring Url(const std::string& path) const { return Utf8ToWide(m_server.Url(path)); }

    // The tool started as another process, its output thrown away.
    static pid_t Spawn(const std::vector<std::string>& args)
    {
        std::vector<std::string> all = {RSSREADER_TOOL};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : all)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = -1;
        posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }
    static int WaitFor(pid_t pid)
    {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }
    // The id of a process that has ended.
    static pid_t GoneProcessId()
    {
        const pid_t pid = Spawn({"help"});
        WaitFor(pid);
        return pid;
    }

    std::vector<std::string> SaveLeftovers() const
    {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(HomePath("data/RSSReader"))) {
            if (entry.path().filename().string().rfind("default.opml.tmp-", 0) == 0)
                found.push_back(entry.path().filename().string());
        }
        return found;
    }
};

TEST_F(WritersTest, TwoToolsEditingAtOnceLoseNoEdit)
{
    WriteHomeFile("data/RSSReader/default.opml", "<opml version='1.0'><body><outline title='Start'/></body></opml>");
    std::vector<std::string> made;
    for (int round = 0; round < 50; ++round) {
        const std::string a = "A" + std::to_string(round), b = "B" + std::to_string(round);
        CToolRun first, second;
        std::thread one([&] { first = RunRssReaderTool({"mkdir", a}); });
        second = RunRssReaderTool({"mkdir", b});
        one.join();
        ASSERT_EQ(first.exitCode, 0) << first.errors;
        ASSERT_EQ(second.exitCode, 0) << second.errors;
        EXPECT_TRUE(first.Json()["saved"].get<bool>());
        made.push_back(a);
        made.push_back(b);
    }
    ExpectSaved(made, "by a tool saving at the same time");
    EXPECT_EQ(SavedNames().size(), made.size() + 1);

    // Two subscriptions to one feed at once make one entry.
    ServeFeed("/same.xml", "Same", 1);
    CToolRun first, second;
    std::thread one([&] { first = RunRssReaderTool({"subscribe", m_server.Url("/same.xml"), "--root"}); });
    second = RunRssReaderTool({"subscribe", m_server.Url("/same.xml"), "--root"});
    one.join();
    EXPECT_EQ((first.exitCode == 0) + (second.exitCode == 0), 1) << first.errors << second.errors;
    const auto doc = LoadOpmlFile(Utf8ToWide(DataFile("default.opml")));
    int entries = 0;
    for (const auto& outline : doc->outlines)
        entries += outline->xmlUrl == Url("/same.xml");
    EXPECT_EQ(entries, 1);
}

// What the window's session does while the tool edits the same folder: the
// session in this process, the tool as child processes.
TEST_F(WritersTest, TheSessionKeepsWhatAToolSavedMeanwhileAndItsPages)
{
    WriteHomeFile("data/RSSReader/default.opml", "<opml version='1.0'><body><outline title='Folder'/></body></opml>");
    ServeFeed("/news.xml", "Daily News", 3);
    CReaderSession session;
    session.Start();

    ASSERT_EQ(RunRssReaderTool({"subscribe", m_server.Url("/news.xml"), "--root"}).exitCode, 0);
    ASSERT_EQ(RunRssReaderTool({"update", "--feed", m_server.Url("/news.xml")}).exitCode, 0);
    ASSERT_EQ(RunRssReaderTool({"mkdir", "ToolFolder"}).exitCode, 0);
    CTreeChange change = session.AddFolder(L"Mine", true, nullptr);
    EXPECT_TRUE(change.saved);
    ExpectSaved({"Folder", "Daily News", "ToolFolder", "Mine"}, "by the session's save");
    const FeedRecord news = StoredFeed(Url("/news.xml"));
    ASSERT_NE(news.feedId, 0u) << "the clean-up of the save deleted the tool's feed";
    EXPECT_EQ(StoredKeys(news.feedId).size(), 3u) << "and its pages";

    // Both at once, round after round.
    std::vector<std::string> made;
    std::thread tool([&] {
        for (int round = 0; round < 15; ++round)
            EXPECT_EQ(RunRssReaderTool({"mkdir", "T" + std::to_string(round)}).exitCode, 0);
    });
    for (int round = 0; round < 15; ++round) {
        EXPECT_TRUE(session.AddFolder(L"S" + std::to_wstring(round), true, nullptr).saved);
        made.push_back("S" + std::to_string(round));
        made.push_back("T" + std::to_string(round));
    }
    tool.join();
    session.SaveDefaultOpml();
    ExpectSaved(made, "by the other writer");

    // A move made while the tool adds a folder keeps both; an edit of an
    // entry the tool deleted meanwhile changes nothing.
    COutline* mine = nullptr;
    for (auto& outline : session.Document().outlines) {
        if (outline->title == L"Mine")
            mine = outline.get();
    }
    ASSERT_NE(mine, nullptr);
    ASSERT_TRUE(session.StartMove(*mine));
    ASSERT_TRUE(session.MoveStepUp()); // into ToolFolder, the folder above it
    ASSERT_EQ(RunRssReaderTool({"mkdir", "During the move"}).exitCode, 0);
    EXPECT_TRUE(session.MoveDone().saved);
    ExpectSaved({"During the move", "Mine"}, "by the move");
    const auto saved = LoadOpmlFile(Utf8ToWide(DataFile("default.opml")));
    bool moved = false;
    for (const auto& outline : saved->outlines) {
        if (outline->title == L"ToolFolder")
            moved = !outline->children.empty() && outline->children.back()->title == L"Mine";
    }
    EXPECT_TRUE(moved) << "the move was not made on the tree read again";

    COutline* folder = session.Document().outlines.front().get();
    ASSERT_EQ(folder->title, L"Folder");
    ASSERT_EQ(RunRssReaderTool({"delete", "Folder"}).exitCode, 0);
    session.Rename(*folder, L"Renamed");
    EXPECT_EQ(SavedNames().count("Renamed"), 0u);
    EXPECT_EQ(SavedNames().count("Folder"), 0u);
    session.Shutdown();
}

// kill -9 at the moment a save has begun: the file is always whole, and
// the files the killed saves leave go at the next start.
TEST_F(WritersTest, AKillDuringASaveLeavesAWholeFileAndTheNextStartSweepsUp)
{
    std::string opml = "<opml version='1.0'><body>";
    for (int folder = 0; folder < 20; ++folder) {
        opml += "<outline title='Folder " + std::to_string(folder) + "'>";
        for (int feed = 0; feed < 50; ++feed)
            opml += "<outline title='F' xmlUrl='http://feeds.invalid/" + std::to_string(folder * 50 + feed) + "'/>";
        opml += "</outline>";
    }
    WriteHomeFile("data/RSSReader/default.opml", opml + "</body></opml>");
    ASSERT_EQ(RunRssReaderTool({"tree"}).exitCode, 0); // the records made once
    std::mt19937 random(20261208);
    int caught = 0;
    for (int round = 0; round < 12; ++round) {
        const pid_t pid = Spawn({"mkdir", "K" + std::to_string(round)});
        const std::string ours = "default.opml.tmp-" + std::to_string(pid) + "-";
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        bool seen = false, ended = false;
        while (!seen && !ended && std::chrono::steady_clock::now() < deadline) {
            for (const std::string& name : SaveLeftovers())
                seen = seen || name.rfind(ours, 0) == 0;
            ended = waitpid(pid, nullptr, WNOHANG) == pid;
        }
        if (seen) {
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
            ++caught;
        }
        if (!ended) {
            kill(pid, SIGKILL);
            WaitFor(pid);
        }
        const auto doc = LoadOpmlFile(Utf8ToWide(DataFile("default.opml")));
        ASSERT_TRUE(doc) << "round " << round;
        ASSERT_GE(doc->outlines.size(), 20u) << "round " << round;
        EXPECT_EQ(doc->outlines[19]->children.size(), 50u) << "round " << round;
    }
    EXPECT_GT(caught, 0) << "no kill came during a save";
    const CToolRun tree = RunRssReaderTool({"tree"});
    EXPECT_EQ(tree.exitCode, 0);
    EXPECT_TRUE(tree.Json()["complete"].get<bool>());
    EXPECT_EQ(SaveLeftovers(), std::vector<std::string>{}) << "left by the killed saves";
}

TEST_F(WritersTest, ADamagedOrEmptyFileIsRebuiltAndNoStoredFeedOrPageIsLost)
{
    std::string opml = "<opml version='1.0'><body>";
    for (int feed = 0; feed < 4; ++feed) {
        ServeFeed("/f" + std::to_string(feed) + ".xml", "Feed " + std::to_string(feed), 2);
        opml += "<outline title='Feed " + std::to_string(feed) + "' xmlUrl='" +
                m_server.Url("/f" + std::to_string(feed) + ".xml") + "'/>";
    }
    WriteHomeFile("data/RSSReader/default.opml", opml + "</body></opml>");
    ASSERT_EQ(RunRssReaderTool({"update"}).exitCode, 0);
    auto expectEveryFeedWithItsPages = [&](const std::string& when) {
        for (int feed = 0; feed < 4; ++feed) {
            const std::string url = m_server.Url("/f" + std::to_string(feed) + ".xml");
            const CToolRun pages = RunRssReaderTool({"pages", url});
            ASSERT_EQ(pages.exitCode, 0) << url << " lost " << when;
            EXPECT_EQ(pages.Json().size(), 2u) << url << " " << when;
        }
    };

    // Cut inside the second feed's outline: two edits later every feed is
    // still there, the lost ones in "Recovered feeds".
    const std::string whole = ReadWholeFile(DataFile("default.opml"));
    const std::string cut = whole.substr(0, whole.find("Feed 1") + 4);
    WriteWholeFile(DataFile("default.opml"), cut);
    const CToolRun first = RunRssReaderTool({"mkdir", "X"});
    EXPECT_EQ(first.exitCode, 0);
    EXPECT_NE(first.errors.find("kept as \"" + DataFile("default.opml.damaged") + "\""), std::string::npos)
        << first.errors;
    ASSERT_EQ(RunRssReaderTool({"mkdir", "Y"}).exitCode, 0);
    expectEveryFeedWithItsPages("after a cut file");
    ExpectSaved({"Feed 0", "Recovered feeds", "Feed 1", "Feed 2", "Feed 3", "X", "Y"}, "after a cut file");
    EXPECT_EQ(ReadWholeFile(DataFile("default.opml.damaged")), cut);

    // An empty file, and then none at all: rebuilt from the store, never
    // seeded.
    WriteWholeFile(DataFile("default.opml"), "");
    const CToolRun empty = RunRssReaderTool({"tree"});
    EXPECT_NE(empty.errors.find("The OPML file is incorrect."), std::string::npos) << empty.errors;
    expectEveryFeedWithItsPages("after an empty file");
    fs::remove(DataFile("default.opml"));
    const CToolRun none = RunRssReaderTool({"tree"});
    EXPECT_NE(none.errors.find("The subscription file was missing."), std::string::npos) << none.errors;
    expectEveryFeedWithItsPages("after a missing file");
    ExpectSaved({"Feed 0", "Feed 1", "Feed 2", "Feed 3"}, "after a missing file");
    EXPECT_EQ(SavedNames().count("Hacker News"), 0u) << "the seed was put over the store";
    EXPECT_TRUE(fs::exists(DataFile("default.opml.damaged.1"))) << "the empty file is kept";
    EXPECT_FALSE(fs::exists(DataFile("default.opml.damaged.2")));
}

TEST_F(WritersTest, LeftoversOfProcessesThatAreGoneAreRemovedAtTheNextStart)
{
    WriteHomeFile("data/RSSReader/default.opml", "<opml version='1.0'><body><outline title='Folder'/></body></opml>");
    const std::string gone = std::to_string(GoneProcessId()), alive = std::to_string(getpid());
    const std::string downloads = WideToUtf8(SplitPath(CSetting::Instance().GetDataFilePath(L"x")).folder);
    const std::string config = WideToUtf8(SplitPath(CRegKey::StorePath()).folder);
    fs::create_directories(downloads);
    fs::create_directories(config);
    const std::vector<std::string> leftovers = {downloads + "/temp-" + gone + "-1-1.xml",
                                                downloads + "/temp-" + gone + "-f3.xml",
                                                downloads + "/temp-" + alive + "-old.xml",
                                                DataFile("default.opml.tmp-" + gone + "-0"),
                                                config + "/registry.reg.tmp-" + gone + "-4"};
    const std::vector<std::string> kept = {downloads + "/temp-" + alive + "-2-1.xml", downloads + "/temp-notes.xml",
                                           downloads + "/mine.xml", DataFile("default.opml.tmp-mine")};
    for (const std::string& path : leftovers)
        WriteWholeFile(path, "left");
    for (const std::string& path : kept)
        WriteWholeFile(path, "kept");
    // A file of a live process older than a day: its id has been reused.
    fs::last_write_time(downloads + "/temp-" + alive + "-old.xml",
                        fs::file_time_type::clock::now() - std::chrono::hours(25));

    ASSERT_EQ(RunRssReaderTool({"tree"}).exitCode, 0);
    for (const std::string& path : leftovers)
        EXPECT_FALSE(fs::exists(path)) << path;
    for (const std::string& path : kept)
        EXPECT_TRUE(fs::exists(path)) << path;
}

} // namespace
