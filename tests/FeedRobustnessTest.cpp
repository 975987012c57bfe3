// Hostile and broken input for the document readers: nothing may crash,
// hang, read another file or reach the network.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TestSupport.h"
#include "content/FeedParser.h"
#include "platform/Unicode.h"
#include "subscriptions/OpmlFile.h"

namespace {

// A listening socket on 127.0.0.1 that counts whether anyone connected.
class CLoopbackTrap {
public:
    CLoopbackTrap()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(m_fd, 8), 0);
        socklen_t length = sizeof address;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    ~CLoopbackTrap() { ::close(m_fd); }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }
    bool WasContacted() const
    {
        const int client = ::accept(m_fd, nullptr, nullptr);
        if (client >= 0)
            ::close(client);
        return client >= 0;
    }

private:
    int m_fd = -1;
    int m_port = 0;
};

class FeedRobustnessTest : public CTempHomeTest {};

} // namespace

TEST_F(FeedRobustnessTest, NothingComesOfFilesThatAreNotDocuments)
{
    EXPECT_EQ(ParseFeedFile(HomePathW("missing.xml")), nullptr);
    EXPECT_EQ(LoadOpmlFile(HomePathW("missing.opml")), nullptr);
    EXPECT_EQ(ParseFeedFile(WriteHomeFile("empty.xml", "")), nullptr);
    EXPECT_EQ(LoadOpmlFile(WriteHomeFile("empty.opml", "")), nullptr);
    EXPECT_EQ(ParseFeedFile(HomePathW("")), nullptr); // the folder itself

    std::mt19937 random(42);
    std::string garbage(64 * 1024, '\0');
    for (char& byte : garbage)
        byte = static_cast<char>(random());
    EXPECT_EQ(ParseFeedFile(WriteHomeFile("garbage.xml", garbage)), nullptr);
    EXPECT_EQ(LoadOpmlFile(WriteHomeFile("garbage.opml", garbage)), nullptr);

    // A pipe with no writer would block a reader that opened it blindly.
    ASSERT_EQ(::mkfifo(HomePath("fifo.xml").c_str(), 0600), 0);
    EXPECT_EQ(ParseFeedFile(HomePathW("fifo.xml")), nullptr);
    EXPECT_EQ(LoadOpmlFile(HomePathW("fifo.xml")), nullptr);
}

TEST_F(FeedRobustnessTest, TruncatedDocumentsGiveWhatCanBeRecovered)
{
    const auto channel = ParseFeedFile(WriteHomeFile(
        "cut.xml", "<rss><channel><title>Cut</title><item><title>Whole</title></item><item><title>Hal"));
    ASSERT_NE(channel, nullptr);
    ASSERT_EQ(channel->items.size(), 2u);
    EXPECT_EQ(channel->items[0]->title, L"Whole");
    EXPECT_EQ(channel->items[1]->title, L"Hal");

    const auto doc = LoadOpmlFile(WriteHomeFile("cut.opml", "<opml><body><outline title='A'><outline title='B"));
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(doc->outlines.size(), 1u);
    EXPECT_EQ(doc->outlines[0]->title, L"A");
}

TEST_F(FeedRobustnessTest, DeepNestingIsCutOffWithoutCrashing)
{
    std::string deep = "<rss><channel><title>Deep</title><item><title>kept</title></item>";
    for (int i = 0; i < 100000; ++i)
        deep += "<x>";
    const auto channel = ParseFeedFile(WriteHomeFile("deep.xml", deep));
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(channel->items.size(), 1u);

    std::string deepOpml = "<opml><body>";
    for (int i = 0; i < 100000; ++i)
        deepOpml += "<outline title='n'>";
    EXPECT_NE(LoadOpmlFile(WriteHomeFile("deep.opml", deepOpml)), nullptr);
}

TEST_F(FeedRobustnessTest, EntityExpansionBombsAreRefused)
{
    // Each entity holds ten of the one before: a12 would be 30 * 10^12 characters.
    std::string bomb = "<?xml version='1.0'?><!DOCTYPE rss [<!ENTITY a0 'lollollollollollollollollollol'>";
    for (int level = 1; level <= 12; ++level) {
        std::string refs;
        for (int copy = 0; copy < 10; ++copy)
            refs += "&a" + std::to_string(level - 1) + ";";
        bomb += "<!ENTITY a" + std::to_string(level) + " '" + refs + "'>";
    }
    bomb += "]><rss><channel><title>Bomb &a12;</title><item><title>&a12;</title></item></channel></rss>";
    const auto start = std::chrono::steady_clock::now();
    const auto channel = ParseFeedFile(WriteHomeFile("bomb.xml", bomb));
    if (channel != nullptr) {
        EXPECT_LT(channel->title.size(), 1000u);
        for (const auto& item : channel->items)
            EXPECT_LT(item->title.size(), 1000u);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST_F(FeedRobustnessTest, ExternalReferencesAreNeverFollowed)
{
    const std::wstring secret = WriteHomeFile("secret.txt", "TOP-SECRET");
    CLoopbackTrap trap;
    const std::string document = "<?xml version='1.0'?>\n<!DOCTYPE rss SYSTEM '" + trap.Url("/rss.dtd")
                                 + "' [\n<!ENTITY file SYSTEM 'file://" + HomePath("secret.txt")
                                 + "'>\n<!ENTITY web SYSTEM '" + trap.Url("/entity") + "'>\n"
                                 + "<!ENTITY % remote SYSTEM '" + trap.Url("/params") + "'> %remote;\n]>\n"
                                 + "<rss><channel><title>X &file; &web;</title>"
                                 + "<item><title>&file;</title><description>&web;</description></item>"
                                 + "<xi:include xmlns:xi='http://www.w3.org/2001/XInclude' href='file://"
                                 + HomePath("secret.txt") + "' parse='text'/></channel></rss>";
    const auto channel = ParseFeedFile(WriteHomeFile("external.xml", document));
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(channel->title.find(L"SECRET"), std::wstring::npos);
    EXPECT_EQ(channel->items[0]->title.find(L"SECRET"), std::wstring::npos);
    EXPECT_FALSE(trap.WasContacted());

    // A URL handed over as the path is not fetched either.
    EXPECT_EQ(ParseFeedFile(Utf8ToWide(trap.Url("/feed.xml"))), nullptr);
    EXPECT_EQ(LoadOpmlFile(Utf8ToWide(trap.Url("/subscriptions.opml"))), nullptr);
    EXPECT_FALSE(trap.WasContacted());
}

TEST_F(FeedRobustnessTest, ReadsALargeDocumentWhole)
{
    const std::string description(9000, 'd'); // cut to the description limit per item
    std::string big = "<rss><channel><title>Big</title>";
    big.reserve(52u << 20);
    int items = 0;
    while (big.size() < (50u << 20)) {
        big += "<item><title>Item " + std::to_string(items++) + "</title><description>" + description
               + "</description></item>";
    }
    big += "</channel></rss>";
    const auto channel = ParseFeedFile(WriteHomeFile("big.xml", big));
    ASSERT_NE(channel, nullptr);
    ASSERT_EQ(channel->items.size(), static_cast<size_t>(items));
    EXPECT_EQ(channel->items.back()->title, L"Item " + std::to_wstring(items - 1));
    EXPECT_EQ(channel->items.back()->description.size(), kMaxDescriptionLength);
}

TEST_F(FeedRobustnessTest, TheRepairedSecondReadIsGuardedLikeTheFirst)
{
    // A bare "&" sends the document through the repair and a second read,
    // which must refuse the same entity tricks.
    const std::wstring secret = WriteHomeFile("secret.txt", "TOP-SECRET");
    CLoopbackTrap trap;
    std::string document = "<?xml version='1.0'?>\n<!DOCTYPE rss [\n<!ENTITY file SYSTEM 'file://"
                           + HomePath("secret.txt") + "'>\n<!ENTITY web SYSTEM '" + trap.Url("/entity")
                           + "'>\n<!ENTITY a0 'lollollollollollollollollollol'>\n";
    for (int level = 1; level <= 12; ++level) {
        std::string refs;
        for (int copy = 0; copy < 10; ++copy)
            refs += "&a" + std::to_string(level - 1) + ";";
        document += "<!ENTITY a" + std::to_string(level) + " '" + refs + "'>\n";
    }
    document += "]>\n<rss><channel><title>R&D &file; &web;</title><item><title>&a12; & &file;</title>"
                "<description><p>&web;<br></p></description></item></channel></rss>";
    const auto start = std::chrono::steady_clock::now();
    const auto channel = ParseFeedFile(WriteHomeFile("repaired.xml", document));
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(channel->title.rfind(L"R&D", 0), 0u) << "the repaired read was kept";
    EXPECT_EQ(channel->title.find(L"SECRET"), std::wstring::npos);
    ASSERT_EQ(channel->items.size(), 1u);
    EXPECT_EQ(channel->items[0]->title.find(L"SECRET"), std::wstring::npos);
    EXPECT_LT(channel->items[0]->title.size(), 1000u);
    EXPECT_FALSE(trap.WasContacted());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST_F(FeedRobustnessTest, TextBetweenTakenItemsIsReadSafely)
{
    // Items are taken out of the tree as they end; text that stood between
    // two of them must not be appended to with another node's lengths.
    const std::string longText(5000, 'x');
    const struct {
        const char* name;
        std::string document;
        size_t items;
    } cases[] = {
        {"star", "<rss version='2.0'><channel><title>T</title><link>http://x.example/</link>\n"
                 "  <item><title>One</title><link>http://x.example/1</link></item>\n"
                 " *<item><title>Two</title><link>http://x.example/2</link></item>\n</channel></rss>",
         2},
        {"words", "<rss><channel><title>T</title><item><title>One</title></item> stray text <item><title>Two</title>"
                  "</item> more stray <item><title>Three</title></item>\n</channel></rss>",
         3},
        {"long", "<rss><channel><title>T</title><item><title>One</title></item>" + longText
                     + "<item><title>Two</title><description>" + longText + "</description></item>" + longText
                     + longText + "<item><title>Three</title></item>ab&amp;c<![CDATA[d]]>&#x41;</channel></rss>",
         3},
        {"channel elements after", "<rss><channel><title>T</title><item><title>One</title></item>*"
                                   "<item><title>Two</title></item>*<description>late</description>tail</channel></rss>",
         2},
        {"atom", "<feed xmlns='http://www.w3.org/2005/Atom'><title>T</title><entry><title>One</title></entry>"
                 "!<entry><title>Two</title></entry>!!<entry><title>Three</title></entry></feed>",
         3},
        {"rdf", "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#' xmlns='http://purl.org/rss/1.0/'>"
                "<channel><title>T</title></channel><item><title>One</title></item>-"
                "<item><title>Two</title></item>--<item><title>Three</title></item></rdf:RDF>",
         3},
        // A bare "&" sends the document through the repaired second read too.
        {"repaired", "<rss><channel><title>T & U</title><item><title>One</title></item>*"
                     "<item><title>Two</title></item>*<item><title>Three</title></item></channel></rss>",
         3},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        for (size_t limit : {size_t{0}, size_t{1}}) {
            const auto channel = ParseFeedFile(WriteHomeFile("between.xml", test.document), limit);
            ASSERT_NE(channel, nullptr);
            EXPECT_EQ(channel->title.substr(0, 1), L"T");
            ASSERT_EQ(channel->items.size(), limit == 0 ? test.items : 1u);
            EXPECT_EQ(channel->items[0]->title, L"One");
            if (limit == 0)
                EXPECT_EQ(channel->items[1]->title, L"Two");
        }
    }
}
