#include "SyncTestSupport.h"

#include <cstdlib>
#include <regex>

#include "platform/Unicode.h"

void CSyncTest::SetUp()
{
    CTempHomeTest::SetUp();
    // The password must land in the private file of the test's home, never
    // in a desktop keyring the test happens to run under.
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    TTRSS_OR_SKIP(m_pServer);
    ASSERT_TRUE(m_pServer->Reset());
    ASSERT_TRUE(m_feeds.Start());
    // No seed: the tree holds what the tests put there.
    WriteHomeFile("data/RSSReader/default.opml",
                  "<?xml version=\"1.0\"?><opml version=\"1.0\"><head/><body/></opml>");
}

void CSyncTest::TearDown()
{
    if (m_pServer != nullptr)
        m_pServer->Resume();
    m_feeds.Stop();
    CTempHomeTest::TearDown();
}

std::string CSyncTest::ItemLink(const std::string& name, int item)
{
    return "http://example.invalid/" + name + "/" + std::to_string(item);
}

std::string CSyncTest::FeedDocument(const std::string& name, int first, int last, bool withLinks)
{
    std::string document = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>" + name + "</title>";
    if (withLinks)
        document += "<link>http://example.invalid/" + name + "</link>";
    document += "<description>" + name + "</description>";
    for (int item = last; item >= first; --item) {
        const std::string day = std::to_string(10 + item % 18);
        document += "<item><title>" + name + " item " + std::to_string(item) + "</title>";
        if (withLinks)
            document += "<link>" + ItemLink(name, item) + "</link>";
        else
            document += "<guid isPermaLink=\"false\">" + name + "-" + std::to_string(item) + "</guid>";
        document += "<description>Text of " + name + " item " + std::to_string(item) +
                    "</description><pubDate>Mon, " + day + " Jun 2024 10:" + std::to_string(10 + item % 50) +
                    ":00 GMT</pubDate></item>";
    }
    return document + "</channel></rss>";
}

std::string CSyncTest::ServeFeed(const std::string& name, int first, int last, bool withLinks)
{
    m_feeds.SetAnswer("/" + name + ".xml", CHttpAnswer::Ok(FeedDocument(name, first, last, withLinks)));
    return FeedUrl(name);
}

int CSyncTest::ServerCategory(const std::string& title)
{
    const auto id = m_pServer->Sql("INSERT INTO ttrss_feed_categories (owner_uid, title) VALUES (1, '" + title +
                                   "') RETURNING id");
    EXPECT_TRUE(id.has_value());
    return id ? std::atoi(id->c_str()) : 0;
}

int CSyncTest::ServerSubscribe(const std::string& name, int categoryId)
{
    CSyncError error;
    const auto answer = m_pServer->Api()->Subscribe(FeedUrl(name), categoryId, error);
    EXPECT_TRUE(answer && answer->code == CSubscribeCode::Added) << SyncFailureName(error.failure) << error.detail;
    const int feedId = answer ? answer->feedId : 0;
    ServerFetch(feedId);
    return feedId;
}

void CSyncTest::ServerFetch(int feedId)
{
    CSyncError error;
    EXPECT_TRUE(m_pServer->Api()->Call("updateFeed", {{"feed_id", feedId}}, error)) << error.detail;
}

void CSyncTest::ServerUnsubscribe(int feedId)
{
    CSyncError error;
    EXPECT_TRUE(m_pServer->Api()->Unsubscribe(feedId, error)) << error.detail;
}

nlohmann::json CSyncTest::ServerArticle(int feedId, const std::string& link)
{
    CSyncError error;
    const auto articles = m_pServer->Api()->GetHeadlines(feedId, 0, 0, 200, false, error);
    EXPECT_TRUE(articles.has_value()) << error.detail;
    for (const CServerArticle& article : articles.value_or(std::vector<CServerArticle>{})) {
        if (article.link == Utf8ToWide(link))
            return {{"id", article.id}, {"unread", article.unread}};
    }
    ADD_FAILURE() << "the server has no article " << link;
    return nullptr;
}

void CSyncTest::ServerMark(int articleId, bool unread)
{
    CSyncError error;
    EXPECT_TRUE(m_pServer->Api()->SetUnread({articleId}, unread, error)) << error.detail;
}

CToolRun CSyncTest::Tool(const std::vector<std::string>& args, const std::string* input)
{
    return RunRssReaderTool(args, input);
}

void CSyncTest::SetAccount(const std::string& server)
{
    const std::string password = m_pServer->password + "\n";
    m_strAccountServer = server.empty() ? m_pServer->url : server;
    const CToolRun run = Tool({"account", "set", m_strAccountServer, m_pServer->user}, &password);
    ASSERT_EQ(run.exitCode, 0) << run.output << run.errors;
}

std::string CSyncTest::AccountFolder() const
{
    const std::string& server = m_strAccountServer.empty() ? m_pServer->url : m_strAccountServer;
    return m_pServer->user + "@" + server.substr(7, server.size() - 8);
}

std::vector<std::string> CSyncTest::TreePaths()
{
    const CToolRun run = Tool({"tree"});
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    std::vector<std::string> paths;
    const std::regex count(" \\([0-9]+\\)$");
    std::function<void(const nlohmann::json&, const std::string&)> walk = [&](const nlohmann::json& list,
                                                                               const std::string& prefix) {
        for (const auto& entry : list) {
            const std::string label = std::regex_replace(entry["label"].get<std::string>(), count, "");
            if (entry["kind"] == "feed")
                paths.push_back(prefix + label);
            else if (entry.contains("children"))
                walk(entry["children"], prefix + label + "/");
            else
                paths.push_back(prefix + label + "/");
        }
    };
    walk(run.Json()["tree"], "");
    return paths;
}

std::vector<std::string> CSyncTest::AccountPaths()
{
    const std::string prefix = AccountFolder() + "/";
    std::vector<std::string> inside;
    for (const std::string& path : TreePaths()) {
        if (path.rfind(prefix, 0) == 0)
            inside.push_back(path.substr(prefix.size()));
    }
    return inside;
}

std::map<std::string, std::string> CSyncTest::Pages(const std::string& url)
{
    std::map<std::string, std::string> pages;
    const CToolRun run = Tool({"pages", url});
    if (run.exitCode != 0)
        return pages;
    for (const auto& page : run.Json())
        pages[page["key"].get<std::string>()] = page["stateName"].get<std::string>();
    return pages;
}
