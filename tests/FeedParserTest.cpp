// Feed documents under data/feeds, each with the expected parse beside it:
// NAME.xml and NAME.expected.json. The expected JSON names only what it
// checks (every key it holds must match; lists must match in length), or is
// null when the document must give no channel. Dates are read in UTC; each
// document is read as fetched from kFixtureBaseUrl + NAME.xml.

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "JsonOut.h"
#include "JsonSubset.h"
#include "TestSupport.h"
#include "content/DateText.h"
#include "content/FeedParser.h"
#include "platform/Unicode.h"

namespace fs = std::filesystem;

namespace {

const std::string kFixtureBaseUrl = "https://feeds.example.com/fixtures/";

std::vector<fs::path> FeedFixtures()
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(TestDataPath("feeds"))) {
        if (entry.path().extension() == ".xml")
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

TEST(FeedParser, EveryFixtureParsesAsExpected)
{
    SetTimeZone("UTC");
    const auto fixtures = FeedFixtures();
    ASSERT_GE(fixtures.size(), 10u);
    for (const fs::path& document : fixtures) {
        SCOPED_TRACE(document.filename().string());
        fs::path expectedPath = document;
        expectedPath.replace_extension(".expected.json");
        ASSERT_TRUE(fs::exists(expectedPath)) << "missing " << expectedPath;
        const Json expected = Json::parse(ReadWholeFile(expectedPath.string()));
        const auto channel = ParseFeedFile(Utf8ToWide(document.string()), 0,
                                           Utf8ToWide(kFixtureBaseUrl + document.filename().string()));
        if (expected.is_null()) {
            EXPECT_EQ(channel, nullptr);
            continue;
        }
        ASSERT_NE(channel, nullptr);
        EXPECT_EQ(channel->sourcePath, Utf8ToWide(document.string()));
        ExpectJsonSubset(expected, ChannelToJson(*channel), "channel");
    }
}

class FeedParserFileTest : public CTempHomeTest {
protected:
    std::unique_ptr<CRssChannel> Parse(const std::string& document)
    {
        return ParseFeedFile(WriteHomeFile("feed.xml", document));
    }
};

TEST_F(FeedParserFileTest, LaterElementsReplaceEarlierOnesAndEmptyDatesAreSkipped)
{
    const auto channel = Parse("<rss><channel><title>T</title><item>"
                               "<title>A</title><title>B</title><link>x</link><link/>"
                               "<pubDate>Mon, 06 Sep 2004 16:45:00 GMT</pubDate><pubDate> </pubDate>"
                               "<dc:date></dc:date></item></channel></rss>");
    ASSERT_NE(channel, nullptr);
    ASSERT_EQ(channel->items.size(), 1u);
    EXPECT_EQ(channel->items[0]->title, L"B");
    EXPECT_EQ(channel->items[0]->link, L"");
    EXPECT_EQ(FormatDateTime(channel->items[0]->date, L"%Y-%m-%d %H:%M"), L"2004-09-06 16:45");
}

TEST_F(FeedParserFileTest, CutsDescriptionsButKeepsEncodedContentWhole)
{
    const std::string longText(5000, 'x');
    const auto channel = Parse("<rss><channel><title>T</title><item><title>t</title><description>" + longText
                               + "</description><content:encoded>" + longText
                               + "</content:encoded></item></channel></rss>");
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(channel->items[0]->description.size(), kMaxDescriptionLength);
    EXPECT_EQ(channel->items[0]->encodedContent.size(), longText.size());

    const auto atom = Parse("<feed><title>T</title><entry><content>" + longText + "</content></entry></feed>");
    ASSERT_NE(atom, nullptr);
    EXPECT_EQ(atom->items[0]->description.size(), kMaxDescriptionLength);
    EXPECT_TRUE(atom->items[0]->content.empty());
}

TEST_F(FeedParserFileTest, FindsTheFeedWhereverTheRootElementHidesIt)
{
    // The dialect is found by a depth-first search from the root.
    const auto wrapped = Parse("<wrapper><meta/><rss><channel><title>Inner</title></channel></rss></wrapper>");
    ASSERT_NE(wrapped, nullptr);
    EXPECT_EQ(wrapped->title, L"Inner");
    // "rss" wins over an Atom feed anywhere else in the document.
    const auto both = Parse("<x><feed><title>Atom</title></feed><rss><channel><title>Rss</title></channel></rss></x>");
    ASSERT_NE(both, nullptr);
    EXPECT_EQ(both->title, L"Rss");
}

// Without the address the document came from, a relative link resolves
// only against an absolute xml:base; a file path is no base.
TEST_F(FeedParserFileTest, WithoutItsAddressOnlyAnAbsoluteBaseResolvesALink)
{
    const std::string document = "<rss><channel><title>T</title><item><link>a/1</link></item>"
                                 "<item xml:base='https://x.example/b/'><link>2</link></item>"
                                 "<item xml:base='c/'><link>3</link></item>"
                                 "<item><link>https://abs.example/4</link></item></channel></rss>";
    const auto channel = Parse(document);
    ASSERT_NE(channel, nullptr);
    ASSERT_EQ(channel->items.size(), 4u);
    EXPECT_EQ(channel->items[0]->link, L"a/1");
    EXPECT_EQ(channel->items[1]->link, L"https://x.example/b/2");
    EXPECT_EQ(channel->items[2]->link, L"3");
    const auto fetched = ParseFeedFile(WriteHomeFile("feed.xml", document), 0, L"http://f.example/feed/rss?x=1");
    ASSERT_NE(fetched, nullptr);
    EXPECT_EQ(fetched->items[0]->link, L"http://f.example/feed/a/1");
    EXPECT_EQ(fetched->items[0]->writtenKey, L"a/1");
    EXPECT_EQ(fetched->items[2]->link, L"http://f.example/feed/c/3");
    EXPECT_EQ(fetched->items[3]->link, L"https://abs.example/4");
    EXPECT_TRUE(fetched->items[3]->writtenKey.empty()) << "the key as written is kept only when it differs";
}

TEST_F(FeedParserFileTest, EnclosureLengthsAreReadAsLeadingDigits)
{
    const auto channel = Parse("<rss><channel><title>T</title>"
                               "<item><title>a</title><enclosure url='u' length='abc'/></item>"
                               "<item><title>b</title><enclosure url='u' length='99999999999'/></item>"
                               "<item><title>c</title><enclosure url='u' length='-5'/></item>"
                               "</channel></rss>");
    ASSERT_NE(channel, nullptr);
    ASSERT_EQ(channel->items.size(), 3u);
    EXPECT_EQ(channel->items[0]->enclosure.length, 0);
    EXPECT_EQ(channel->items[1]->enclosure.length, 2147483647);
    EXPECT_EQ(channel->items[2]->enclosure.length, -5);
}

TEST_F(FeedParserFileTest, AChannelWithItemsButNoTitleIsNamedAfterItsHost)
{
    const auto named = Parse("<rss><channel><title> </title><link>https://user@news.example.org:8080/x</link>"
                             "<item><title>a</title></item></channel></rss>");
    ASSERT_NE(named, nullptr);
    EXPECT_EQ(named->title, L"news.example.org");
    ASSERT_EQ(named->items.size(), 1u);

    const auto untitled = Parse("<feed xmlns='http://www.w3.org/2005/Atom'><entry><title>e</title></entry></feed>");
    ASSERT_NE(untitled, nullptr);
    EXPECT_EQ(untitled->title, L"Untitled Feed");

    EXPECT_EQ(Parse("<rss><channel><link>https://example.org/</link></channel></rss>"), nullptr);
}

namespace {

// Only the newest items asked for are kept, in document order, whatever
// the dialect; undated ones up to the same number.
TEST_F(FeedParserFileTest, AskedForTheNewestItemsItKeepsThoseInDocumentOrder)
{
    std::string rss = "<rss version='2.0'><channel><title>T</title>\n";
    std::string atom = "<feed xmlns='http://www.w3.org/2005/Atom'><title>T</title>\n";
    for (int i = 0; i < 50; ++i) {
        const int day = 1 + (i * 7) % 28; // dates out of order
        char date[32];
        std::snprintf(date, sizeof date, "2026-11-%02dT10:%02d:00Z", day, i % 60);
        rss += "<item><link>http://x/" + std::to_string(i) + "</link><dc:date xmlns:dc='http://purl.org/dc/elements/1.1/'>" +
               date + "</dc:date></item>\n";
        atom += "<entry><title>e</title><link href='http://x/" + std::to_string(i) + "'/><updated>" + date +
                "</updated></entry>\n";
    }
    rss += "<item><link>http://x/undated1</link></item><item><link>http://x/undated2</link></item></channel></rss>";
    atom += "</feed>";
    for (const std::string& document : {rss, atom}) {
        const auto all = Parse(document);
        ASSERT_NE(all, nullptr);
        const auto newest = ParseFeedFile(WriteHomeFile("feed.xml", document), 3);
        ASSERT_NE(newest, nullptr);
        std::vector<std::wstring> expected;
        std::vector<const CRssItem*> dated;
        for (const auto& item : all->items) {
            if (item->date.GetDays() != 0)
                dated.push_back(item.get());
        }
        std::stable_sort(dated.begin(), dated.end(),
                         [](const CRssItem* a, const CRssItem* b) { return a->date.GetDays() > b->date.GetDays(); });
        for (const auto& item : all->items) {
            const bool kept = item->date.GetDays() == 0 ||
                              std::find(dated.begin(), dated.begin() + 3, item.get()) != dated.begin() + 3;
            if (kept)
                expected.push_back(item->link);
        }
        std::vector<std::wstring> links;
        for (const auto& item : newest->items)
            links.push_back(item->link);
        EXPECT_EQ(links, expected);
        EXPECT_EQ(newest->title, L"T");
    }
}

} // namespace
