// rssreader-tool fetch and notify as a script sees them.

#include <filesystem>
#include <gtest/gtest.h>

#include <thread>

#include "platform/Unicode.h"
#include "support/NetTest.h"
#include "support/ToolRunner.h"

namespace fs = std::filesystem;

namespace {

class NetworkToolTest : public CNetTest {};

} // namespace

TEST_F(NetworkToolTest, FetchReportsTheDownload)
{
    m_server.SetAnswer("/feed.xml", CHttpAnswer::Ok(std::string(3000, 'x')));
    const std::string file = HomePath("out/feed.xml");
    const auto fetched = RunRssReaderTool({"fetch", m_server.Url("/feed.xml"), file});
    ASSERT_EQ(fetched.exitCode, 0);
    const auto report = fetched.Json();
    EXPECT_EQ(report["succeeded"], true);
    EXPECT_EQ(report["bytes"], 3000);
    EXPECT_EQ(report["status"], 200);
    EXPECT_EQ(report["cancelCode"], 0);
    EXPECT_EQ(report["progressMessages"], 3);
    EXPECT_EQ(fs::file_size(file), 3000u);

    const auto missing = RunRssReaderTool({"fetch", m_server.Url("/missing"), file});
    ASSERT_EQ(missing.exitCode, 1) << "a 404 is not a download";
    EXPECT_EQ(missing.Json()["succeeded"], false);
    EXPECT_EQ(missing.Json()["bytes"], 0);
    EXPECT_EQ(missing.Json()["status"], 404);
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(NetworkToolTest, FetchTimesOutOnAStalledServer)
{
    CHttpAnswer answer = CHttpAnswer::Ok(std::string(5000, 'x'));
    answer.delivery = CHttpAnswer::Delivery::StallAfterPart;
    answer.firstBytes = 100;
    m_server.SetAnswer("/stall", answer);
    const auto fetched = RunRssReaderTool({"fetch", m_server.Url("/stall"), HomePath("out.xml"), "--timeout", "300"});
    ASSERT_EQ(fetched.exitCode, 1);
    EXPECT_EQ(fetched.Json()["succeeded"], false);
    EXPECT_EQ(fetched.Json()["timedOut"], true);
    EXPECT_EQ(fetched.Json()["cancelCode"], 1);
    EXPECT_FALSE(fs::exists(HomePath("out.xml")));
}

TEST_F(NetworkToolTest, WrongUseExitsWithTwo)
{
    EXPECT_EQ(RunRssReaderTool({"fetch", m_server.Url("/x")}).exitCode, 2);
    EXPECT_EQ(RunRssReaderTool({"fetch", m_server.Url("/x"), "f", "--timeout", "soon"}).exitCode, 2);
    EXPECT_EQ(RunRssReaderTool({"notify"}).exitCode, 2);
    EXPECT_EQ(RunRssReaderTool({"notify", "reboot"}).exitCode, 2);
}

TEST_F(NetworkToolTest, NotifySetsTheEventAnotherProcessHoldsAndSaysWhetherOneDid)
{
    for (const auto& [which, name] : {std::pair{"sync-end", L"ConnectedRSSReader"},
                                      std::pair{"net-disconnect", L"DisconnectedRSSReader"}}) {
        // Nobody listens yet: the signal is lost, and that is no failure.
        const auto unheard = RunRssReaderTool({"notify", which});
        ASSERT_EQ(unheard.exitCode, 0) << unheard.errors;
        EXPECT_EQ(unheard.Json()["received"], false) << which;

        CEvent event;
        ASSERT_TRUE(event.Create(true, false, name));
        EXPECT_FALSE(event.IsSet()) << "a signal nobody heard is not kept for a later holder";
        const auto notified = RunRssReaderTool({"notify", which});
        ASSERT_EQ(notified.exitCode, 0);
        EXPECT_EQ(notified.Json(), (nlohmann::json{{"event", WideToUtf8(name)}, {"set", true}, {"received", true}}));
        EXPECT_EQ(WaitForSingleObject(event, 2000), WAIT_OBJECT_0) << which;
    }
}

// The tool runs "Update All" as the dialog would, and a loss of the network
// raised by another process reaches it through the connection manager.
TEST_F(NetworkToolTest, UpdateRunsTheTreeAndStopsWhenTheNetworkIsLost)
{
    m_server.SetAnswer("/a.xml", CHttpAnswer::Ok("<rss version='2.0'><channel><title>A</title>"
                                                 "<item><link>http://x/1</link></item>"
                                                 "<item><link>http://x/2</link></item></channel></rss>"));
    WriteHomeFile("data/RSSReader/default.opml",
                  "<opml version='1.0'><body><outline title='Folder'>"
                  "<outline title='A' xmlUrl='" + m_server.Url("/a.xml") + "'/>"
                  "<outline title='Gone' xmlUrl='" + m_server.Url("/gone.xml") + "'/>"
                  "</outline></body></opml>");
    const auto run = RunRssReaderTool({"update"});
    ASSERT_EQ(run.exitCode, 3) << "a feed failed";
    const auto summary = run.Json();
    EXPECT_EQ(summary["result"], 32807);
    EXPECT_EQ(summary["updatedFeeds"], 1);
    EXPECT_EQ(summary["totalNewPages"], 2);
    ASSERT_EQ(summary["feeds"].size(), 2u);
    EXPECT_EQ(summary["feeds"][0]["result"], "updated");
    EXPECT_EQ(summary["feeds"][0]["newPages"], 2);
    EXPECT_EQ(summary["feeds"][1]["result"], "failed");
    EXPECT_EQ(summary["feeds"][1]["reason"], "http status");
    EXPECT_EQ(summary["feeds"][1]["httpStatus"], 404);
    EXPECT_EQ(summary["finalText"],
              "1/2 feed(s) updated.\r\nTotal update page: 2\r\npage(s) updated.\r\nSelect Done to continue.");
    // On stderr the dialog's line breaks are plain ones.
    EXPECT_NE(run.errors.find("status: 1/2 feed(s) updated.\nTotal update page: 2\npage(s) updated.\n"),
              std::string::npos)
        << run.errors;
    EXPECT_EQ(run.errors.find('\r'), std::string::npos);
    EXPECT_EQ(RunRssReaderTool({"update", "--feed", "http://not.in.the/tree"}).exitCode, 1);

    CHttpAnswer stall = CHttpAnswer::Ok("");
    stall.delivery = CHttpAnswer::Delivery::StallBeforeAnswer;
    m_server.SetAnswer("/a.xml", stall);
    CToolRun stopped;
    std::thread updating([&] { stopped = RunRssReaderTool({"update", "--feed", m_server.Url("/a.xml")}); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (m_server.Hits("/a.xml") < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const auto lost = RunRssReaderTool({"notify", "net-disconnect"});
    EXPECT_EQ(lost.exitCode, 0);
    EXPECT_EQ(lost.Json()["received"], true) << "the running update watches the event";
    updating.join();
    ASSERT_EQ(stopped.exitCode, 3);
    EXPECT_EQ(stopped.Json()["disconnected"], true);
    EXPECT_EQ(stopped.Json()["feeds"][0]["reason"], "cancelled");
    EXPECT_EQ(stopped.Json()["messageBoxes"], nlohmann::json::array({"The device is disconnected from the network."}))
        << "a lost network is not blamed on the URL";
}

// What a script learns of each feed's download: a document, a 304 or a
// failure (a body cut short is no document), and how many requests the run
// sent.
TEST_F(NetworkToolTest, UpdateTellsFetchedNotModifiedAndFailedApart)
{
    CHttpAnswer tagged = CHttpAnswer::Ok("<rss version='2.0'><channel><title>A</title>"
                                         "<item><link>http://x/1</link></item></channel></rss>");
    tagged.etag = "\"a1\"";
    m_server.SetAnswer("/a.xml", tagged);
    m_server.SetAnswer("/b.xml", CHttpAnswer::Redirect(301, "/a.xml"));
    WriteHomeFile("data/RSSReader/default.opml",
                  "<opml version='1.0'><body>"
                  "<outline title='A' xmlUrl='" + m_server.Url("/a.xml") + "'/>"
                  "<outline title='B' xmlUrl='" + m_server.Url("/b.xml") + "'/>"
                  "<outline title='Gone' xmlUrl='" + m_server.Url("/gone.xml") + "'/>"
                  "<outline title='Cut' xmlUrl='" + m_server.Url("/cut.xml") + "'/>"
                  "</body></opml>");
    m_server.SetAnswer("/gone.xml", CHttpAnswer::Status(410));
    CHttpAnswer cut = CHttpAnswer::Ok("<rss version='2.0'><channel><title>C</title>");
    cut.contentLength = 4000;
    m_server.SetAnswer("/cut.xml", cut);
    const auto first = RunRssReaderTool({"update"}).Json();
    EXPECT_EQ(first["requests"], 5);
    EXPECT_EQ(first["feeds"][0]["download"], "fetched");
    EXPECT_EQ(first["feeds"][1]["download"], "fetched");
    EXPECT_EQ(first["feeds"][1]["movedTo"], m_server.Url("/a.xml"));
    EXPECT_EQ(first["feeds"][2]["download"], "failed");
    EXPECT_EQ(first["feeds"][2]["reason"], "gone");
    EXPECT_EQ(first["feeds"][3]["download"], "failed");
    EXPECT_EQ(first["feeds"][3]["reason"], "incomplete");

    const auto second = RunRssReaderTool({"update"}).Json();
    EXPECT_EQ(second["feeds"][0]["download"], "not modified");
    EXPECT_EQ(second["feeds"][0]["result"], "updated");
    EXPECT_EQ(second["feeds"][0]["requests"], 1);
    EXPECT_EQ(second["feeds"][1]["download"], "not modified") << "the validators of the document it led to";
    EXPECT_EQ(second["totalNewPages"], 0);

    // A host that asks for a wait: said with the time, and left alone by
    // an automatic update until then.
    CHttpAnswer busy = CHttpAnswer::Status(429);
    busy.headers.emplace_back("Retry-After", "3600");
    m_server.SetAnswer("/a.xml", busy);
    const auto asked = RunRssReaderTool({"update", "--feed", m_server.Url("/a.xml")});
    EXPECT_EQ(asked.Json()["feeds"][0]["reason"], "retry later");
    EXPECT_TRUE(asked.Json()["feeds"][0].contains("notBefore"));
    const int hits = m_server.Hits("/a.xml");
    const auto automatic = RunRssReaderTool({"update", "--automatic"}).Json();
    EXPECT_EQ(m_server.Hits("/a.xml"), hits);
    EXPECT_EQ(automatic["feeds"][0]["reason"], "retry later");
    EXPECT_EQ(automatic["feeds"][0]["notBefore"], asked.Json()["feeds"][0]["notBefore"]);
}
