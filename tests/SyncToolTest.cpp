// The sync account, black-box: rssreader-tool against a real Tiny Tiny RSS
// server on loopback, which fetches its feeds from a loopback server of the
// test.
#include <csignal>
#include <filesystem>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

#include "SyncTestSupport.h"
#include "platform/Unicode.h"
#include "support/FaultProxy.h"

extern char** environ;

namespace {

using Paths = std::vector<std::string>;

nlohmann::json FeedResult(const nlohmann::json& update, const std::string& url)
{
    for (const auto& feed : update["feeds"]) {
        if (feed["url"] == url)
            return feed;
    }
    return nullptr;
}

} // namespace

class CSyncToolTest : public CSyncTest {};

TEST_F(CSyncToolTest, AccountSetUpLogsInBeforeAnythingIsStored)
{
    const std::string wrong = "not-the-password\n";
    CToolRun run = Tool({"account", "set", m_pServer->url, m_pServer->user}, &wrong);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.Json()["reason"], "wrong password");
    EXPECT_NE(run.errors.find("refused the user name or the password"), std::string::npos) << run.errors;
    EXPECT_EQ(Tool({"account", "show"}).exitCode, 1);
    EXPECT_FALSE(std::filesystem::exists(HomePath("config/RSSReader/sync-password")));

    const std::string password = m_pServer->password + "\n";
    run = Tool({"account", "set", "http://127.0.0.1:" + std::to_string(CLoopbackHttpServer::UnusedPort()) + "/",
                m_pServer->user},
               &password);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.Json()["reason"], "network error");
    EXPECT_EQ(Tool({"account", "set", "ftp://127.0.0.1/", m_pServer->user}, &password).exitCode, 2);
    EXPECT_EQ(Tool({"account", "set", m_pServer->url, m_pServer->user}).exitCode, 2) << "no password given";
    EXPECT_EQ(Tool({"account", "show"}).exitCode, 1);

    SetAccount();
    run = Tool({"account", "show"});
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.Json()["server"], m_pServer->url);
    EXPECT_EQ(run.Json()["folder"], AccountFolder());
    EXPECT_EQ(run.Json()["passwordIn"], "file");
    const std::string file = HomePath("config/RSSReader/sync-password");
    struct stat status {};
    ASSERT_EQ(stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600);
    EXPECT_EQ(ReadWholeFile(file), m_pServer->password + "\n");

    run = Tool({"account", "remove"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(Tool({"account", "show"}).exitCode, 1);
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(CSyncToolTest, UpdateAllSyncsTheAccountAndDownloadsTheOtherFeeds)
{
    const int news = ServerCategory("News");
    const std::string alpha = ServeFeed("alpha", 1, 3);
    const std::string beta = ServeFeed("beta", 1, 2, false);
    const int alphaId = ServerSubscribe("alpha", news);
    const int betaId = ServerSubscribe("beta");
    ServerMark(ServerArticle(alphaId, ItemLink("alpha", 2))["id"], false);
    // A feed of the tree outside the account is downloaded in the same run.
    const std::string direct = ServeFeed("direct", 1, 4);
    ASSERT_EQ(Tool({"subscribe", direct, "--root"}).exitCode, 0);
    SetAccount();

    CToolRun run = Tool({"update"});
    ASSERT_EQ(run.exitCode, 0) << run.output << run.errors;
    nlohmann::json update = run.Json();
    EXPECT_EQ(update["totalFeeds"], 3);
    EXPECT_EQ(update["updatedFeeds"], 3);
    EXPECT_EQ(update["totalNewPages"], 9);
    EXPECT_EQ(FeedResult(update, alpha)["account"], true);
    EXPECT_EQ(FeedResult(update, direct)["download"], "fetched");
    EXPECT_EQ(AccountPaths(), (Paths{"News/alpha", "beta"}));
    EXPECT_EQ(Pages(alpha), (std::map<std::string, std::string>{{ItemLink("alpha", 1), "unread"},
                                                                 {ItemLink("alpha", 2), "read"},
                                                                 {ItemLink("alpha", 3), "unread"}}));
    // The server gives linkless articles its site's address: two of them
    // stay two pages, the later under its id.
    const std::map<std::string, std::string> linkless = Pages(beta);
    ASSERT_EQ(linkless.size(), 2u);
    EXPECT_EQ(std::count_if(linkless.begin(), linkless.end(),
                            [](const auto& page) {
                                return std::all_of(page.first.begin(), page.first.end(), ::isdigit);
                            }),
              1);

    // Only what is newer comes the next time.
    ServeFeed("alpha", 1, 5);
    ServerFetch(alphaId);
    ServerFetch(betaId);
    run = Tool({"update"});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    update = run.Json();
    EXPECT_EQ(FeedResult(update, alpha)["newPages"], 2);
    EXPECT_EQ(FeedResult(update, beta)["newPages"], 0);
    EXPECT_EQ(Pages(alpha).size(), 5u);
    EXPECT_EQ(Pages(alpha)[ItemLink("alpha", 2)], "read");
    EXPECT_LE(update["sync"]["requests"], 4) << "tree, categories and the new headlines";
}

TEST_F(CSyncToolTest, TheFolderFollowsFeedsTheServerAddsAndDrops)
{
    const std::string alpha = ServeFeed("alpha", 1, 2);
    const std::string beta = ServeFeed("beta", 1, 2);
    ServerSubscribe("alpha");
    const int betaId = ServerSubscribe("beta");
    SetAccount();
    ASSERT_EQ(Tool({"update"}).exitCode, 0);
    EXPECT_EQ(AccountPaths(), (Paths{"alpha", "beta"}));

    ServerUnsubscribe(betaId);
    const int tech = ServerCategory("Tech");
    const std::string gamma = ServeFeed("gamma", 1, 3);
    ServerSubscribe("gamma", tech);
    const CToolRun run = Tool({"update"});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(AccountPaths(), (Paths{"Tech/gamma", "alpha"}));
    EXPECT_EQ(Pages(gamma).size(), 3u);
    EXPECT_EQ(Tool({"pages", beta}).exitCode, 1) << "a feed the server dropped goes with its pages";
    EXPECT_EQ(Pages(alpha).size(), 2u);
    const nlohmann::json feeds = Tool({"feeds"}).Json();
    EXPECT_EQ(feeds.size(), 2u);

    // The account removed, its folder goes with its feeds and pages.
    ASSERT_EQ(Tool({"account", "remove"}).exitCode, 0);
    EXPECT_TRUE(AccountPaths().empty());
    EXPECT_EQ(Tool({"pages", alpha}).exitCode, 1);
}

TEST_F(CSyncToolTest, SubscribingAndDeletingInTheFolderAskTheServer)
{
    ServeFeed("alpha", 1, 2);
    ServerCategory("News");
    ServerSubscribe("alpha");
    SetAccount();
    ASSERT_EQ(Tool({"update"}).exitCode, 0);
    const std::string folder = AccountFolder();

    const std::string beta = ServeFeed("beta", 1, 3);
    CToolRun run = Tool({"subscribe", beta, "--folder", folder + "/News"});
    ASSERT_EQ(run.exitCode, 0) << run.output << run.errors;
    EXPECT_EQ(AccountPaths(), (Paths{"News/beta", "alpha"}));
    CSyncError error;
    const auto onServer = m_pServer->Api()->GetFeeds(error);
    ASSERT_TRUE(onServer.has_value());
    ASSERT_EQ(onServer->size(), 2u);
    ASSERT_EQ(Tool({"update"}).exitCode, 0);
    EXPECT_EQ(Pages(beta).size(), 3u) << "the server fetched it when it subscribed";

    // The server's answers in the reader's words; nothing is added.
    run = Tool({"subscribe", m_feeds.Url("/missing.xml"), "--folder", folder});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.errors.find("could not download the feed"), std::string::npos) << run.errors;
    run = Tool({"subscribe", beta, "--folder", folder});
    EXPECT_NE(run.errors.find("has this feed already"), std::string::npos) << run.errors;
    EXPECT_EQ(AccountPaths(), (Paths{"News/beta", "alpha"}));

    // An import inside the folder: the server subscribes to what it lacks.
    const std::string gamma = ServeFeed("gamma", 1, 1);
    const std::wstring list = WriteHomeFile("list.opml", "<opml version=\"1.0\"><body><outline text=\"g\" xmlUrl=\"" +
                                                           gamma + "\"/><outline text=\"b\" xmlUrl=\"" + beta +
                                                           "\"/></body></opml>");
    run = Tool({"import", WideToUtf8(list), "--folder", folder});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(run.Json()["messages"].back(), "\"1\" feeds added.");
    EXPECT_EQ(AccountPaths(), (Paths{"News/beta", "alpha", "gamma"}));
    ASSERT_TRUE(m_pServer->Sql("DELETE FROM ttrss_feeds WHERE feed_url LIKE '%gamma%'").has_value());
    ASSERT_EQ(Tool({"update"}).exitCode, 0);

    // What the API cannot do is refused, as the window greys it.
    EXPECT_EQ(Tool({"rename", folder + "/alpha", "Other"}).exitCode, 1);
    EXPECT_EQ(Tool({"mkdir", "Sub", "--folder", folder}).exitCode, 1);
    EXPECT_EQ(Tool({"delete", folder + "/News"}).exitCode, 1);
    EXPECT_EQ(Tool({"move", folder + "/alpha", "up"}).exitCode, 1);

    run = Tool({"delete", folder + "/News/beta"});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(AccountPaths(), (Paths{"News/", "alpha"}));
    EXPECT_EQ(m_pServer->Api()->GetFeeds(error)->size(), 1u);
    EXPECT_EQ(Tool({"pages", beta}).exitCode, 1);
    ASSERT_EQ(Tool({"update"}).exitCode, 0);
    EXPECT_EQ(AccountPaths(), (Paths{"News/", "alpha"})) << "the next sync does not bring it back";
}

TEST_F(CSyncToolTest, ReadStateTravelsBothWays)
{
    const std::string alpha = ServeFeed("alpha", 1, 4);
    const int alphaId = ServerSubscribe("alpha");
    SetAccount();
    ASSERT_EQ(Tool({"update"}).exitCode, 0);

    // Marked here: the server has it at once.
    CToolRun run = Tool({"mark", alpha, ItemLink("alpha", 1), "read"});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(run.Json()["sync"]["sent"], 1);
    EXPECT_EQ(ServerArticle(alphaId, ItemLink("alpha", 1))["unread"], false);
    // A page deleted here is read there.
    ASSERT_EQ(Tool({"mark", alpha, ItemLink("alpha", 2), "delete"}).exitCode, 0);
    EXPECT_EQ(ServerArticle(alphaId, ItemLink("alpha", 2))["unread"], false);

    // Marked there: here with the next sync.
    ServerMark(ServerArticle(alphaId, ItemLink("alpha", 3))["id"], false);
    ServerMark(ServerArticle(alphaId, ItemLink("alpha", 1))["id"], true);
    ASSERT_EQ(Tool({"update"}).exitCode, 0);
    EXPECT_EQ(Pages(alpha), (std::map<std::string, std::string>{{ItemLink("alpha", 1), "unread"},
                                                                 {ItemLink("alpha", 3), "read"},
                                                                 {ItemLink("alpha", 4), "unread"}}));

    // A whole folder marked here.
    run = Tool({"mark-read", AccountFolder()});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(run.Json()["sync"]["sent"], 2);
    for (int item : {1, 3, 4})
        EXPECT_EQ(ServerArticle(alphaId, ItemLink("alpha", item))["unread"], false) << item;
}

TEST_F(CSyncToolTest, MarksMadeWhileTheServerIsAwayWaitAndSurviveAKill)
{
    const std::string alpha = ServeFeed("alpha", 1, 3);
    const int alphaId = ServerSubscribe("alpha");
    SetAccount();
    ASSERT_EQ(Tool({"update"}).exitCode, 0);

    // The server stops answering while the tool sends the mark; the tool is
    // killed in the middle of it.
    m_pServer->Pause();
    const std::string link = ItemLink("alpha", 2);
    const char* argv[] = {RSSREADER_TOOL, "mark", alpha.c_str(), link.c_str(), "read", nullptr};
    pid_t marking = 0;
    ASSERT_EQ(posix_spawn(&marking, RSSREADER_TOOL, nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    int pending = 0;
    for (int wait = 0; wait < 200 && pending == 0; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const CToolRun show = Tool({"account", "show"});
        pending = show.exitCode == 0 ? show.Json()["pendingMarks"].get<int>() : 0;
    }
    ::kill(marking, SIGKILL);
    int status = 0;
    waitpid(marking, &status, 0);
    m_pServer->Resume();
    ASSERT_EQ(pending, 1);
    EXPECT_EQ(Pages(alpha)[link], "read");
    EXPECT_EQ(ServerArticle(alphaId, link)["unread"], true);

    // The next sync sends it first.
    const CToolRun run = Tool({"update"});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(run.Json()["sync"]["marksSent"], 1);
    EXPECT_EQ(ServerArticle(alphaId, link)["unread"], false);
    EXPECT_EQ(Tool({"account", "show"}).Json()["pendingMarks"], 0);
}

TEST_F(CSyncToolTest, ALostLoginAndTheApiSwitchedOffAreToldAndKeepEverything)
{
    const std::string alpha = ServeFeed("alpha", 1, 2);
    const int alphaId = ServerSubscribe("alpha");
    SetAccount();
    ASSERT_EQ(Tool({"update"}).exitCode, 0);

    // An expired session: one fresh login, and the sync goes on.
    ASSERT_TRUE(m_pServer->Sql("DELETE FROM ttrss_sessions").has_value());
    ServeFeed("alpha", 1, 3);
    ServerFetch(alphaId);
    CToolRun run = Tool({"update"});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(FeedResult(run.Json(), alpha)["newPages"], 1);

    auto expectKept = [&](const char* reason, const char* words) {
        ASSERT_EQ(Tool({"account", "show"}).Json()["pendingMarks"], 1);
        const CToolRun failed = Tool({"update"});
        EXPECT_EQ(failed.exitCode, 3) << failed.errors;
        const nlohmann::json feed = FeedResult(failed.Json(), alpha);
        EXPECT_EQ(feed["result"], "failed");
        EXPECT_EQ(feed["reason"], reason);
        EXPECT_NE(feed["message"].get<std::string>().find(words), std::string::npos) << feed["message"];
        EXPECT_EQ(AccountPaths(), (Paths{"alpha"}));
        EXPECT_EQ(Pages(alpha).size(), 3u);
        EXPECT_EQ(Tool({"account", "show"}).Json()["pendingMarks"], 1);
    };

    // The API switched off for the user: a mark waits, the update says why.
    ASSERT_TRUE(m_pServer->Sql("UPDATE ttrss_user_prefs SET value = 'false' WHERE pref_name = 'ENABLE_API_ACCESS'"));
    run = Tool({"mark", alpha, ItemLink("alpha", 1), "read"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.Json()["sync"]["reason"], "api disabled");
    expectKept("api disabled", "API");

    // The password changed on the server (the session gone with it).
    ASSERT_TRUE(m_pServer->Sql("UPDATE ttrss_user_prefs SET value = 'true' WHERE pref_name = 'ENABLE_API_ACCESS';"
                               "UPDATE ttrss_users SET pwd_hash = 'SHA1:0000000000000000000000000000000000000000', "
                               "salt = '' WHERE login = 'admin'; DELETE FROM ttrss_sessions"));
    expectKept("wrong password", "user name or the password");
}

// Faults of the server in the middle of a sync, through a proxy in front of
// it: the update says why, stores nothing of the sync, deletes nothing, and
// keeps the marks that did not go out.
struct CSyncFault {
    const char* op;
    CFaultProxy::Fault fault;
    const char* reason;
};

// Names the case in listings instead of dumping its bytes.
void PrintTo(const CSyncFault& fault, std::ostream* out) { *out << fault.op << " (" << fault.reason << ")"; }

class CSyncFaultTest : public CSyncTest, public ::testing::WithParamInterface<CSyncFault> {};

TEST_P(CSyncFaultTest, NothingIsStoredHalfAndTheQueueIsKept)
{
    const std::string alpha = ServeFeed("alpha", 1, 2);
    const std::string beta = ServeFeed("beta", 1, 2);
    const int alphaId = ServerSubscribe("alpha");
    ServerSubscribe("beta");
    CFaultProxy proxy;
    ASSERT_TRUE(proxy.Start(std::stoi(m_pServer->url.substr(m_pServer->url.rfind(':') + 1))));
    SetAccount(proxy.Url());
    ASSERT_EQ(Tool({"update"}).exitCode, 0);

    // A mark that cannot go out now, and news on the server.
    proxy.SetFault("", CFaultProxy::Fault::Status500);
    ASSERT_EQ(Tool({"mark", alpha, ItemLink("alpha", 1), "read"}).exitCode, 0);
    proxy.ClearFaults();
    ServeFeed("alpha", 1, 4);
    ServerFetch(alphaId);
    const nlohmann::json before = Tool({"account", "show"}).Json();
    ASSERT_EQ(before["pendingMarks"], 1);

    proxy.SetFault(GetParam().op, GetParam().fault);
    const CToolRun run = Tool({"update", "--timeout", "1500"});
    EXPECT_EQ(run.exitCode, 3) << run.output << run.errors;
    for (const std::string& url : {alpha, beta}) {
        const nlohmann::json feed = FeedResult(run.Json(), url);
        EXPECT_EQ(feed["result"], "failed");
        EXPECT_EQ(feed["reason"], GetParam().reason);
    }
    proxy.ClearFaults();
    const nlohmann::json after = Tool({"account", "show"}).Json();
    EXPECT_EQ(after["lastArticleId"], before["lastArticleId"]);
    const bool marksWentOut = std::string(GetParam().op) != "updateArticle";
    EXPECT_EQ(after["pendingMarks"], marksWentOut ? 0 : 1);
    EXPECT_EQ(AccountPaths(), (Paths{"alpha", "beta"}));
    EXPECT_EQ(Pages(alpha).size(), 2u);
    EXPECT_EQ(Pages(beta).size(), 2u);

    // Once the server is well again, the sync brings it all.
    const CToolRun healed = Tool({"update"});
    EXPECT_EQ(healed.exitCode, 0) << healed.errors;
    EXPECT_EQ(Pages(alpha).size(), 4u);
    EXPECT_EQ(Tool({"account", "show"}).Json()["pendingMarks"], 0);
    EXPECT_EQ(ServerArticle(alphaId, ItemLink("alpha", 1))["unread"], false);
}

namespace {

std::string FaultName(const ::testing::TestParamInfo<CSyncFault>& info)
{
    static const char* const names[] = {"None", "Status500", "CutShort", "Stall"};
    return std::string(info.param.op) + names[static_cast<int>(info.param.fault)];
}

} // namespace

INSTANTIATE_TEST_SUITE_P(
    Faults, CSyncFaultTest,
    ::testing::Values(CSyncFault{"getHeadlines", CFaultProxy::Fault::Stall, "timeout"},
                      CSyncFault{"getHeadlines", CFaultProxy::Fault::Status500, "http status"},
                      CSyncFault{"getHeadlines", CFaultProxy::Fault::CutShort, "cut short"},
                      CSyncFault{"updateArticle", CFaultProxy::Fault::Status500, "http status"}),
    FaultName);
