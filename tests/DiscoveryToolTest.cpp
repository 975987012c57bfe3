// Subscribing to a site rather than a feed, as a user scripts it: the
// feed a site's page announces, a choice among several, a site's common
// feed places, and what is refused, all against a loopback server through
// rssreader-tool (discover, subscribe).

#include <gtest/gtest.h>

#include "support/NetTest.h"
#include "support/ToolRunner.h"

namespace {

std::string FeedDocument(const std::string& title)
{
    return "<rss version='2.0'><channel><title>" + title + "</title><link>http://site.invalid/</link>"
           "<item><title>One</title><link>http://site.invalid/1</link></item></channel></rss>";
}

std::string WebPage(const std::string& head)
{
    return "<!DOCTYPE html>\n<html><head><title>A site</title>" + head + "</head><body><p>Welcome</body></html>";
}

class DiscoveryToolTest : public CNetTest {
protected:
    void SetUp() override
    {
        CNetTest::SetUp();
        WriteHomeFile("data/RSSReader/default.opml", "<opml version='1.0'><body/></opml>");
    }

    std::vector<std::string> SubscribedUrls()
    {
        std::vector<std::string> urls;
        const nlohmann::json tree = RunRssReaderTool({"tree"}).Json();
        for (const auto& entry : tree["tree"])
            urls.push_back(entry.value("url", ""));
        return urls;
    }
};

TEST_F(DiscoveryToolTest, ASitesPageLeadsToTheFeedItAnnounces)
{
    m_server.SetAnswer("/blog/", CHttpAnswer::Ok(WebPage(
        "<link rel='alternate' type='application/rss+xml' title='Posts' href='feeds/posts.xml'>")));
    m_server.SetAnswer("/blog/feeds/posts.xml", CHttpAnswer::Ok(FeedDocument("Blog Posts")));

    const auto found = RunRssReaderTool({"discover", m_server.Url("/blog/")});
    ASSERT_EQ(found.exitCode, 0) << found.errors;
    ASSERT_EQ(found.Json().size(), 1u);
    EXPECT_EQ(found.Json()[0]["url"], m_server.Url("/blog/feeds/posts.xml"));
    EXPECT_EQ(found.Json()[0]["title"], "Blog Posts");
    EXPECT_EQ(found.Json()[0]["found"], "announced");

    // Subscribed under the feed's own address, named from its channel.
    const auto subscribed = RunRssReaderTool({"subscribe", m_server.Url("/blog/")});
    ASSERT_EQ(subscribed.exitCode, 0) << subscribed.output << subscribed.errors;
    EXPECT_EQ(subscribed.Json()["tree"][0]["label"], "Blog Posts");
    EXPECT_EQ(SubscribedUrls(), std::vector<std::string>{m_server.Url("/blog/feeds/posts.xml")});
    // The site again: the feed behind it is already there.
    const auto again = RunRssReaderTool({"subscribe", m_server.Url("/blog/")});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(again.Json()["messages"][0], "This feed already exists.");
    EXPECT_EQ(m_server.Hits("/feed"), 0) << "a page that announces a feed is not searched further";
}

TEST_F(DiscoveryToolTest, SeveralAnnouncedFeedsAreListedAndSubscribeTakesTheFirst)
{
    m_server.SetAnswer("/", CHttpAnswer::Ok(WebPage(
        "<link rel='alternate' type='application/atom+xml' title='Everything' href='/all.atom'>"
        "<link rel='alternate' type='application/rss+xml' title='Comments' href='/comments.rss'>"
        "<link rel='alternate' type='application/rss+xml' href='/all.atom'>")));
    m_server.SetAnswer("/all.atom", CHttpAnswer::Ok(FeedDocument("All of it")));
    m_server.SetAnswer("/comments.rss", CHttpAnswer::Ok(FeedDocument("Comments")));

    const auto found = RunRssReaderTool({"discover", m_server.Url("/")});
    ASSERT_EQ(found.exitCode, 0) << found.errors;
    ASSERT_EQ(found.Json().size(), 2u) << "each address once";
    EXPECT_EQ(found.Json()[0]["url"], m_server.Url("/all.atom"));
    EXPECT_EQ(found.Json()[0]["title"], "Everything");
    EXPECT_EQ(found.Json()[0]["type"], "application/atom+xml");
    EXPECT_EQ(found.Json()[1]["url"], m_server.Url("/comments.rss"));
    EXPECT_EQ(m_server.Hits("/all.atom"), 0) << "listing downloads none of them";

    ASSERT_EQ(RunRssReaderTool({"subscribe", m_server.Url("/")}).exitCode, 0);
    EXPECT_EQ(SubscribedUrls(), std::vector<std::string>{m_server.Url("/all.atom")});
    EXPECT_EQ(m_server.Hits("/comments.rss"), 0);
}

TEST_F(DiscoveryToolTest, APageThatAnnouncesNothingIsSearchedAtTheCommonPlaces)
{
    m_server.SetAnswer("/news/today.html", CHttpAnswer::Ok(WebPage("<link rel='stylesheet' href='/s.css'>")));
    m_server.SetAnswer("/rss", CHttpAnswer::Ok(FeedDocument("Found at /rss")));
    m_server.SetAnswer("/index.xml", CHttpAnswer::Ok(FeedDocument("Never reached")));

    const auto found = RunRssReaderTool({"discover", m_server.Url("/news/today.html")});
    ASSERT_EQ(found.exitCode, 0) << found.errors;
    EXPECT_EQ(found.Json()[0]["url"], m_server.Url("/rss"));
    EXPECT_EQ(found.Json()[0]["found"], "common path");
    EXPECT_EQ(m_server.Hits("/feed"), 1) << "tried first, from the site's root";
    EXPECT_EQ(m_server.Hits("/atom.xml"), 0) << "the search ends at the first feed";
    EXPECT_EQ(m_server.Hits("/index.xml"), 0);

    // Nothing anywhere: unsupported, naming the address.
    m_server.SetAnswer("/rss", CHttpAnswer::Status(404));
    m_server.SetAnswer("/index.xml", CHttpAnswer::Status(404));
    const auto none = RunRssReaderTool({"subscribe", m_server.Url("/news/today.html")});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.Json()["messages"][0], "Unsupported URL\r\n\"" + m_server.Url("/news/today.html") + "\"");
    EXPECT_EQ(m_server.Hits("/feed.xml"), 1) << "every common place was tried";
}

TEST_F(DiscoveryToolTest, WhatIsNeitherAFeedNorAPageAndABrokenAnnouncementAreRefused)
{
    m_server.SetAnswer("/data.json", CHttpAnswer::Ok("{\"items\": [\"<html>\"]}"));
    m_server.SetAnswer("/feed", CHttpAnswer::Ok(FeedDocument("Would be found")));
    m_server.SetAnswer("/broken/", CHttpAnswer::Ok(WebPage(
        "<link rel='alternate' type='application/rss+xml' href='gone.xml'>"
        "<link rel='alternate' type='application/rss+xml' href='javascript:alert(1)'>")));

    const auto json = RunRssReaderTool({"discover", m_server.Url("/data.json")});
    EXPECT_EQ(json.exitCode, 1);
    EXPECT_EQ(json.output, "null\n");
    EXPECT_NE(json.errors.find("Unsupported URL\n\"" + m_server.Url("/data.json") + "\""), std::string::npos)
        << json.errors;
    EXPECT_EQ(m_server.Hits("/feed"), 0) << "only a web page is searched further";

    // The announced feed fails: said under its own address.
    const auto broken = RunRssReaderTool({"subscribe", m_server.Url("/broken/")});
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_EQ(broken.Json()["messages"][0], "Unsupported URL\r\n\"" + m_server.Url("/broken/gone.xml") + "\"");

    // An address without a scheme is an https address (nothing listens on
    // port 1); another scheme is refused unfetched.
    const auto https = RunRssReaderTool({"subscribe", "127.0.0.1:1/feed"});
    EXPECT_EQ(https.Json()["messages"][0], "Unsupported URL\r\n\"https://127.0.0.1:1/feed\"");
    const std::string bare = m_server.Url("/feed").substr(std::string("http://").size());
    EXPECT_EQ(RunRssReaderTool({"discover", "ftp://" + bare}).exitCode, 1);
    EXPECT_EQ(m_server.Hits("/feed"), 0);
    EXPECT_TRUE(SubscribedUrls().empty());
}

} // namespace
