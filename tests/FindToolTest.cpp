// Searching the stored pages through rssreader-tool find, as a script would:
// pages updated from a loopback server, found by their words newest first
// with their feed, and the search keeping step with marks and deletions.

#include <gtest/gtest.h>

#include "support/NetTest.h"
#include "support/ToolRunner.h"

namespace {

class FindToolTest : public CNetTest {
protected:
    void SetUp() override
    {
        CNetTest::SetUp();
        WriteHomeFile("data/RSSReader/default.opml",
                      "<opml version='1.0'><body>"
                      "<outline text='Harbour' xmlUrl='" + m_server.Url("/harbour.xml") + "'/>"
                      "<outline text='Weather' xmlUrl='" + m_server.Url("/weather.xml") + "'/>"
                      "</body></opml>");
        m_server.SetAnswer("/harbour.xml", CHttpAnswer::Ok(
            "<rss version='2.0'><channel><title>Harbour</title>"
            "<item><title>Ferry &lt;b&gt;delayed&lt;/b&gt;</title><link>http://h.invalid/1</link>"
            "<description>&lt;p&gt;Storms over the bay&lt;/p&gt;</description>"
            "<pubDate>Mon, 03 Mar 2025 08:00:00 GMT</pubDate></item>"
            "<item><title>New pier opens</title><link>http://h.invalid/2</link>"
            "<description>The ferries dock at the new pier.</description>"
            "<pubDate>Wed, 05 Mar 2025 08:00:00 GMT</pubDate></item>"
            "</channel></rss>"));
        m_server.SetAnswer("/weather.xml", CHttpAnswer::Ok(
            "<rss version='2.0'><channel><title>Weather</title>"
            "<item><title>Storm warning</title><link>http://w.invalid/1</link>"
            "<description>No ferry sails today.</description>"
            "<pubDate>Tue, 04 Mar 2025 08:00:00 GMT</pubDate></item>"
            "</channel></rss>"));
        ASSERT_EQ(RunRssReaderTool({"update"}).exitCode, 0);
    }

    static std::vector<std::string> Keys(const nlohmann::json& list)
    {
        std::vector<std::string> keys;
        for (const auto& page : list)
            keys.push_back(page["key"]);
        return keys;
    }
};

TEST_F(FindToolTest, FindsStoredPagesByTheirWordsNewestFirstWithTheirFeeds)
{
    const auto found = RunRssReaderTool({"find", "ferry"});
    ASSERT_EQ(found.exitCode, 0) << found.errors;
    const auto hits = found.Json();
    EXPECT_EQ(Keys(hits), (std::vector<std::string>{"http://h.invalid/2", "http://w.invalid/1", "http://h.invalid/1"}));
    EXPECT_EQ(hits[1]["feedUrl"], m_server.Url("/weather.xml"));
    EXPECT_EQ(hits[1]["feedTitle"], "Weather");
    EXPECT_EQ(hits[1]["title"], "Storm warning");
    EXPECT_EQ(hits[1]["stateName"], "unread");
    EXPECT_EQ(hits[1]["date"]["local"].get<std::string>().substr(0, 10), "2025-03-04");
    EXPECT_FALSE(hits[1].contains("description"));

    // Every word counts, in titles and texts alike; markup is no word.
    EXPECT_EQ(Keys(RunRssReaderTool({"find", "STORM", "ferry"}).Json()),
              (std::vector<std::string>{"http://w.invalid/1", "http://h.invalid/1"}));
    EXPECT_EQ(Keys(RunRssReaderTool({"find", "ferry", "--limit", "1"}).Json()),
              std::vector<std::string>{"http://h.invalid/2"});
    const auto none = RunRssReaderTool({"find", "b"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.output, "null\n");
    EXPECT_EQ(RunRssReaderTool({"find"}).exitCode, 2);
    EXPECT_EQ(RunRssReaderTool({"find", "ferry", "--limit", "0"}).exitCode, 2);
}

TEST_F(FindToolTest, MarksDeletionsAndRemovedFeedsShowAtOnce)
{
    ASSERT_EQ(RunRssReaderTool({"mark", m_server.Url("/harbour.xml"), "http://h.invalid/2", "read"}).exitCode, 0);
    ASSERT_EQ(RunRssReaderTool({"mark", m_server.Url("/harbour.xml"), "http://h.invalid/1", "delete"}).exitCode, 0);
    const auto hits = RunRssReaderTool({"find", "ferry"}).Json();
    EXPECT_EQ(Keys(hits), (std::vector<std::string>{"http://h.invalid/2", "http://w.invalid/1"}));
    EXPECT_EQ(hits[0]["stateName"], "read");

    // A deleted page stays gone after the next update; a feed taken out of
    // the tree takes its pages with it.
    ASSERT_EQ(RunRssReaderTool({"update"}).exitCode, 0);
    EXPECT_EQ(RunRssReaderTool({"find", "bay"}).exitCode, 1);
    ASSERT_EQ(RunRssReaderTool({"delete", "Weather"}).exitCode, 0);
    EXPECT_EQ(Keys(RunRssReaderTool({"find", "ferry"}).Json()), std::vector<std::string>{"http://h.invalid/2"});
}

} // namespace
