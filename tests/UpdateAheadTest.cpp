// The update run's downloads ahead of its walk, its conditional requests and
// its reading of HTTP answers, against a loopback server reached under
// several host names (fNN.localhost all lead to 127.0.0.1).

#include <filesystem>
#include <thread>
#include <gtest/gtest.h>

#include "StoreTestSupport.h"
#include "platform/Unicode.h"
#include "resources/ResourceIds.h"
#include "store/FeedDatabase.h"
#include "session/TreeLabels.h"
#include "support/NetTest.h"
#include "support/ThreadCount.h"
#include "update/FeedManager.h"
#include "update/Setting.h"
#include "update/UpdateRun.h"

namespace fs = std::filesystem;

namespace {

// Plays the dialog: keeps what it is shown and presses Done when offered.
class CRecordingView : public IUpdateRunView {
public:
    void SetStatusText(const std::wstring& text) override { statusTexts.push_back(text); }
    void SetProgressRange(int, int) override {}
    void SetProgressPos(int position) override { progress.push_back(position); }
    void EnableSoftKeys(bool done, bool) override
    {
        if (done && run)
            PostMessage(run->GetWindow(), WM_COMMAND, ID_DONE, 0);
    }
    void ShowWaitCursor(bool) override {}
    void ShowErrorBox(const std::wstring& text, bool) override { messageBoxes.push_back(text); }
    void EndDialog(int result) override { endResult = result; }
    void OnFeedResult(const CFeedUpdateResult& result) override
    {
        feedResults.push_back(result);
        if (onFeedResult)
            onFeedResult(result);
    }

    CUpdateRun* run = nullptr;
    std::function<void(const CFeedUpdateResult&)> onFeedResult;
    std::vector<std::wstring> statusTexts;
    std::vector<int> progress;
    std::vector<std::wstring> messageBoxes;
    std::vector<CFeedUpdateResult> feedResults;
    int endResult = 0;
};

std::string Rss(const std::string& tag, int items)
{
    std::string xml = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>" + tag + "</title>";
    for (int i = 0; i < items; ++i)
        xml += "<item><title>" + tag + " " + std::to_string(i) + "</title><link>http://x/" + tag + "/" +
               std::to_string(i) + "</link><pubDate>" + std::to_string(1 + i % 28) +
               " Dec 2026 10:00:00 +0000</pubDate></item>";
    return xml + "</channel></rss>";
}

std::vector<std::string> DownloadFilesLeft()
{
    const fs::path folder = fs::path(WideToUtf8(CSetting::Instance().GetDataFilePath(L"x"))).parent_path();
    std::vector<std::string> left;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (entry.path().filename().string().rfind("temp", 0) == 0)
            left.push_back(entry.path().filename().string());
    }
    return left;
}

std::string HostName(int host) { return "f" + std::to_string(host) + ".localhost"; }

class UpdateAheadTest : public CNetTest {
protected:
    // A feed at path on the named host.
    void AddFeed(const std::string& host, const std::string& path, CHttpAnswer answer)
    {
        m_server.SetAnswer(path, std::move(answer));
        auto outline = std::make_unique<COutline>();
        outline->title = Utf8ToWide(path.substr(1));
        outline->xmlUrl = Utf8ToWide(m_server.Url(host, path));
        outline->kind = OutlineKindFeed;
        m_tree.push_back(std::move(outline));
    }

    std::wstring UrlOf(size_t index) const { return m_tree[index]->xmlUrl; }

    // "Update All" of the tree, run to its end on this thread; step acts
    // while it goes. The clean-up with counter correction follows, as the
    // channel tree view runs it.
    CRecordingView& UpdateAll(const std::function<void(CUpdateRun&)>& step = {}, DWORD timeout = 5000)
    {
        MakeEntryLabels(m_tree);
        m_view = std::make_unique<CRecordingView>();
        std::vector<COutline*> list;
        for (auto& outline : m_tree)
            list.push_back(outline.get());
        {
            CUpdateRun run(*m_view, list, false, true);
            m_view->run = &run;
            run.SetFeedTimeout(timeout);
            if (run.Start()) {
                const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
                while (!run.HasEnded() && std::chrono::steady_clock::now() < deadline) {
                    PumpMessagesUntil([&] { return run.HasEnded(); }, std::chrono::milliseconds(10));
                    if (step)
                        step(run);
                }
            }
            EXPECT_TRUE(run.HasEnded()) << "the run did not end";
            m_nRequests = run.GetRequestCount();
        }
        CRssFeedManager().CleanupFeeds(m_tree, true);
        return *m_view;
    }

    COutlineList m_tree;
    std::unique_ptr<CRecordingView> m_view;
    int m_nRequests = 0;
};

// 24 feeds on 4 hosts, each answer 150 ms late: the server sees several
// requests at once, never more than 12, never more than 4 for one host, and
// the dialog still sees the feeds one by one in the order of the tree.
TEST_F(UpdateAheadTest, DownloadsOverlapWithinTheLimitsWhileTheWalkKeepsItsOrder)
{
    for (int feed = 0; feed < 24; ++feed) {
        CHttpAnswer answer = CHttpAnswer::Ok(Rss("t" + std::to_string(feed), 3));
        answer.delay = std::chrono::milliseconds(150);
        AddFeed(HostName(feed / 6), "/feed" + std::to_string(feed) + ".xml", answer);
    }
    const CRecordingView& view = UpdateAll();
    EXPECT_EQ(view.statusTexts.back(), FormatUpdateResult(true, 24, 24, 72));
    EXPECT_GT(m_server.MaxInFlight(), 4) << "downloads overlap";
    EXPECT_LE(m_server.MaxInFlight(), 12);
    int busiestHost = 0;
    for (int host = 0; host < 4; ++host) {
        const int most = m_server.MaxInFlight(HostName(host) + ":" + std::to_string(m_server.Port()));
        EXPECT_LE(most, 4) << HostName(host);
        busiestHost = std::max(busiestHost, most);
    }
    EXPECT_EQ(busiestHost, 4) << "the per-host limit is reached, not undercut";
    EXPECT_EQ(m_nRequests, 24);

    ASSERT_EQ(view.feedResults.size(), 24u);
    std::vector<std::wstring> updating;
    for (const std::wstring& text : view.statusTexts) {
        if (text.find(L"feed(s) updating") != std::wstring::npos)
            updating.push_back(text);
    }
    ASSERT_EQ(updating.size(), 24u);
    for (size_t i = 0; i < 24; ++i) {
        EXPECT_EQ(view.feedResults[i].url, UrlOf(i)) << "results in walk order";
        EXPECT_EQ(view.feedResults[i].outcome, CFeedOutcome::Updated);
        EXPECT_EQ(updating[i].rfind(std::to_wstring(i + 1) + L"/24 ", 0), 0u) << WideToUtf8(updating[i]);
        EXPECT_EQ(StoredFeed(UrlOf(i)).pageCount, 3);
    }
    EXPECT_TRUE(std::is_sorted(view.progress.begin(), view.progress.end())) << "the bar never goes back";
    EXPECT_TRUE(DownloadFilesLeft().empty());
}

// A server that keeps connections open: ten feeds of one host, fetched
// twice, cost far fewer connections than requests.
TEST_F(UpdateAheadTest, ConnectionsAreKeptAndReused)
{
    m_server.SetKeepAlive(true);
    for (int feed = 0; feed < 10; ++feed) {
        CHttpAnswer answer = CHttpAnswer::Ok(Rss("k" + std::to_string(feed), 2));
        answer.etag = "\"k\"";
        AddFeed(HostName(0), "/keep" + std::to_string(feed) + ".xml", answer);
    }
    UpdateAll();
    UpdateAll();
    EXPECT_EQ(m_view->statusTexts.back(), FormatUpdateResult(true, 10, 10, 0));
    EXPECT_EQ(m_server.TotalHits(), 20);
    EXPECT_LE(m_server.Connections(), 2 * 4) << "at most one connection per download at once, in each run";
}

// The first feed's host takes two seconds to answer. The walk waits for it
// (its result comes first), but the other hosts' feeds are all fetched in
// the meantime, and the slow host's other feeds go at once after its first.
TEST_F(UpdateAheadTest, ASlowHostHoldsUpOnlyItsOwnFeeds)
{
    CHttpAnswer slow = CHttpAnswer::Ok(Rss("slow", 2));
    slow.delay = std::chrono::milliseconds(2000);
    AddFeed(HostName(0), "/slow0.xml", slow);
    for (int feed = 0; feed < 30; ++feed)
        AddFeed(HostName(1 + feed % 5), "/fast" + std::to_string(feed) + ".xml", CHttpAnswer::Ok(Rss("f", 2)));
    for (int feed = 1; feed < 5; ++feed)
        AddFeed(HostName(0), "/slow" + std::to_string(feed) + ".xml", slow);
    int hitsAtFirstResult = -1;
    bool slowOnesAtOnce = false;
    CRecordingView* view = nullptr;
    UpdateAll([&](CUpdateRun&) {
        if (view == nullptr && m_view) {
            view = m_view.get();
            view->onFeedResult = [&](const CFeedUpdateResult& result) {
                if (hitsAtFirstResult < 0)
                    hitsAtFirstResult = m_server.TotalHits();
                if (result.url == UrlOf(31)) // the slow host's second feed
                    slowOnesAtOnce = m_server.Hits("/slow4.xml") == 1;
            };
        }
    });
    ASSERT_EQ(m_view->feedResults.size(), 35u);
    EXPECT_EQ(m_view->feedResults[0].url, UrlOf(0));
    EXPECT_GE(hitsAtFirstResult, 31) << "every fast feed was fetched while the slow one was awaited";
    EXPECT_TRUE(slowOnesAtOnce) << "the slow host's other feeds were in flight together";
    EXPECT_EQ(m_server.MaxInFlight(HostName(0) + ":" + std::to_string(m_server.Port())), 4);
    EXPECT_EQ(m_view->statusTexts.back(), FormatUpdateResult(true, 35, 35, 70));
}

// Twelve hosts that never answer: twelve downloads in flight, then Cancel.
// The run ends at once, as stopped, with every thread joined and no file
// left, and the feeds not reached are not asked for.
TEST_F(UpdateAheadTest, CancelWithTwelveDownloadsInFlightEndsAtOnceAndLeavesNothing)
{
    const int threadsBefore = ThreadCount();
    CHttpAnswer stall = CHttpAnswer::Ok(Rss("s", 1));
    stall.delivery = CHttpAnswer::Delivery::StallAfterPart;
    stall.firstBytes = 40; // a file of each is begun
    for (int feed = 0; feed < 12; ++feed)
        AddFeed(HostName(feed), "/stall" + std::to_string(feed) + ".xml", stall);
    AddFeed(HostName(0), "/later.xml", CHttpAnswer::Ok(Rss("later", 1)));
    std::chrono::steady_clock::time_point cancelled;
    const CRecordingView& view = UpdateAll(
        [&](CUpdateRun& run) {
            // Every download has begun its file.
            if (cancelled == std::chrono::steady_clock::time_point() && m_server.MaxInFlight() == 12 &&
                DownloadFilesLeft().size() == 12) {
                cancelled = std::chrono::steady_clock::now();
                PostMessage(run.GetWindow(), WM_COMMAND, ID_CANCEL_UPDATE, 0);
            }
        },
        30000);
    ASSERT_NE(cancelled, std::chrono::steady_clock::time_point()) << "twelve downloads were never in flight";
    EXPECT_LT(std::chrono::steady_clock::now() - cancelled, std::chrono::seconds(3));
    EXPECT_EQ(view.statusTexts.back(), FormatUpdateResult(false, 0, 13, 0));
    ASSERT_FALSE(view.feedResults.empty());
    EXPECT_EQ(view.feedResults[0].failure, CFeedFailure::Cancelled);
    EXPECT_EQ(m_server.Hits("/later.xml"), 0);
    EXPECT_TRUE(view.messageBoxes.empty());
    EXPECT_EQ(DownloadFilesLeft(), std::vector<std::string>{});
    m_server.Stop();
    EXPECT_LE(ThreadCount(), threadsBefore);
}

// Each validator on its own: the first run stores what the server sent,
// the next sends it back and takes the 304 as an update without new pages
// (nothing parsed: the changed body behind the same validator is not read).
// A document that cannot be read drops the validators, and a feed that was
// deleted and subscribed again starts without them.
TEST_F(UpdateAheadTest, ValidatorsAreStoredSentAndAnsweredWithNotModified)
{
    CHttpAnswer tagged = CHttpAnswer::Ok(Rss("e", 2));
    tagged.etag = "\"v1\"";
    CHttpAnswer dated = CHttpAnswer::Ok(Rss("d", 3));
    dated.lastModified = "Tue, 01 Dec 2026 10:00:00 GMT";
    AddFeed(HostName(0), "/etag.xml", tagged);
    AddFeed(HostName(1), "/date.xml", dated);
    AddFeed(HostName(1), "/plain.xml", CHttpAnswer::Ok(Rss("p", 1)));
    UpdateAll();
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    CFeedValidators stored;
    ASSERT_TRUE(feeds.ReadValidators(UrlOf(0), StoredFeed(UrlOf(0)).feedId, stored));
    EXPECT_EQ(stored, (CFeedValidators{L"\"v1\"", L""}));
    ASSERT_TRUE(feeds.ReadValidators(UrlOf(1), StoredFeed(UrlOf(1)).feedId, stored));
    EXPECT_EQ(stored, (CFeedValidators{L"", L"Tue, 01 Dec 2026 10:00:00 GMT"}));
    EXPECT_FALSE(feeds.ReadValidators(UrlOf(2), StoredFeed(UrlOf(2)).feedId, stored));

    // The user has read a page; the feeds have gone stale on record.
    CRssItem page;
    page.link = L"http://x/e/0";
    page.feedId = StoredFeed(UrlOf(0)).feedId;
    FeedRecord record;
    ASSERT_TRUE(CRssFeedManager().SetPageStatus(page, PageStateRead, record));
    record = StoredFeed(UrlOf(0));
    record.updateStatus = kFeedStatusFailed;
    ASSERT_TRUE(feeds.UpdateFeed(record));
    tagged.body = Rss("e", 5);
    dated.body = Rss("d", 6);
    m_server.SetAnswer("/etag.xml", tagged);
    m_server.SetAnswer("/date.xml", dated);

    const CRecordingView& view = UpdateAll();
    EXPECT_EQ(m_server.LastRequestHeaders("/etag.xml")["if-none-match"], "\"v1\"");
    EXPECT_EQ(m_server.LastRequestHeaders("/etag.xml").count("if-modified-since"), 0u);
    EXPECT_EQ(m_server.LastRequestHeaders("/date.xml")["if-modified-since"], "Tue, 01 Dec 2026 10:00:00 GMT");
    EXPECT_EQ(m_server.LastRequestHeaders("/plain.xml").count("if-none-match"), 0u);
    EXPECT_EQ(view.statusTexts.back(), FormatUpdateResult(true, 3, 3, 0));
    ASSERT_EQ(view.feedResults.size(), 3u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(view.feedResults[i].notModified);
        EXPECT_EQ(view.feedResults[i].outcome, CFeedOutcome::Updated);
        EXPECT_EQ(view.feedResults[i].httpStatus, 304);
        EXPECT_EQ(m_tree[i]->status, kOutlineStatusUpdated);
    }
    EXPECT_FALSE(view.feedResults[2].notModified);
    const FeedRecord etagFeed = StoredFeed(UrlOf(0));
    EXPECT_EQ(etagFeed.updateStatus, kFeedStatusUpdated) << "the record is written as for an update";
    EXPECT_EQ(etagFeed.pageCount, 2) << "the changed body was not read";
    EXPECT_EQ(etagFeed.unreadCount, 1) << "the read page stays read";
    EXPECT_EQ(StoredFeed(UrlOf(1)).pageCount, 3);

    // A new document that is not a feed: the validators go, so the next
    // request asks for the whole document again.
    CHttpAnswer broken = CHttpAnswer::Ok("<html><body>maintenance</body></html>");
    broken.etag = "\"v2\"";
    m_server.SetAnswer("/etag.xml", broken);
    UpdateAll();
    EXPECT_EQ(m_view->feedResults[0].failure, CFeedFailure::NotAFeed);
    EXPECT_FALSE(feeds.ReadValidators(UrlOf(0), StoredFeed(UrlOf(0)).feedId, stored));
    m_server.SetAnswer("/etag.xml", broken);
    UpdateAll();
    EXPECT_EQ(m_server.LastRequestHeaders("/etag.xml").count("if-none-match"), 0u);

    // Its pages lost (an item store started afresh, say): a feed without
    // pages asks for the whole document, not for a 304.
    CZelviaRssItemDB::Instance().DeletePagesOfFeed(StoredFeed(UrlOf(1)).feedId);
    CRssFeedManager().CleanupFeeds(m_tree, true);
    ASSERT_TRUE(feeds.ReadValidators(UrlOf(1), StoredFeed(UrlOf(1)).feedId, stored));
    UpdateAll();
    EXPECT_EQ(m_server.LastRequestHeaders("/date.xml").count("if-modified-since"), 0u);
    EXPECT_EQ(StoredFeed(UrlOf(1)).pageCount, 6);

    // Deleted and subscribed again under the same URL: the new record has
    // no pages, and a 304 must not stand for the old ones.
    ASSERT_TRUE(feeds.DeleteFeed(UrlOf(1)));
    UpdateAll();
    EXPECT_EQ(m_server.LastRequestHeaders("/date.xml").count("if-modified-since"), 0u);
    EXPECT_EQ(m_view->feedResults[1].notModified, false);
    EXPECT_EQ(StoredFeed(UrlOf(1)).pageCount, 6);
}

// 410 fails the feed as gone. 429 and 503 with Retry-After fail it as
// "retry later", and the host is asked nothing more in this run; without
// Retry-After a 503 is a plain HTTP failure. A permanent redirect is
// followed and reported; the subscription keeps its URL.
TEST_F(UpdateAheadTest, GoneRetryLaterAndMovedAnswersAreToldApart)
{
    CHttpAnswer busy = CHttpAnswer::Status(429, "slow down");
    busy.headers.emplace_back("Retry-After", "120");
    CHttpAnswer down = CHttpAnswer::Status(503, "maintenance");
    down.headers.emplace_back("Retry-After", "Tue, 08 Dec 2026 12:00:00 GMT");
    AddFeed(HostName(0), "/gone.xml", CHttpAnswer::Status(410, "gone"));
    AddFeed(HostName(1), "/busy.xml", busy);
    AddFeed(HostName(1), "/busy-next.xml", CHttpAnswer::Ok(Rss("b", 1)));
    AddFeed(HostName(2), "/down.xml", down);
    AddFeed(HostName(2), "/down-next.xml", CHttpAnswer::Ok(Rss("d", 1)));
    AddFeed(HostName(3), "/plain503.xml", CHttpAnswer::Status(503, "no"));
    AddFeed(HostName(3), "/after503.xml", CHttpAnswer::Ok(Rss("a", 1)));
    AddFeed(HostName(4), "/moved.xml", CHttpAnswer::Redirect(301, "/moved-here.xml"));
    m_server.SetAnswer("/moved-here.xml", CHttpAnswer::Ok(Rss("m", 2)));
    AddFeed(HostName(4), "/elsewhere.xml", CHttpAnswer::Redirect(302, "/moved-here.xml"));

    const CRecordingView& view = UpdateAll();
    ASSERT_EQ(view.feedResults.size(), 9u);
    const auto failure = [&](size_t i) { return view.feedResults[i].failure; };
    EXPECT_EQ(failure(0), CFeedFailure::Gone);
    EXPECT_EQ(view.feedResults[0].httpStatus, 410);
    EXPECT_EQ(m_tree[0]->status, kOutlineStatusFailed);
    EXPECT_EQ(StoredFeed(UrlOf(0)).updateStatus, kFeedStatusFailed) << "the failure stays on the record, for the icon";
    EXPECT_EQ(failure(1), CFeedFailure::RetryLater);
    EXPECT_EQ(failure(2), CFeedFailure::RetryLater) << "its host asked to be left alone";
    EXPECT_EQ(m_server.Hits("/busy-next.xml"), 0);
    EXPECT_EQ(failure(3), CFeedFailure::RetryLater);
    EXPECT_EQ(failure(4), CFeedFailure::RetryLater);
    EXPECT_EQ(m_server.Hits("/down-next.xml"), 0);
    EXPECT_EQ(failure(5), CFeedFailure::HttpStatus);
    EXPECT_EQ(view.feedResults[6].outcome, CFeedOutcome::Updated) << "a 503 without Retry-After spares the host";
    EXPECT_EQ(view.feedResults[7].outcome, CFeedOutcome::Updated);
    EXPECT_EQ(view.feedResults[7].movedTo, Utf8ToWide(m_server.Url(HostName(4), "/moved-here.xml")));
    EXPECT_EQ(view.feedResults[7].requests, 2);
    EXPECT_EQ(StoredFeed(UrlOf(7)).pageCount, 2) << "stored under the subscription's URL";
    EXPECT_EQ(view.feedResults[8].outcome, CFeedOutcome::Updated);
    EXPECT_TRUE(view.feedResults[8].movedTo.empty()) << "a temporary redirect moves nothing";
    EXPECT_EQ(m_nRequests, 1 + 1 + 1 + 1 + 1 + 2 + 2);
    EXPECT_EQ(std::string(FailureName(CFeedFailure::Gone)), "gone");
    EXPECT_EQ(std::string(FailureName(CFeedFailure::RetryLater)), "retry later");
}

// Answers that cannot stand for the document: a body that breaks off
// before its Content-Length fails the feed, stores no page and keeps no
// validator, so that the next run asks for the whole document; a 304 to a
// request that carried no validator fails as an unexpected answer.
TEST_F(UpdateAheadTest, AHalfDocumentOrAnUnaskedNotModifiedIsNoUpdate)
{
    const std::string whole = Rss("c", 10);
    CHttpAnswer cut = CHttpAnswer::Ok(whole.substr(0, whole.size() / 3));
    cut.contentLength = static_cast<long long>(whole.size());
    cut.etag = "\"v1\"";
    AddFeed(HostName(0), "/cut.xml", cut);
    AddFeed(HostName(1), "/unasked.xml", CHttpAnswer::Status(304));
    AddFeed(HostName(1), "/fine.xml", CHttpAnswer::Ok(Rss("f", 2)));
    const CRecordingView& view = UpdateAll();
    ASSERT_EQ(view.feedResults.size(), 3u);
    EXPECT_EQ(view.feedResults[0].outcome, CFeedOutcome::Failed);
    EXPECT_EQ(view.feedResults[0].failure, CFeedFailure::Incomplete);
    EXPECT_EQ(m_tree[0]->status, kOutlineStatusFailed);
    EXPECT_EQ(StoredFeed(UrlOf(0)).updateStatus, kFeedStatusFailed);
    EXPECT_EQ(StoredFeed(UrlOf(0)).pageCount, 0);
    CFeedValidators stored;
    EXPECT_FALSE(CZelviaRssDB::Instance().ReadValidators(UrlOf(0), StoredFeed(UrlOf(0)).feedId, stored));
    EXPECT_EQ(view.feedResults[1].failure, CFeedFailure::UnexpectedAnswer);
    EXPECT_EQ(view.feedResults[1].httpStatus, 304);
    EXPECT_EQ(m_tree[1]->status, kOutlineStatusFailed);
    EXPECT_EQ(StoredFeed(UrlOf(1)).updateStatus, kFeedStatusFailed);
    EXPECT_EQ(view.feedResults[2].outcome, CFeedOutcome::Updated);
    EXPECT_TRUE(DownloadFilesLeft().empty());

    CHttpAnswer complete = CHttpAnswer::Ok(whole);
    complete.etag = "\"v1\"";
    m_server.SetAnswer("/cut.xml", complete);
    UpdateAll();
    EXPECT_EQ(m_server.LastRequestHeaders("/cut.xml").count("if-none-match"), 0u);
    EXPECT_EQ(m_view->feedResults[0].outcome, CFeedOutcome::Updated);
    EXPECT_EQ(StoredFeed(UrlOf(0)).pageCount, 10) << "every item arrives";
    EXPECT_EQ(std::string(FailureName(CFeedFailure::Incomplete)), "incomplete");
    EXPECT_EQ(std::string(FailureName(CFeedFailure::UnexpectedAnswer)), "unexpected answer");
}

} // namespace
