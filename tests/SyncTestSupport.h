#pragma once
// What the sync tests share: a private home, the real server (reset for each
// test), and a loopback server with the feed documents the aggregator
// fetches.
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "TestSupport.h"
#include "support/LoopbackHttpServer.h"
#include "support/ToolRunner.h"
#include "support/TtRssServer.h"

class CSyncTest : public CTempHomeTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // An RSS document of items first..last: "<name> item <i>", linked to
    // http://example.invalid/<name>/<i> (linkless when withLinks is false).
    static std::string FeedDocument(const std::string& name, int first, int last, bool withLinks = true);
    // Serves the document at /<name>.xml; its address.
    std::string ServeFeed(const std::string& name, int first, int last, bool withLinks = true);
    std::string FeedUrl(const std::string& name) const { return m_feeds.Url("/" + name + ".xml"); }
    // The page key of item i of a feed served here.
    static std::string ItemLink(const std::string& name, int item);

    // On the server, as another device of the user would do it.
    int ServerCategory(const std::string& title);
    int ServerSubscribe(const std::string& name, int categoryId = 0);
    void ServerFetch(int feedId);
    void ServerUnsubscribe(int feedId);
    // The server's article of a feed with that link.
    nlohmann::json ServerArticle(int feedId, const std::string& link);
    void ServerMark(int articleId, bool unread);

    // rssreader-tool with the test's home; input goes to its standard input.
    static CToolRun Tool(const std::vector<std::string>& args, const std::string* input = nullptr);
    // The account set up with the server's password.
    void SetAccount(const std::string& server = "");
    // The account folder's name.
    std::string AccountFolder() const;
    // The tree as rssreader-tool shows it: one "Folder/Feed" path per feed
    // (labels without their unread counts), in order.
    std::vector<std::string> TreePaths();
    // Those inside the account's folder, without its name.
    std::vector<std::string> AccountPaths();
    // The stored pages of a feed: key -> "read"/"unread".
    std::map<std::string, std::string> Pages(const std::string& url);

    const CTtRssServer* m_pServer = nullptr;
    std::string m_strAccountServer; // the address the account was set up with
    CLoopbackHttpServer m_feeds;
};
