// The update run against a loopback server: what is stored, what is shown,
// and how cancel, network loss, failures and hostile feeds end.

#include <filesystem>
#include <thread>
#include <gtest/gtest.h>

#include "StoreTestSupport.h"
#include "platform/Unicode.h"
#include "resources/ResourceIds.h"
#include "store/FeedDatabase.h"
#include "session/TreeLabels.h"
#include "support/FailingVfs.h"
#include "support/NetTest.h"
#include "support/ThreadCount.h"
#include "update/FeedManager.h"
#include "update/Setting.h"
#include "update/UpdateRun.h"

namespace fs = std::filesystem;

namespace {

// Plays the dialog: keeps what it is shown and presses Done when offered.
class CScriptedView : public IUpdateRunView {
public:
    void SetStatusText(const std::wstring& text) override { statusTexts.push_back(text); }
    void SetProgressRange(int, int) override {}
    void SetProgressPos(int position) override { progress.push_back(position); }
    void EnableSoftKeys(bool done, bool cancel) override
    {
        softKeys.emplace_back(done, cancel);
        if (done && run)
            PostMessage(run->GetWindow(), WM_COMMAND, ID_DONE, 0);
    }
    void ShowWaitCursor(bool shown) override { waitCursor.push_back(shown); }
    void ShowErrorBox(const std::wstring& text, bool) override { messageBoxes.push_back(text); }
    void EndDialog(int result) override { endResult = result; }
    void OnFeedResult(const CFeedUpdateResult& result) override { feedResults.push_back(result); }

    CUpdateRun* run = nullptr;
    std::vector<std::wstring> statusTexts;
    std::vector<int> progress;
    std::vector<std::pair<bool, bool>> softKeys;
    std::vector<bool> waitCursor;
    std::vector<std::wstring> messageBoxes;
    std::vector<CFeedUpdateResult> feedResults;
    int endResult = 0;
};

std::string Rss(const std::string& items, const std::string& channelExtra = "")
{
    return "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>T</title><description>D</description>" +
           channelExtra + items + "</channel></rss>";
}

std::string Item(const std::string& link, const std::string& enclosure = "", int day = 1)
{
    std::string xml = "<item><title>Title " + link + enclosure + "</title>";
    if (!link.empty())
        xml += "<link>" + link + "</link>";
    if (!enclosure.empty())
        xml += "<enclosure url=\"" + enclosure + "\" length=\"10\" type=\"audio/mpeg\"/>";
    return xml + "<pubDate>" + std::to_string(day) + " Dec 2026 10:00:00 +0000</pubDate></item>";
}

std::string Items(const std::string& prefix, int count)
{
    std::string xml;
    for (int i = 0; i < count; ++i)
        xml += Item("http://x/" + prefix + std::to_string(i), "", 1 + i % 28);
    return xml;
}

// The run's threads are joined when it ends; the loopback server's may take a
// moment longer to finish sending.
void ExpectThreadsBackTo(int count)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ThreadCount() > count && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_LE(ThreadCount(), count);
}

// Every run downloads into a file of its own and removes it.
void ExpectNoDownloadFilesLeft()
{
    const fs::path folder = fs::path(WideToUtf8(CSetting::Instance().GetDataFilePath(L"x"))).parent_path();
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        EXPECT_NE(entry.path().filename().string().rfind("temp", 0), 0u) << entry.path();
}

class UpdateRunTest : public CNetTest {
protected:
    std::unique_ptr<COutline> Feed(const std::string& path, const std::wstring& title)
    {
        auto outline = std::make_unique<COutline>();
        outline->title = title;
        outline->xmlUrl = Utf8ToWide(m_server.Url(path));
        outline->kind = OutlineKindFeed;
        return outline;
    }

    static std::unique_ptr<COutline> Folder(const std::wstring& title)
    {
        auto folder = std::make_unique<COutline>();
        folder->title = title;
        folder->kind = OutlineKindFolder;
        return folder;
    }

    // Runs the dialog to its end on this thread; a step may act while it goes.
    void RunToEnd(CUpdateRun& run, CScriptedView& view, const std::function<void()>& step = {})
    {
        view.run = &run;
        run.SetFeedTimeout(m_dwTimeout);
        if (!run.Start())
            return;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!run.HasEnded() && std::chrono::steady_clock::now() < deadline) {
            PumpMessagesUntil([&] { return run.HasEnded(); }, std::chrono::milliseconds(20));
            if (step)
                step();
        }
        ASSERT_TRUE(run.HasEnded()) << "the run did not end";
    }

    // Runs the tree as the channel tree view would: the feed records made,
    // the run, then the clean-up with counter correction.
    std::unique_ptr<CScriptedView> Update(COutlineList& tree, std::vector<COutline*> list, bool automatic,
                                          bool updateAll, const std::function<void(CUpdateRun&)>& step = {})
    {
        MakeEntryLabels(tree);
        auto view = std::make_unique<CScriptedView>();
        {
            CUpdateRun run(*view, std::move(list), automatic, updateAll);
            CUpdateRun* running = &run;
            RunToEnd(run, *view, step ? std::function<void()>([&] { step(*running); }) : std::function<void()>());
        }
        CRssFeedManager().CleanupFeeds(tree, true);
        return view;
    }

    std::unique_ptr<CScriptedView> UpdateAll(COutlineList& tree)
    {
        std::vector<COutline*> list;
        for (auto& outline : tree)
            list.push_back(outline.get());
        return Update(tree, list, false, true);
    }

    static std::wstring Url(const COutline& outline) { return outline.xmlUrl; }
    DWORD m_dwTimeout = 2000;
};

TEST_F(UpdateRunTest, NewItemsBecomeUnreadPagesAndStoredPagesAreLeftAlone)
{
    m_server.SetAnswer("/a.xml", CHttpAnswer::Ok(Rss(Item("http://x/1") + Item("http://x/1") +
                                                     Item("", "http://x/ep.mp3") + Item("", "http://x/ep.mp3") +
                                                     Item("", ""))));
    m_server.SetAnswer("/b.xml", CHttpAnswer::Ok(Rss(Item("http://x/1") + Item("http://x/2"))));
    COutlineList tree;
    tree.push_back(Feed("/a.xml", L"A"));
    auto folder = Folder(L"Folder");
    folder->children.push_back(Feed("/b.xml", L"B"));
    folder->children.push_back(Folder(L"Empty"));
    tree.push_back(std::move(folder));

    auto view = UpdateAll(tree);
    EXPECT_EQ(view->endResult, ID_DONE);
    EXPECT_EQ(view->statusTexts.front(), std::wstring(L"Connecting..."));
    EXPECT_EQ(view->statusTexts[1], std::wstring(L"Connection successful."));
    EXPECT_NE(std::find(view->statusTexts.begin(), view->statusTexts.end(),
                        L"2/2 feed(s) updating...\r\nUpdating feed name:\r\nB"),
              view->statusTexts.end());
    EXPECT_EQ(view->statusTexts.back(), FormatUpdateResult(true, 2, 2, 4));
    EXPECT_EQ(view->progress.back(), 100);
    EXPECT_TRUE(view->messageBoxes.empty());

    const FeedRecord a = StoredFeed(Url(*tree[0]));
    EXPECT_EQ(a.pageCount, 2) << "one page per distinct link or enclosure; none for the item with neither";
    EXPECT_EQ(a.unreadCount, 2);
    EXPECT_EQ(a.updateStatus, kFeedStatusUpdated);
    EXPECT_EQ(a.title, L"A");
    EXPECT_EQ(tree[0]->status, kOutlineStatusUpdated);
    EXPECT_EQ(StoredFeed(Url(*tree[1]->children[0])).pageCount, 2) << "the same link in another feed is its own page";

    // The user reads a page; the feed changes its text; nothing stored changes.
    CRssItem page;
    page.link = L"http://x/1";
    page.feedId = a.feedId;
    FeedRecord record;
    ASSERT_TRUE(CRssFeedManager().SetPageStatus(page, PageStateRead, record));
    m_server.SetAnswer("/a.xml", CHttpAnswer::Ok(Rss("<item><title>Changed</title><link>http://x/1</link></item>")));
    view = UpdateAll(tree);
    EXPECT_EQ(view->statusTexts.back(), FormatUpdateResult(true, 2, 2, 0));
    PageRecord stored;
    CZelviaRssItemDB& items = CZelviaRssItemDB::Instance();
    ASSERT_NE(items.Read(stored, items.FindPage(L"http://x/1", a.feedId)), 0u);
    EXPECT_EQ(stored.state, PageStateRead);
    EXPECT_EQ(stored.title, L"Title http://x/1");
    EXPECT_EQ(StoredFeed(Url(*tree[0])).pageCount, 2) << "a page the feed dropped stays";
    EXPECT_EQ(StoredFeed(Url(*tree[0])).unreadCount, 1);
}

TEST_F(UpdateRunTest, CountersAreNewPagesMinusWhatTheCleanupRemoved)
{
    CSetting::Instance().SetMaxPages(0); // 20 pages
    m_server.SetAnswer("/big.xml", CHttpAnswer::Ok(Rss(Items("p", 25))));
    COutlineList tree;
    tree.push_back(Feed("/big.xml", L"Big"));
    auto view = UpdateAll(tree);
    EXPECT_EQ(view->statusTexts.back(), FormatUpdateResult(true, 1, 1, 20));
    const FeedRecord feed = StoredFeed(Url(*tree[0]));
    EXPECT_EQ(feed.pageCount, 20);
    EXPECT_EQ(feed.unreadCount, 20);
}

TEST_F(UpdateRunTest, AFolderWithoutFeedsFinishesAtOnce)
{
    COutlineList tree;
    tree.push_back(Folder(L"Nothing here"));
    auto view = Update(tree, {tree[0].get()}, false, false);
    EXPECT_EQ(view->statusTexts.back(), FormatUpdateResult(true, 0, 0, 0));
    EXPECT_EQ(view->endResult, ID_DONE);
}

TEST_F(UpdateRunTest, ASingleFeedThatFailsSaysUnsupportedUrlThenStopped)
{
    COutlineList tree;
    tree.push_back(Feed("/gone.xml", L"Gone")); // unscripted: 404
    auto view = Update(tree, {tree[0].get()}, false, false);
    ASSERT_EQ(view->messageBoxes.size(), 1u);
    EXPECT_EQ(view->messageBoxes[0], L"Unsupported URL\r\n\"" + Url(*tree[0]) + L"\"");
    EXPECT_EQ(view->statusTexts.back(), FormatUpdateResult(false, 0, 1, 0));
    EXPECT_EQ(tree[0]->status, kOutlineStatusFailed);
    EXPECT_EQ(StoredFeed(Url(*tree[0])).updateStatus, kFeedStatusFailed) << "the record keeps the failure for the tree";

    // A page in place of the feed (a login, a portal) fails it the same way.
    m_server.SetAnswer("/page.html", CHttpAnswer::Ok("<html><body><p>Please log in</p></body></html>"));
    tree.push_back(Feed("/page.html", L"Page"));
    view = Update(tree, {tree[1].get()}, false, false);
    EXPECT_EQ(view->messageBoxes.size(), 1u);
    EXPECT_EQ(view->statusTexts.back(), FormatUpdateResult(false, 0, 1, 0));
    EXPECT_EQ(tree[1]->status, kOutlineStatusFailed);
    EXPECT_EQ(StoredFeed(Url(*tree[1])).updateStatus, kFeedStatusFailed);
}

TEST_F(UpdateRunTest, UpdateAllWithFailuresStillSaysUpdatedAndShowsNoBox)
{
    m_server.SetAnswer("/ok.xml", CHttpAnswer::Ok(Rss(Item("http://x/ok"))));
    m_server.SetAnswer("/forbidden.xml", CHttpAnswer::Status(403, Rss(Item("http://x/403"))));
    COutlineList tree;
    tree.push_back(Feed("/ok.xml", L"Ok"));
    tree.push_back(Feed("/missing.xml", L"Missing"));
    tree.push_back(Feed("/forbidden.xml", L"Forbidden")); // a 403 body is taken as the document
    auto view = UpdateAll(tree);
    EXPECT_EQ(view->statusTexts.back(), FormatUpdateResult(true, 2, 3, 2));
    EXPECT_TRUE(view->messageBoxes.empty());
}

TEST_F(UpdateRunTest, CancelDuringASlowDownloadEndsTheRunAfterThatFeed)
{
    CHttpAnswer slow = CHttpAnswer::Ok(Rss(Items("s", 50)));
    slow.delivery = CHttpAnswer::Delivery::StallAfterPart;
    slow.firstBytes = 2000;
    m_server.SetAnswer("/slow.xml", slow);
    m_server.SetAnswer("/next.xml", CHttpAnswer::Ok(Rss(Item("http://x/next"))));
    COutlineList tree;
    tree.push_back(Feed("/slow.xml", L"Slow"));
    tree.push_back(Feed("/next.xml", L"Next"));
    m_dwTimeout = 30000;
    int cancels = 0;
    const auto started = std::chrono::steady_clock::now();
    std::vector<COutline*> list = {tree[0].get(), tree[1].get()};
    auto view = Update(tree, list, false, false, [&](CUpdateRun& run) {
        if (m_server.Hits("/slow.xml") > 0 && cancels < 2) {
            ++cancels;
            PostMessage(run.GetWindow(), WM_COMMAND, ID_CANCEL_UPDATE, 0); // twice: the second does nothing
        }
    });
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_EQ(view->statusTexts.back(), FormatUpdateResult(false, 0, 2, 0));
    EXPECT_EQ(m_server.Hits("/next.xml"), 0);
    EXPECT_EQ(view->waitCursor, (std::vector<bool>{true, false}));
    EXPECT_TRUE(view->messageBoxes.empty()) << "a cancelled feed is not reported";
    EXPECT_EQ(view->softKeys.back(), std::make_pair(true, false));
}

TEST_F(UpdateRunTest, LosingTheNetworkStopsTheRunAsDisconnected)
{
    CHttpAnswer stall = CHttpAnswer::Ok("");
    stall.delivery = CHttpAnswer::Delivery::StallBeforeAnswer;
    m_server.SetAnswer("/stall.xml", stall);
    m_server.SetAnswer("/next.xml", CHttpAnswer::Ok(Rss(Item("http://x/next"))));
    COutlineList tree;
    tree.push_back(Feed("/stall.xml", L"Stall"));
    tree.push_back(Feed("/next.xml", L"Next"));
    m_dwTimeout = 30000;
    bool lost = false;
    auto view = Update(tree, {tree[0].get(), tree[1].get()}, false, true, [&](CUpdateRun& run) {
        if (m_server.Hits("/stall.xml") > 0 && !lost) {
            lost = true;
            SendMessage(run.GetWindow(), WM_NETWORK_LOST, 0, 0);
        }
    });
    EXPECT_EQ(view->statusTexts.back(), FormatUpdateResult(true, 0, 2, 0)) << "a disconnected run takes the first text";
    EXPECT_EQ(view->messageBoxes, std::vector<std::wstring>{L"The device is disconnected from the network."});
    EXPECT_EQ(m_server.Hits("/next.xml"), 0);
}

TEST_F(UpdateRunTest, AnAutomaticRunClosesItselfAndMovesLastUpdated)
{
    SetCurrentTimeForTesting(UtcTimePoint(2026, 12, 8, 9, 15));
    m_server.SetAnswer("/a.xml", CHttpAnswer::Ok(Rss(Item("http://x/a"))));
    COutlineList tree;
    tree.push_back(Feed("/a.xml", L"A"));
    auto view = Update(tree, {tree[0].get()}, true, true);
    EXPECT_EQ(view->endResult, ID_DONE);
    EXPECT_TRUE(std::none_of(view->softKeys.begin(), view->softKeys.end(), [](auto keys) { return keys.first; }))
        << "Done is never offered: the run closes itself";
    EXPECT_EQ(CSetting::Instance().GetLastUpdated(), CDateTime::FromParts(2026, 12, 8, 9, 15, 0));

    // Without a connection the dialog ends at once; an automatic run still
    // moves LastUpdated, so the next one waits a full interval.
    ConnMgrSetNetworkAvailableForTesting(false);
    CSetting::Instance().SetLastUpdatedNow();
    SetCurrentTimeForTesting(UtcTimePoint(2026, 12, 8, 10, 0));
    view = Update(tree, {tree[0].get()}, true, true);
    EXPECT_EQ(view->endResult, IDCANCEL);
    EXPECT_EQ(view->statusTexts, (std::vector<std::wstring>{L"Connecting...", L"Connection failed."}));
    EXPECT_EQ(view->messageBoxes, std::vector<std::wstring>{L"Unable to connect. Check that your device is turned on and the settings are "
                                                  L"correct. If the service is available, please try again."});
    EXPECT_EQ(CSetting::Instance().GetLastUpdated(), CDateTime::FromParts(2026, 12, 8, 10, 0, 0));
}

// A host that asks for a wait (Retry-After) is remembered beside the
// feeds: automatic runs leave all its feeds alone until then, at most a day;
// a run the user starts asks all the same, and says until when the server
// asked to wait. An answer of the host ends the wait.
TEST_F(UpdateRunTest, AHostThatAsksForAWaitIsLeftAloneByAutomaticRunsUntilThen)
{
    SetCurrentTimeForTesting(UtcTimePoint(2026, 12, 8, 10, 0));
    CHttpAnswer busy = CHttpAnswer::Status(503, "maintenance");
    busy.headers.emplace_back("Retry-After", "Tue, 08 Dec 2026 12:00:00 GMT");
    m_server.SetAnswer("/busy.xml", busy);
    m_server.SetAnswer("/same-host.xml", CHttpAnswer::Ok(Rss(Item("http://x/same"))));
    COutlineList tree;
    tree.push_back(Feed("/busy.xml", L"Busy"));
    tree.push_back(Feed("/same-host.xml", L"Same host"));
    const std::vector<COutline*> both = {tree[0].get(), tree[1].get()};

    auto view = Update(tree, {tree[0].get()}, false, false);
    ASSERT_EQ(view->messageBoxes.size(), 1u);
    EXPECT_EQ(view->messageBoxes[0], L"The server of this feed asks to be left alone until 2026-12-08 12:00:\r\n\"" +
                                         Url(*tree[0]) + L"\"");
    EXPECT_EQ(m_server.Hits("/busy.xml"), 1);

    SetCurrentTimeForTesting(UtcTimePoint(2026, 12, 8, 11, 0));
    view = Update(tree, both, true, false);
    EXPECT_EQ(m_server.TotalHits(), 1) << "an automatic run asks that host nothing";
    ASSERT_EQ(view->feedResults.size(), 2u);
    for (const CFeedUpdateResult& result : view->feedResults) {
        EXPECT_EQ(result.failure, CFeedFailure::RetryLater);
        EXPECT_EQ(FormatNotBefore(result.notBefore), L"2026-12-08 12:00");
    }
    EXPECT_TRUE(view->messageBoxes.empty());

    view = Update(tree, both, false, false);
    EXPECT_EQ(m_server.Hits("/busy.xml"), 2) << "a run the user starts asks all the same";
    EXPECT_EQ(view->feedResults[1].failure, CFeedFailure::RetryLater) << "and then leaves the host alone for the run";

    // Past the time, the automatic run asks again; the answer ends the wait.
    SetCurrentTimeForTesting(UtcTimePoint(2026, 12, 8, 12, 1));
    m_server.SetAnswer("/busy.xml", CHttpAnswer::Ok(Rss(Item("http://x/busy"))));
    view = Update(tree, both, true, false);
    EXPECT_EQ(view->feedResults[0].outcome, CFeedOutcome::Updated);
    EXPECT_EQ(view->feedResults[1].outcome, CFeedOutcome::Updated);
    FILETIME notBefore;
    EXPECT_FALSE(CZelviaRssDB::Instance().ReadHostNotBefore(Utf8ToWide(DownloadHostOf(Url(*tree[0]))), notBefore));

    // A wait of a year is cut to a day.
    busy.headers = {{"Retry-After", "31536000"}};
    m_server.SetAnswer("/busy.xml", busy);
    view = Update(tree, both, true, false);
    EXPECT_EQ(FormatNotBefore(view->feedResults[0].notBefore), L"2026-12-09 12:01");
    SetCurrentTimeForTesting(UtcTimePoint(2026, 12, 9, 12, 2));
    const int hits = m_server.Hits("/busy.xml");
    Update(tree, both, true, false);
    EXPECT_EQ(m_server.Hits("/busy.xml"), hits + 1);
}

// Feeds that are broken or hostile fail or succeed on their own; the run
// goes on with the next, and leaves no thread behind.
TEST_F(UpdateRunTest, HostileFeedsDoNotStopTheRunOrLeaveThreads)
{
    const int threadsBefore = ThreadCount();
    const std::string whole = Rss(Items("t", 10));
    m_server.SetAnswer("/truncated.xml", CHttpAnswer::Ok(whole.substr(0, whole.size() / 2)));
    CHttpAnswer shortBody = CHttpAnswer::Ok(Rss(Items("c", 3)));
    shortBody.contentLength = 1000000; // promises more than it sends
    shortBody.delivery = CHttpAnswer::Delivery::CloseAtOnce;
    m_server.SetAnswer("/short.xml", shortBody);
    m_server.SetAnswer("/loop.xml", CHttpAnswer::Redirect(301, "/loop.xml"));
    CHttpAnswer silent = CHttpAnswer::Ok("");
    silent.delivery = CHttpAnswer::Delivery::StallBeforeAnswer;
    m_server.SetAnswer("/silent.xml", silent);
    m_server.SetAnswer("/good.xml", CHttpAnswer::Ok(Rss(Item("http://x/good"))));

    COutlineList tree;
    for (const char* path : {"/truncated.xml", "/short.xml", "/loop.xml", "/silent.xml", "/good.xml"})
        tree.push_back(Feed(path, Utf8ToWide(path)));
    m_dwTimeout = 500;
    auto view = UpdateAll(tree);
    EXPECT_EQ(view->endResult, ID_DONE);
    EXPECT_EQ(StoredFeed(Url(*tree[4])).pageCount, 1) << "the good feed after them all";
    EXPECT_GE(StoredFeed(Url(*tree[0])).pageCount, 1) << "a truncated feed keeps what it has";
    EXPECT_EQ(StoredFeed(Url(*tree[2])).updateStatus, kFeedStatusFailed) << "a redirect loop fails";
    EXPECT_EQ(StoredFeed(Url(*tree[3])).updateStatus, kFeedStatusFailed) << "silence fails";
    ExpectNoDownloadFilesLeft();
    ExpectThreadsBackTo(threadsBefore);
}

TEST_F(UpdateRunTest, AnOverSizeFeedIsReadAsFarAsItWasFetched)
{
    const int threadsBefore = ThreadCount();
    std::string huge = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Huge</title>" +
                       Item("http://x/first");
    const std::string filler = "<item><title>" + std::string(1000, 'f') + "</title></item>";
    while (huge.size() < 50u * 1024 * 1024)
        huge += filler;
    huge += Item("http://x/past-the-cap") + "</channel></rss>";
    m_server.SetAnswer("/huge.xml", CHttpAnswer::Ok(std::move(huge)));
    m_server.SetAnswer("/good.xml", CHttpAnswer::Ok(Rss(Item("http://x/good"))));
    COutlineList tree;
    tree.push_back(Feed("/huge.xml", L"Huge"));
    tree.push_back(Feed("/good.xml", L"Good"));
    m_dwTimeout = 10000;
    auto view = UpdateAll(tree);
    EXPECT_EQ(view->statusTexts.back(), FormatUpdateResult(true, 2, 2, 2));
    EXPECT_EQ(StoredKeys(StoredFeed(Url(*tree[0])).feedId), std::vector<std::wstring>{L"http://x/first"});
    ExpectNoDownloadFilesLeft();
    ExpectThreadsBackTo(threadsBefore);
}

// A disk that is full while the run writes: every feed fails and says why,
// nothing is counted as new, and once there is room again the next run
// stores exactly what a run without the fault would have.
TEST_F(UpdateRunTest, AFullDiskFailsTheFeedsAndTheNextRunStoresWhatACleanRunWould)
{
    FailingVfs::Install();
    CZelviaRssItemDB::DestroyInstance(); // reopened through the failing file system
    CZelviaRssDB::DestroyInstance();
    for (const char* path : {"/a.xml", "/b.xml", "/c.xml"})
        m_server.SetAnswer(path, CHttpAnswer::Ok(Rss(Items(path + 1, 6))));
    COutlineList tree;
    for (const char* path : {"/a.xml", "/b.xml", "/c.xml"})
        tree.push_back(Feed(path, Utf8ToWide(path)));
    MakeEntryLabels(tree);
    ASSERT_TRUE(CZelviaRssItemDB::Instance().IsOpen());

    FailingVfs::FailWrites("RSSITEM.CDB");
    auto view = UpdateAll(tree);
    FailingVfs::Heal();
    EXPECT_EQ(view->statusTexts.back(), FormatUpdateResult(true, 0, 3, 0)) << "0/3, no page counted";
    ASSERT_EQ(view->feedResults.size(), 3u);
    for (const CFeedUpdateResult& result : view->feedResults) {
        EXPECT_EQ(result.outcome, CFeedOutcome::Failed);
        EXPECT_EQ(result.failure, CFeedFailure::StoreError);
        EXPECT_EQ(result.storeError, ERROR_DISK_FULL);
        EXPECT_EQ(result.newPages, 0);
    }
    for (const auto& outline : tree) {
        EXPECT_EQ(outline->status, kOutlineStatusFailed) << "the failed icon";
        EXPECT_TRUE(StoredKeys(StoredFeed(Url(*outline)).feedId).empty());
        EXPECT_EQ(StoredFeed(Url(*outline)).updateStatus, kFeedStatusFailed) << "recorded as failed, not updated";
    }
    FailingVfs::FailWrites("RSSITEM.CDB");
    view = Update(tree, {tree[0].get()}, false, false);
    FailingVfs::Heal();
    EXPECT_EQ(view->messageBoxes,
              std::vector<std::wstring>{L"The feed database could not be written: the disk is full."})
        << "a single feed's failure says what failed, not \"Unsupported URL\"";

    view = UpdateAll(tree);
    EXPECT_EQ(view->statusTexts.back(), FormatUpdateResult(true, 3, 3, 18));
    for (const auto& outline : tree) {
        const FeedRecord stored = StoredFeed(Url(*outline));
        EXPECT_EQ(StoredKeys(stored.feedId).size(), 6u);
        EXPECT_EQ(stored.pageCount, 6);
        EXPECT_EQ(stored.unreadCount, 6);
        EXPECT_EQ(outline->status, kOutlineStatusUpdated);
    }
}

// A server that sends a byte now and then keeps every step of the download
// alive; the slow-transfer rule and the overall cap end it, and the run goes
// on with the next feed.
TEST_F(UpdateRunTest, ATricklingServerCannotHoldTheRun)
{
    CHttpAnswer trickle = CHttpAnswer::Ok(Rss(Items("slow", 200)));
    trickle.delivery = CHttpAnswer::Delivery::Trickle;
    trickle.firstBytes = 100;
    trickle.trickleBytes = 1;
    trickle.trickleDelay = std::chrono::milliseconds(50);
    m_server.SetAnswer("/slow.xml", trickle);
    CHttpAnswer steady = trickle; // fast enough for the slow-transfer rule, but endless
    steady.trickleBytes = 2000;
    steady.trickleDelay = std::chrono::milliseconds(20);
    steady.body = Rss(Items("steady", 20000));
    m_server.SetAnswer("/steady.xml", steady);
    m_server.SetAnswer("/good.xml", CHttpAnswer::Ok(Rss(Item("http://x/good"))));
    COutlineList tree;
    for (const char* path : {"/slow.xml", "/steady.xml", "/good.xml"})
        tree.push_back(Feed(path, Utf8ToWide(path)));
    std::vector<COutline*> list;
    for (auto& outline : tree)
        list.push_back(outline.get());
    MakeEntryLabels(tree);
    CScriptedView view;
    const auto started = std::chrono::steady_clock::now();
    {
        CUpdateRun run(view, list, false, true);
        run.SetTransferLimits(1024, 1, 2000); // 1 KB/s over a second; two seconds in all
        RunToEnd(run, view);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
    ASSERT_EQ(view.feedResults.size(), 3u);
    EXPECT_EQ(view.feedResults[0].failure, CFeedFailure::Timeout) << "too slow";
    EXPECT_EQ(view.feedResults[1].failure, CFeedFailure::Timeout) << "too long";
    EXPECT_EQ(view.feedResults[2].outcome, CFeedOutcome::Updated);
}

// Two runs over one data folder would file the same pages twice over: the
// second is refused while the first holds the folder.
TEST_F(UpdateRunTest, ASecondRunOfTheSameStoreIsRefusedWhileOneRuns)
{
    CHttpAnswer stall = CHttpAnswer::Ok("");
    stall.delivery = CHttpAnswer::Delivery::StallBeforeAnswer;
    m_server.SetAnswer("/stall.xml", stall);
    COutlineList tree;
    tree.push_back(Feed("/stall.xml", L"Stall"));
    MakeEntryLabels(tree);
    CScriptedView first, second;
    CUpdateRun running(first, {tree[0].get()}, false, true);
    first.run = &running;
    ASSERT_TRUE(running.Start());
    CUpdateRun refused(second, {tree[0].get()}, false, true);
    second.run = &refused;
    EXPECT_FALSE(refused.Start());
    EXPECT_TRUE(refused.WasRefusedAsBusy());
    EXPECT_EQ(second.endResult, IDCANCEL);
    EXPECT_EQ(second.messageBoxes, std::vector<std::wstring>{L"An update is already running."});
    EXPECT_NE(running.GetDownloadPath(), refused.GetDownloadPath()) << "each run has a download file of its own";
    running.Cancel();
    m_server.Stop(); // lets the stalled download go
    PumpMessagesUntil([&] { return running.IsFinished(); }, std::chrono::seconds(10));
}

} // namespace
