// CFeedCollection without a window: what a search ends with and says, how
// Stop and the loss of the network end the work in hand, and what each kind
// of OPML address comes to. Downloads go to the loopback server and report
// to a message window the test pumps.
#include <gtest/gtest.h>

#include "StoreTestSupport.h"
#include "platform/Unicode.h"
#include "session/FeedCollection.h"
#include "support/NetTest.h"

namespace {

class FeedCollectionTest : public CNetTest {
protected:
    void SetUp() override
    {
        CNetTest::SetUp();
        m_hWindow = CreateMessageWindow([this](HWND, UINT message, WPARAM, LPARAM lParam) -> LRESULT {
            if (message == WM_DOWNLOAD_DONE)
                m_downloads.push_back(lParam);
            return 0;
        });
        m_server.SetAnswer("/feed.rss", CHttpAnswer::Ok(Rss("Feed")));
        m_server.SetAnswer("/list.opml", CHttpAnswer::Ok(Opml({Url("/feed.rss"), Url("/other.rss")})));
        CHttpAnswer stall;
        stall.delivery = CHttpAnswer::Delivery::StallBeforeAnswer;
        m_server.SetAnswer("/slow", stall);
    }
    void TearDown() override
    {
        DestroyWindow(m_hWindow);
        CNetTest::TearDown();
    }

    std::wstring Url(const std::string& path) const { return Utf8ToWide(m_server.Url(path)); }
    static std::string Rss(const std::string& title)
    {
        return "<?xml version='1.0'?><rss version='2.0'><channel><title>" + title +
               "</title><item><title>i</title><link>http://x.invalid/1</link></item></channel></rss>";
    }
    static std::string Opml(const std::vector<std::wstring>& urls)
    {
        std::string body;
        for (const std::wstring& url : urls)
            body += "<outline text='" + WideToUtf8(url) + "' type='rss' xmlUrl='" + WideToUtf8(url) + "'/>";
        return "<?xml version='1.0'?><opml version='1.1'><head/><body>" + body + "</body></opml>";
    }
    // A keyword file with a template per address ("searchkeyword" kept).
    std::wstring KeywordFile(const std::vector<std::wstring>& urls)
    {
        std::string items;
        for (const std::wstring& url : urls)
            items += "<item><title>T searchkeyword</title><source url='" + WideToUtf8(url) + "'>s</source></item>";
        return WriteHomeFile("keywords.xml",
                             "<?xml version='1.0'?><rss version='2.0'><channel><title>S</title>" + items + "</channel></rss>");
    }
    // Waits for the collection's next download to end.
    LPARAM NextDownload()
    {
        EXPECT_TRUE(PumpMessagesUntil([&] { return !m_downloads.empty(); }, std::chrono::seconds(20)));
        const LPARAM download = m_downloads.empty() ? 0 : m_downloads.front();
        if (!m_downloads.empty())
            m_downloads.erase(m_downloads.begin());
        return download;
    }
    static std::vector<UINT> Ids(const std::vector<CViewMessage>& messages)
    {
        std::vector<UINT> ids;
        for (const CViewMessage& message : messages)
            ids.push_back(message.textId);
        return ids;
    }
    // Waits for the add's check to end (a site's page may lead to further
    // downloads).
    CFeedCollection::CAddEnd AwaitAdd(CFeedCollection& collection)
    {
        for (;;) {
            EXPECT_TRUE(collection.OwnsAddDownload(NextDownload()));
            CFeedCollection::CAddEnd end = collection.FinishAdd();
            if (!end.running || HasFailure())
                return end;
        }
    }
    // Searches a whole OPML address and lists what it ends with.
    std::vector<CViewMessage> SearchAddress(CFeedCollection& collection, const std::wstring& address)
    {
        CFeedCollection::CSearchStep step = collection.StartAddressSearch(address, 5000);
        if (!step) {
            EXPECT_TRUE(collection.OwnsSearchDownload(NextDownload()));
            step = collection.OnSearchDownloadDone();
        }
        EXPECT_TRUE(step.has_value());
        const CFeedCollection::CSearchEnd none;
        std::vector<CViewMessage> messages = collection.FinishSearch(step ? *step : none);
        collection.EndWork();
        return messages;
    }

    HWND m_hWindow{};
    std::vector<LPARAM> m_downloads;
};

} // namespace

TEST_F(FeedCollectionTest, TheEndOfASearchSaysNothingFoundOnlyWhenNothingIsListed)
{
    CFeedCollection collection(m_hWindow);
    // Nothing at all: news for a keyword, an error for an address.
    std::vector<CViewMessage> said = collection.SearchKeywordAtOnce(KeywordFile({}), L"k");
    ASSERT_EQ(Ids(said), std::vector<UINT>{IDS_NO_MATCHES});
    EXPECT_TRUE(said[0].style & MB_ICONASTERISK);
    said = SearchAddress(collection, Url("/feed.rss")); // a feed, not a list
    ASSERT_EQ(Ids(said), std::vector<UINT>{IDS_NO_MATCHES});
    EXPECT_TRUE(said[0].style & MB_ICONHAND);

    // All subscribed already: nothing listed, so nothing found.
    StoreFeed(Url("/feed.rss"));
    StoreFeed(Url("/other.rss"));
    EXPECT_EQ(Ids(SearchAddress(collection, Url("/list.opml"))), std::vector<UINT>{IDS_NO_MATCHES});
    EXPECT_TRUE(collection.Listed().empty());

    // Some new: listed without a word, the subscribed one left out.
    said = collection.SearchKeywordAtOnce(KeywordFile({Url("/feed.rss"), Url("/new.rss")}), L"k");
    EXPECT_TRUE(said.empty());
    ASSERT_EQ(collection.Listed().size(), 1u);
    EXPECT_EQ(collection.Listed()[0].outline->xmlUrl, Url("/new.rss"));
    EXPECT_EQ(collection.Listed()[0].image, kCandidateImageNew);
    EXPECT_FALSE(collection.IsBusy());
}

TEST_F(FeedCollectionTest, EachKindOfAddressComesToItsOwnEnd)
{
    CFeedCollection collection(m_hWindow);
    EXPECT_TRUE(SearchAddress(collection, Url("/list.opml")).empty());
    EXPECT_EQ(collection.Listed().size(), 2u);

    const std::wstring local = WriteHomeFile("list.opml", Opml({L"http://one.invalid/feed"}));
    EXPECT_TRUE(SearchAddress(collection, L"file://" + local).empty());
    ASSERT_EQ(collection.Listed().size(), 1u);

    EXPECT_EQ(Ids(SearchAddress(collection, L"file:///no/such/list.opml")), std::vector<UINT>{IDS_FILE_NOT_FOUND});
    const std::vector<CViewMessage> refused = SearchAddress(collection, L"ftp://host.invalid/list.opml");
    ASSERT_EQ(Ids(refused), std::vector<UINT>{IDS_UNSUPPORTED_URL});
    EXPECT_EQ(refused[0].args, std::vector<std::wstring>{L"ftp://host.invalid/list.opml"});
    EXPECT_EQ(Ids(SearchAddress(collection, Url("/missing.opml"))), std::vector<UINT>{IDS_UNSUPPORTED_URL});
    EXPECT_TRUE(collection.Listed().empty()) << "a failed search lists nothing of the one before";

    ConnMgrSetNetworkAvailableForTesting(false);
    CConnectionManager::DestroyInstance();
    EXPECT_EQ(Ids(SearchAddress(collection, Url("/list.opml"))), std::vector<UINT>{IDS_UNABLE_TO_CONNECT});
    EXPECT_TRUE(collection.StartKeywordSearch(KeywordFile({Url("/feed.rss")}), L"k").has_value());
}

TEST_F(FeedCollectionTest, StopAndTheLossOfTheNetworkEndTheWorkInHand)
{
    CFeedCollection collection(m_hWindow);
    // Mid-walk: the next step ends the search, and nothing of it is listed.
    ASSERT_FALSE(collection.StartKeywordSearch(KeywordFile({Url("/a.rss"), Url("/b.rss")}), L"k"));
    EXPECT_FALSE(collection.WalkOn());
    EXPECT_EQ(collection.Stop(), CFeedCollection::EStopped::Waiting);
    EXPECT_EQ(collection.Stop(), CFeedCollection::EStopped::Nothing) << "stopping already";
    CFeedCollection::CSearchStep ended = collection.WalkOn();
    ASSERT_TRUE(ended);
    EXPECT_TRUE(collection.FinishSearch(*ended).empty());
    EXPECT_TRUE(collection.Listed().empty());
    collection.EndWork();

    // The network lost during an address's download: only that is said.
    ASSERT_FALSE(collection.StartAddressSearch(Url("/slow"), 60000));
    EXPECT_EQ(collection.OnNetworkLost(), CFeedCollection::EStopped::Waiting);
    EXPECT_EQ(collection.OnNetworkLost(), CFeedCollection::EStopped::Nothing);
    ASSERT_TRUE(collection.OwnsSearchDownload(NextDownload()));
    ended = collection.OnSearchDownloadDone();
    ASSERT_TRUE(ended);
    EXPECT_EQ(Ids(collection.FinishSearch(*ended)), std::vector<UINT>{IDS_DISCONNECTED});
    collection.EndWork();
    EXPECT_FALSE(collection.IsDisconnected()) << "the next work starts connected";

    // An add: the stopped check marks no row and says nothing.
    EXPECT_TRUE(collection.SearchKeywordAtOnce(KeywordFile({Url("/slow"), Url("/feed.rss")}), L"k").empty());
    EXPECT_TRUE(collection.StartAdd(0, 60000).empty());
    EXPECT_EQ(collection.Stop(), CFeedCollection::EStopped::Waiting);
    CFeedCollection::CAddEnd end = AwaitAdd(collection);
    EXPECT_EQ(end.row, -1);
    EXPECT_TRUE(end.messages.empty());
    EXPECT_EQ(collection.Listed()[0].image, kCandidateImageNew);
    collection.EndWork();
    EXPECT_EQ(collection.Stop(), CFeedCollection::EStopped::Nothing) << "no work runs";

    // A refused add is over at once: a stop then finishes it here.
    EXPECT_EQ(Ids(collection.StartAdd(7, 5000)), std::vector<UINT>{IDS_FEED_URL_INVALID});
    EXPECT_EQ(collection.OnNetworkLost(), CFeedCollection::EStopped::FinishAdd);
    EXPECT_EQ(Ids(collection.FinishAdd().messages), std::vector<UINT>{IDS_DISCONNECTED});
    collection.EndWork();
}

TEST_F(FeedCollectionTest, AddCollectsTheFeedOnceAndMarksItsRow)
{
    CFeedCollection collection(m_hWindow);
    EXPECT_TRUE(collection.SearchKeywordAtOnce(KeywordFile({Url("/feed.rss"), Url("/missing")}), L"k").empty());
    ASSERT_TRUE(collection.StartAdd(0, 5000).empty());
    CFeedCollection::CAddEnd end = AwaitAdd(collection);
    EXPECT_EQ(end.row, 0);
    EXPECT_EQ(Ids(end.messages), std::vector<UINT>{IDS_FEED_ADDED});
    EXPECT_EQ(collection.Listed()[0].image, kCandidateImageAdded);
    ASSERT_EQ(collection.Collected().size(), 1u);
    EXPECT_EQ(collection.Collected()[0]->xmlUrl, Url("/feed.rss"));
    collection.EndWork();

    EXPECT_EQ(Ids(collection.StartAdd(0, 5000)), std::vector<UINT>{IDS_FEED_EXISTS}) << "collected already";
    collection.EndWork();
    ASSERT_TRUE(collection.StartAdd(1, 5000).empty());
    end = AwaitAdd(collection);
    EXPECT_EQ(Ids(end.messages), std::vector<UINT>{IDS_UNSUPPORTED_URL});
    EXPECT_EQ(collection.Listed()[1].image, kCandidateImageFailed);
    EXPECT_EQ(collection.Collected().size(), 1u);
    collection.EndWork();

    // A new search lists a collected feed as added.
    EXPECT_TRUE(collection.SearchKeywordAtOnce(KeywordFile({Url("/feed.rss")}), L"k").empty());
    ASSERT_EQ(collection.Listed().size(), 1u);
    EXPECT_EQ(collection.Listed()[0].image, kCandidateImageAdded);
}
