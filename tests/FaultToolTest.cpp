// rssreader-tool on a disk that fills up and on a store that cannot be
// written, as a user meets them: real mounts (a small tmpfs, a read-only
// bind) in a mount namespace of the test's own.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "platform/Unicode.h"
#include "support/MountNamespace.h"
#include "support/NetTest.h"
#include "support/ToolRunner.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFeedCount = 6;

class FaultToolTest : public CNetTest {
protected:
    void SetUp() override
    {
        CNetTest::SetUp();
        if (const auto why = WhyNoMountNamespace())
            GTEST_SKIP() << *why;
        fs::create_directories(HomePath("out"));
        fs::create_directories(DataFolder());
    }

    std::string DataFolder() const { return HomePath("data/RSSReader"); }
    std::string Out(const std::string& name) const { return HomePath("out/" + name); }

    // Each feed first serves 10 items, from its second fetch on 40 (the
    // first 10 among them), with descriptions long enough to fill a disk.
    void ServeFeeds()
    {
        std::string opml = "<opml version='1.0'><body>";
        for (int feed = 0; feed < kFeedCount; ++feed) {
            const std::string path = "/f" + std::to_string(feed) + ".xml";
            auto document = [&](int items) {
                std::string xml = "<rss version='2.0'><channel><title>F" + std::to_string(feed) + "</title>";
                for (int i = 0; i < items; ++i)
                    xml += "<item><title>Item " + std::to_string(i) + "</title><link>http://x/" + std::to_string(feed) +
                           "/" + std::to_string(i) + "</link><description>" + std::string(2000, 'a' + i % 26) +
                           "</description><pubDate>" + std::to_string(1 + i % 28) +
                           " Nov 2026 10:00:00 +0000</pubDate></item>";
                return xml + "</channel></rss>";
            };
            m_server.SetAnswers(path, {CHttpAnswer::Ok(document(10)), CHttpAnswer::Ok(document(40))});
            opml += "<outline title='F" + std::to_string(feed) + "' xmlUrl='" + m_server.Url(path) + "'/>";
        }
        WriteHomeFile("source.opml", opml + "</body></opml>");
    }

    // The tool in a script, its output in out/NAME, its errors in
    // out/NAME.err and its exit code in out/NAME.exit.
    std::string Tool(const std::string& args, const std::string& name) const
    {
        const std::string exit = ShellQuote(Out(name + ".exit"));
        return "if " + ShellQuote(RSSREADER_TOOL) + " " + args + " > " + ShellQuote(Out(name)) + " 2> " +
               ShellQuote(Out(name + ".err")) + "; then echo 0 > " + exit + "; else echo $? > " + exit + "; fi\n";
    }

    int ExitOf(const std::string& name) const { return std::stoi(ReadWholeFile(Out(name + ".exit"))); }
    nlohmann::json JsonOf(const std::string& name) const { return nlohmann::json::parse(ReadWholeFile(Out(name))); }

    std::string Mount(const std::string& size) const
    {
        return "mount -t tmpfs -o size=" + size + " tmpfs " + ShellQuote(DataFolder()) + "\n";
    }
    // Fills the disk, then frees some of it again.
    std::string Fill(const std::string& leaveFree) const
    {
        const std::string filler = ShellQuote(DataFolder() + "/filler");
        return "dd if=/dev/zero of=" + filler + " bs=4k 2>/dev/null || true\n" +
               (leaveFree.empty() ? "" : "truncate -s -" + leaveFree + " " + filler + "\n");
    }

    std::vector<std::string> DamagedFiles(const std::string& listing) const
    {
        std::vector<std::string> found;
        std::istringstream lines(ReadWholeFile(Out(listing)));
        for (std::string line; std::getline(lines, line);) {
            if (line.find("damaged") != std::string::npos)
                found.push_back(line);
        }
        return found;
    }
};

// The disk fills up in the middle of an update: the feeds that could not be
// written fail with the reason, the run does not claim them, nothing is set
// aside, and once there is room again the next run leaves the store as a
// run without the fault would have.
TEST_F(FaultToolTest, AFullDiskFailsFeedsAndTheNextRunStoresWhatACleanRunWould)
{
    ServeFeeds();
    std::string script = Mount("3m") + "cp " + ShellQuote(HomePath("source.opml")) + " " +
                         ShellQuote(DataFolder() + "/default.opml") + "\n" + Tool("update", "first") + Fill("160k") +
                         Tool("update", "full") + "ls " + ShellQuote(DataFolder()) + " > " +
                         ShellQuote(Out("listing")) + "\nrm " + ShellQuote(DataFolder() + "/filler") + "\n" +
                         Tool("update", "again") + Tool("feeds", "feeds");
    for (int feed = 0; feed < kFeedCount; ++feed)
        script += Tool("pages " + ShellQuote(m_server.Url("/f" + std::to_string(feed) + ".xml")),
                       "pages" + std::to_string(feed));
    const CScriptRun run = RunInMountNamespace(script);
    ASSERT_EQ(run.exitCode, 0) << run.output;

    EXPECT_EQ(ExitOf("first"), 0) << ReadWholeFile(Out("first.err"));
    EXPECT_EQ(ExitOf("full"), 4) << "the store could not be written";
    const auto full = JsonOf("full");
    int storeErrors = 0;
    for (const auto& feed : full["feeds"])
        storeErrors += feed["result"] == "failed" && feed["reason"] == "store error";
    EXPECT_GT(storeErrors, 0) << full.dump(1);
    EXPECT_EQ(full["updatedFeeds"].get<int>() + storeErrors, kFeedCount);
    EXPECT_EQ(full["finalText"].get<std::string>().find(std::to_string(kFeedCount) + "/" + std::to_string(kFeedCount)),
              std::string::npos)
        << "the end text does not claim every feed";
    EXPECT_TRUE(DamagedFiles("listing").empty()) << "a full disk is not damage";

    EXPECT_EQ(ExitOf("again"), 0) << ReadWholeFile(Out("again.err"));
    const auto feeds = JsonOf("feeds");
    ASSERT_EQ(feeds.size(), static_cast<size_t>(kFeedCount));
    for (int feed = 0; feed < kFeedCount; ++feed) {
        const auto pages = JsonOf("pages" + std::to_string(feed));
        EXPECT_EQ(pages.size(), 40u) << "feed " << feed;
    }
    for (const auto& feed : feeds) {
        EXPECT_EQ(feed["pageCount"], 40) << feed.dump();
        EXPECT_EQ(feed["unreadCount"], 40) << feed.dump();
    }
}

// A disk full before the store is even opened, again and again: the store is
// reported, never replaced, and is whole once there is room.
TEST_F(FaultToolTest, AStoreThatCannotBeOpenedOnAFullDiskIsLeftAsItIs)
{
    ServeFeeds();
    std::string script = Mount("2m") + "cp " + ShellQuote(HomePath("source.opml")) + " " +
                         ShellQuote(DataFolder() + "/default.opml") + "\n" + Tool("update", "first") +
                         Tool("feeds", "before") + Fill("");
    for (int attempt = 0; attempt < 3; ++attempt)
        script += Tool("update", "full" + std::to_string(attempt));
    script += "ls " + ShellQuote(DataFolder()) + " > " + ShellQuote(Out("listing")) + "\nrm " +
              ShellQuote(DataFolder() + "/filler") + "\n" + Tool("feeds", "after");
    const CScriptRun run = RunInMountNamespace(script);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_EQ(ExitOf("first"), 0);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::string name = "full" + std::to_string(attempt);
        EXPECT_EQ(ExitOf(name), 4) << ReadWholeFile(Out(name));
        EXPECT_NE(ReadWholeFile(Out(name + ".err")).find("the disk is full"), std::string::npos)
            << ReadWholeFile(Out(name + ".err"));
    }
    EXPECT_TRUE(DamagedFiles("listing").empty());
    EXPECT_EQ(JsonOf("after"), JsonOf("before")) << "every feed as it was";
}

// A store on a read-only file system: every command that needs to write
// says so and fails, none claims something else, and nothing is set aside.
TEST_F(FaultToolTest, AReadOnlyStoreSaysSoAndStaysWhole)
{
    ServeFeeds();
    WriteHomeFile("data/RSSReader/default.opml", ReadWholeFile(HomePath("source.opml")));
    ASSERT_EQ(RunRssReaderTool({"update"}).exitCode, 0);
    const auto before = RunRssReaderTool({"feeds"}).Json();
    const std::string key = RunRssReaderTool({"pages", m_server.Url("/f0.xml")}).Json()[0]["key"];
    const std::string data = ShellQuote(DataFolder());
    const std::string config = ShellQuote(HomePath("config"));
    fs::create_directories(HomePath("config"));
    const std::string script = "mount --bind " + data + " " + data + "\nmount -o remount,bind,ro " + data + "\n" +
                               "mount --bind " + config + " " + config + "\nmount -o remount,bind,ro " + config +
                               "\n" + Tool("mark " + ShellQuote(m_server.Url("/f0.xml")) + " " + ShellQuote(key) + " read",
                                           "mark") +
                               Tool("update", "update") + Tool("set MaxPages 20", "set") + "ls " + data + " > " +
                               ShellQuote(Out("listing")) + "\n";
    const CScriptRun run = RunInMountNamespace(script);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(ExitOf("mark"), 4) << ReadWholeFile(Out("mark.err"));
    EXPECT_EQ(ReadWholeFile(Out("mark.err")).find("no page with the key"), std::string::npos)
        << "not taken for a missing page: " << ReadWholeFile(Out("mark.err"));
    EXPECT_EQ(ExitOf("update"), 4) << ReadWholeFile(Out("update.err"));
    EXPECT_EQ(ExitOf("set"), 4) << "the options could not be written";
    EXPECT_NE(ReadWholeFile(Out("set.err")).find("cannot write the options"), std::string::npos);
    EXPECT_TRUE(DamagedFiles("listing").empty());
    EXPECT_EQ(RunRssReaderTool({"feeds"}).Json(), before);
}

} // namespace
