// rssreader-tool killed at random moments, and two updates of one store at
// once: the counters always come back to the pages, and no page is ever
// filed under another feed.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <iostream>
#include <random>
#include <thread>

#include "support/NetTest.h"
#include "support/ToolRunner.h"

extern char** environ;

namespace {

constexpr int kFeeds = 6;

class CrashToolTest : public CNetTest {
protected:
    // Feed n serves 5 more items each time it is fetched, up to 60, so that
    // every run has pages to write.
    void ServeGrowingFeeds()
    {
        std::string opml = "<opml version='1.0'><body>";
        for (int feed = 0; feed < kFeeds; ++feed) {
            const std::string path = "/f" + std::to_string(feed) + ".xml";
            std::vector<CHttpAnswer> answers;
            for (int items = 5; items <= 60; items += 5) {
                std::string xml = "<rss version='2.0'><channel><title>F</title>";
                for (int i = 0; i < items; ++i)
                    xml += "<item><title>t</title><link>" + Link(feed, i) + "</link><description>" +
                           std::string(500, 'd') + "</description></item>";
                answers.push_back(CHttpAnswer::Ok(xml + "</channel></rss>"));
            }
            m_server.SetAnswers(path, answers);
            opml += "<outline title='F" + std::to_string(feed) + "' xmlUrl='" + m_server.Url(path) + "'/>";
        }
        WriteHomeFile("data/RSSReader/default.opml", opml + "</body></opml>");
    }

    static std::string Link(int feed, int item)
    {
        return "http://x/" + std::to_string(feed) + "/" + std::to_string(item);
    }

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

    // Every feed's counters are those of its stored pages, and every page
    // is one of its own feed's.
    void ExpectCountersFollowThePages(const std::string& when)
    {
        const auto feeds = RunRssReaderTool({"feeds"}).Json();
        ASSERT_EQ(feeds.size(), static_cast<size_t>(kFeeds)) << when;
        for (const auto& feed : feeds) {
            const std::string url = feed["url"];
            const auto pages = RunRssReaderTool({"pages", url}).Json();
            int unread = 0;
            const std::string feedNumber = url.substr(url.rfind("/f") + 2, url.size() - url.rfind("/f") - 6);
            for (const auto& page : pages) {
                unread += page["state"] == 0;
                EXPECT_EQ(page["key"].get<std::string>().rfind("http://x/" + feedNumber + "/", 0), 0u)
                    << when << ": a page of another feed in " << url;
            }
            EXPECT_EQ(feed["pageCount"], pages.size()) << when << " " << url;
            EXPECT_EQ(feed["unreadCount"], unread) << when << " " << url;
        }
    }
};

// Many kills at random moments (the seed is printed, so that a failure can
// be replayed with RSSREADER_CRASH_SEED): after each, the start-up clean-up
// or one more update leaves every feed's counters equal to its pages.
TEST_F(CrashToolTest, CountersComeBackToThePagesAfterAKillAtAnyMoment)
{
    ServeGrowingFeeds();
    ASSERT_EQ(RunRssReaderTool({"update"}).exitCode, 0);
    const char* given = std::getenv("RSSREADER_CRASH_SEED");
    const unsigned seed = given != nullptr ? static_cast<unsigned>(std::stoul(given)) : std::random_device{}();
    std::cout << "RSSREADER_CRASH_SEED=" << seed << std::endl;
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delayMs(0, 250);
    for (int kill = 0; kill < 16; ++kill) {
        const pid_t updating = Spawn({"update"});
        ASSERT_GT(updating, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random)));
        ::kill(updating, SIGKILL);
        WaitFor(updating);
        // Marks that a kill may have interrupted as well.
        const pid_t marking = Spawn({"mark", m_server.Url("/f0.xml"), Link(0, kill % 5), kill % 2 ? "read" : "unread"});
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random) / 25));
        ::kill(marking, SIGKILL);
        WaitFor(marking);
        if (kill % 4 == 3)
            EXPECT_EQ(RunRssReaderTool({"update"}).exitCode, 0);
        else
            EXPECT_EQ(RunRssReaderTool({"cleanup"}).exitCode, 0);
        ExpectCountersFollowThePages("after kill " + std::to_string(kill) + " (seed " + std::to_string(seed) + ")");
        if (HasFailure())
            break;
    }
}

// Two updates of one data folder at the same moment: the second is refused
// while the first runs, so no page can be filed under the wrong feed.
TEST_F(CrashToolTest, TwoUpdatesOfOneStoreNeverInterleave)
{
    ServeGrowingFeeds();
    for (int feed = 0; feed < kFeeds; ++feed) {
        // The first feed slow enough (about two seconds) that the second run
        // starts while the first still holds the store.
        CHttpAnswer slow = CHttpAnswer::Ok("<rss version='2.0'><channel><title>F</title><item><link>" + Link(feed, 0) +
                                           "</link></item></channel></rss>");
        slow.delivery = CHttpAnswer::Delivery::Trickle;
        slow.firstBytes = 10;
        slow.trickleBytes = feed == 0 ? 1 : 40;
        slow.trickleDelay = std::chrono::milliseconds(feed == 0 ? 20 : 5);
        m_server.SetAnswer("/f" + std::to_string(feed) + ".xml", slow);
    }
    CToolRun first, second;
    std::thread one([&] { first = RunRssReaderTool({"update"}); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (m_server.Hits("/f0.xml") == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::thread two([&] { second = RunRssReaderTool({"update"}); });
    one.join();
    two.join();
    EXPECT_EQ(first.exitCode, 0);
    EXPECT_EQ(second.exitCode, 5) << "refused: another update runs";
    EXPECT_NE(second.output.find("An update is already running."), std::string::npos) << second.output;
    ExpectCountersFollowThePages("after two updates at once");
}

} // namespace
