// rssreader-tool search: the candidates the online search would list for a
// keyword, and --check downloading each against a loopback server.

#include <gtest/gtest.h>

#include "support/NetTest.h"
#include "support/ToolRunner.h"

namespace {

class SearchToolTest : public CNetTest {
protected:
    void SetUp() override
    {
        CNetTest::SetUp();
        WriteHomeFile("data/RSSReader/default.opml",
                      "<opml version='1.0'><body><outline title='Known' xmlUrl='" + m_server.Url("/known?q=AT%26T") +
                          "'/></body></opml>");
        auto item = [&](const std::string& title, const std::string& path) {
            return "<item><title>" + title + ": searchkeyword</title><link>http://home.invalid/</link>"
                   "<source url='" + m_server.Url(path) + "'>s</source></item>";
        };
        WriteHomeFile("data/RSSReader/FeedSearchKeyword.xml",
                      "<rss version='2.0'><channel><title>k</title>" + item("Feed", "/feed?q=searchkeyword") +
                          item("Page", "/page?q=searchkeyword") + item("Known", "/known?q=searchkeyword") +
                          "</channel></rss>");
        m_server.SetAnswer("/feed?q=AT%26T", CHttpAnswer::Ok("<rss version='2.0'><channel><title>F</title>"
                                                             "<item><link>http://f/1</link></item></channel></rss>"));
        m_server.SetAnswer("/page?q=AT%26T", CHttpAnswer::Ok("<html><body>no feed</body></html>"));
    }
};

} // namespace

TEST_F(SearchToolTest, ListsTheCandidatesWithoutDownloadingAndChecksThemOnRequest)
{
    const CToolRun listed = RunRssReaderTool({"search", "AT&T"});
    ASSERT_EQ(listed.exitCode, 0);
    const auto candidates = listed.Json()["candidates"];
    ASSERT_EQ(candidates.size(), 2U) << "the subscribed feed is left out";
    EXPECT_EQ(candidates[0]["title"], "Feed: AT&T");
    EXPECT_EQ(candidates[0]["url"], m_server.Url("/feed?q=AT%26T"));
    EXPECT_EQ(m_server.Hits("/feed?q=AT%26T"), 0);

    const CToolRun checked = RunRssReaderTool({"search", "AT&T", "--check", "--timeout", "5000"});
    EXPECT_EQ(checked.exitCode, 3) << "one candidate is no feed";
    const auto results = checked.Json()["candidates"];
    EXPECT_EQ(results[0]["check"]["feed"], true);
    EXPECT_EQ(results[1]["check"]["feed"], false);
    EXPECT_EQ(results[1]["check"]["messages"][0], "Unsupported URL\r\n\"" + m_server.Url("/page?q=AT%26T") + "\"");
    EXPECT_EQ(m_server.Hits("/feed?q=AT%26T"), 1);

    WriteHomeFile("data/RSSReader/FeedSearchKeyword.xml", "<rss version='2.0'><channel><title>k</title></channel></rss>");
    const CToolRun none = RunRssReaderTool({"search", "AT&T"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.output, "null\n");
}
