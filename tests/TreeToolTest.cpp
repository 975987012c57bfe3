// The tree commands of rssreader-tool as a user scripts them: subscribing
// against a loopback server, folders, moves, renames, deletions, marks,
// import and export; default.opml saved exactly where the GUI saves it.

#include <gtest/gtest.h>

#include <filesystem>

#include "subscriptions/OpmlFile.h"
#include "support/NetTest.h"
#include "support/ToolRunner.h"

namespace fs = std::filesystem;

namespace {

class TreeToolTest : public CNetTest {
protected:
    void SetUp() override
    {
        CNetTest::SetUp();
        WriteHomeFile("data/RSSReader/default.opml", "<opml version='1.0'><body><outline title='Folder'/></body></opml>");
        m_server.SetAnswer("/news.xml", CHttpAnswer::Ok("<rss version='2.0'><channel><title>Daily News</title>"
                                                        "<link>http://news.example/</link>"
                                                        "<item><link>http://news.example/1</link></item>"
                                                        "<item><link>http://news.example/2</link></item>"
                                                        "</channel></rss>"));
        m_server.SetAnswer("/page.html", CHttpAnswer::Ok("<html><body>not a feed</body></html>"));
    }

    static std::vector<std::string> Labels(const nlohmann::json& list)
    {
        std::vector<std::string> labels;
        for (const auto& entry : list) {
            labels.push_back(entry["label"]);
            if (entry.contains("children"))
                for (const std::string& child : Labels(entry["children"]))
                    labels.push_back("  " + child);
        }
        return labels;
    }
    std::vector<std::string> TreeLabels() { return Labels(RunRssReaderTool({"tree"}).Json()["tree"]); }
    std::string Saved() const { return ReadWholeFile(HomePath("data/RSSReader/default.opml")); }
};

TEST_F(TreeToolTest, SubscribingChecksFetchesAndNamesTheFeedFromItsChannel)
{
    const auto subscribed = RunRssReaderTool({"subscribe", m_server.Url("/news.xml"), "--folder", "Folder"});
    ASSERT_EQ(subscribed.exitCode, 0) << subscribed.output;
    EXPECT_EQ(TreeLabels(), (std::vector<std::string>{"Folder", "  Daily News"}));
    EXPECT_NE(Saved().find("Daily News"), std::string::npos) << "saved at once";

    // Refused before anything is fetched: another scheme, a known feed.
    const int hits = m_server.Hits("/news.xml");
    auto refused = RunRssReaderTool({"subscribe", "file:///etc/passwd"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.Json()["messages"][0], "Unsupported URL\r\n\"file:///etc/passwd\"");
    refused = RunRssReaderTool({"subscribe", m_server.Url("/news.xml")});
    EXPECT_EQ(refused.Json()["messages"][0], "This feed already exists.");
    EXPECT_EQ(m_server.Hits("/news.xml"), hits);
    refused = RunRssReaderTool({"subscribe", m_server.Url("/page.html")});
    EXPECT_EQ(refused.Json()["messages"][0], "Unsupported URL\r\n\"" + m_server.Url("/page.html") + "\"");

    // After an update the label carries the unread count.
    ASSERT_EQ(RunRssReaderTool({"update"}).exitCode, 0);
    EXPECT_EQ(TreeLabels(), (std::vector<std::string>{"Folder", "  Daily News (2)"}));
    ASSERT_EQ(RunRssReaderTool({"mark-read", "Folder"}).exitCode, 0);
    EXPECT_EQ(TreeLabels(), (std::vector<std::string>{"Folder", "  Daily News"}));
    const auto rows = RunRssReaderTool({"properties", "Folder/Daily News"}).Json();
    EXPECT_EQ(rows[1]["value"], m_server.Url("/news.xml"));
    EXPECT_EQ(rows[2]["value"], "http://news.example/");
}

TEST_F(TreeToolTest, FoldersMovesRenamesAndDeletionsAreSavedWhereTheGuiSaves)
{
    ASSERT_EQ(RunRssReaderTool({"mkdir", "A/B"}).exitCode, 0);
    ASSERT_EQ(RunRssReaderTool({"mkdir", "Inner", "--folder", "Folder"}).exitCode, 0);
    EXPECT_EQ(TreeLabels(), (std::vector<std::string>{"Folder", "  Inner", "A/B"}));
    ASSERT_EQ(RunRssReaderTool({"move", "A//B", "up"}).exitCode, 0) << "a \"/\" in a name is written \"//\"";
    EXPECT_EQ(TreeLabels(), (std::vector<std::string>{"Folder", "  Inner", "  A/B"}));
    EXPECT_EQ(RunRssReaderTool({"move", "Folder", "up"}).exitCode, 1) << "the first entry has nowhere to go";
    ASSERT_EQ(RunRssReaderTool({"rename", "Folder/Inner", "Renamed"}).exitCode, 0);
    EXPECT_NE(Saved().find("Renamed"), std::string::npos);
    ASSERT_EQ(RunRssReaderTool({"delete", "Folder"}).exitCode, 0);
    EXPECT_TRUE(TreeLabels().empty());
    EXPECT_EQ(RunRssReaderTool({"rename", "Nothing/Here", "x"}).exitCode, 1);
}

TEST_F(TreeToolTest, ImportFromAFileOrAnAddressAndExportRoundTrip)
{
    const std::string opml = "<opml version='1.0'><body><outline title='Imported'>"
                             "<outline title='N' xmlUrl='" + m_server.Url("/news.xml") + "'/></outline></body></opml>";
    m_server.SetAnswer("/list.opml", CHttpAnswer::Ok(opml));
    const auto imported = RunRssReaderTool({"import", m_server.Url("/list.opml")});
    ASSERT_EQ(imported.exitCode, 0) << imported.output;
    EXPECT_EQ(imported.Json()["messages"][0], "\"1\" feeds added.");
    EXPECT_EQ(TreeLabels(), (std::vector<std::string>{"Folder", "Imported", "  N"}));

    const std::string exported = HomePath("export.opml");
    ASSERT_EQ(RunRssReaderTool({"export", exported}).exitCode, 0);
    const auto again = RunRssReaderTool({"import", exported});
    EXPECT_EQ(again.Json()["messages"][0], "All rss feeds in the imported OPML file have already been added.");
    EXPECT_EQ(TreeLabels(), (std::vector<std::string>{"Folder", "Imported", "  N"})) << "no folder added either";
    EXPECT_EQ(RunRssReaderTool({"import", HomePath("none.opml")}).Json()["messages"][0],
              "The OPML file is incorrect.\r\n\"" + HomePath("none.opml") + "\"");
    // A document without feeds from an address is named by its address.
    m_server.SetAnswer("/folders.opml", CHttpAnswer::Ok("<opml><body><outline title='Only'/></body></opml>"));
    EXPECT_EQ(RunRssReaderTool({"import", m_server.Url("/folders.opml")}).Json()["messages"][0],
              "The OPML file is incorrect.\r\n\"" + m_server.Url("/folders.opml") + "\"");
}

TEST_F(TreeToolTest, AnOpmlAddressIsFetchedWithinTheSizeLimitAndAFileAddressIsReadInPlace)
{
    // A whole list of 40 MB (40 KB on the wire): the download stops at
    // 32 MB, and not even the feed at its start is taken.
    CHttpAnswer big = CHttpAnswer::Ok(ReadWholeFile(TestDataPath("http/opml-40mb.gz")));
    big.headers.emplace_back("Content-Encoding", "gzip");
    m_server.SetAnswer("/big.opml", big);
    const auto refused = RunRssReaderTool({"import", m_server.Url("/big.opml")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.errors.find("The OPML file at \"" + m_server.Url("/big.opml") + "\" is larger than 32 MB"),
              std::string::npos)
        << refused.errors;
    EXPECT_EQ(TreeLabels(), (std::vector<std::string>{"Folder"}));
    EXPECT_EQ(Saved().find("big.example"), std::string::npos);
    for (const auto& entry : fs::recursive_directory_iterator(m_strHome))
        EXPECT_NE(entry.path().filename().string().rfind("temp-", 0), 0u) << "left behind: " << entry.path();

    const std::string list = HomePath("list.opml");
    WriteHomeFile("list.opml", "<opml version='1.0'><body><outline title='Local' xmlUrl='" +
                                   m_server.Url("/news.xml") + "'/></body></opml>");
    const auto imported = RunRssReaderTool({"import", "file://" + list});
    ASSERT_EQ(imported.exitCode, 0) << imported.output << imported.errors;
    EXPECT_EQ(TreeLabels(), (std::vector<std::string>{"Folder", "Local"}));
}

} // namespace
