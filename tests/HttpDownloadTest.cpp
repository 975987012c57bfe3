// CHttpDownload against the loopback server: what ends up on disk, what the
// caller is told, and how fast a stuck download lets go.

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

#include "platform/Registry.h"
#include "platform/Unicode.h"
#include "support/NetTest.h"
#include "update/HttpDownload.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class HttpDownloadTest : public CNetTest {
protected:
    // Runs one download to its end (10 s at most) into "dl/temp.xml".
    void Download(const std::string& path, DWORD timeoutMs = 5000, DWORD sizeLimit = 0)
    {
        m_download.SetSizeLimit(sizeLimit);
        ASSERT_TRUE(m_download.Start(Utf8ToWide(m_server.Url(path)), FileW(), timeoutMs));
        ASSERT_EQ(WaitForSingleObject(m_download.GetEndEvent(), 10000), WAIT_OBJECT_0);
    }

    std::string File() const { return HomePath("dl/temp.xml"); }
    std::wstring FileW() const { return Utf8ToWide(File()); }
    bool FileExists() const { return fs::exists(File()); }

    // Waits until the download has taken in some bytes.
    bool WaitForBytes()
    {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (m_download.BytesReceived() == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        return m_download.BytesReceived() > 0;
    }

    CHttpDownload m_download;
};

std::string Document(size_t size)
{
    std::string text;
    text.reserve(size);
    for (size_t i = 0; text.size() < size; ++i)
        text += "<item>" + std::to_string(i) + "</item>\n";
    text.resize(size);
    return text;
}

} // namespace

TEST_F(HttpDownloadTest, StoresTheBodyOfA200Or403AndNothingForOtherAnswers)
{
    m_server.SetAnswer("/feed.xml", CHttpAnswer::Ok("<rss>feed</rss>"));
    Download("/feed.xml");
    EXPECT_TRUE(m_download.Succeeded());
    EXPECT_EQ(m_download.BytesReceived(), 15u);
    EXPECT_EQ(m_download.ContentLength(), 15u);
    EXPECT_EQ(ReadWholeFile(File()), "<rss>feed</rss>");
    m_download.Reset();

    m_server.SetAnswer("/forbidden", CHttpAnswer::Status(403, "<html>go away</html>"));
    Download("/forbidden");
    EXPECT_TRUE(m_download.Succeeded());
    EXPECT_EQ(m_download.StatusCode(), 403);
    EXPECT_EQ(ReadWholeFile(File()), "<html>go away</html>");
    m_download.Reset();

    // A failure also takes away what an earlier download left at the path.
    Download("/missing");
    EXPECT_FALSE(m_download.Succeeded());
    EXPECT_EQ(m_download.StatusCode(), 404);
    EXPECT_EQ(m_download.CancelCode(), 0u);
    EXPECT_FALSE(FileExists());
    m_download.Reset();

    m_server.SetAnswer("/error", CHttpAnswer::Status(500, "oops"));
    Download("/error");
    EXPECT_FALSE(m_download.Succeeded());
    EXPECT_FALSE(FileExists());
}

TEST_F(HttpDownloadTest, EmptyAnswerIsAFailureWithoutFile)
{
    m_server.SetAnswer("/empty", CHttpAnswer::Ok(""));
    Download("/empty");
    EXPECT_FALSE(m_download.Succeeded());
    EXPECT_EQ(m_download.StatusCode(), 200);
    EXPECT_FALSE(FileExists());
}

TEST_F(HttpDownloadTest, FollowsRedirectsButNotForever)
{
    m_server.SetAnswer("/old", CHttpAnswer::Redirect(301, "/new"));
    m_server.SetAnswer("/new", CHttpAnswer::Ok("moved here"));
    Download("/old");
    EXPECT_TRUE(m_download.Succeeded());
    EXPECT_EQ(ReadWholeFile(File()), "moved here");
    EXPECT_EQ(m_server.Hits("/new"), 1);
    m_download.Reset();

    m_server.SetAnswer("/loop", CHttpAnswer::Redirect(302, "/loop"));
    Download("/loop");
    EXPECT_FALSE(m_download.Succeeded());
    EXPECT_FALSE(FileExists());
    EXPECT_LE(m_server.Hits("/loop"), CHttpRequest::kMaxRedirects + 1);
    m_download.Reset();

    // A redirect may not lead off the web onto the local disk.
    m_server.SetAnswer("/sneaky", CHttpAnswer::Redirect(302, "file:///etc/passwd"));
    Download("/sneaky");
    EXPECT_FALSE(m_download.Succeeded());
    EXPECT_FALSE(FileExists());
}

TEST_F(HttpDownloadTest, SizeLimitCutsTheDownloadAndCountsAsSuccess)
{
    m_server.SetAnswer("/big", CHttpAnswer::Ok(Document(3 * 1024 * 1024)));
    Download("/big", 5000, kPageSizeLimit);
    EXPECT_TRUE(m_download.Succeeded());
    EXPECT_GT(m_download.BytesReceived(), kPageSizeLimit);
    EXPECT_LE(m_download.BytesReceived(), kPageSizeLimit + 1024u);
    EXPECT_EQ(fs::file_size(File()), m_download.BytesReceived());
    m_download.Reset();

    // Reset clears the limit: the next download is whole.
    Download("/big");
    EXPECT_TRUE(m_download.Succeeded());
    EXPECT_EQ(fs::file_size(File()), 3u * 1024 * 1024);
}

TEST_F(HttpDownloadTest, CompressedAnswersAreStoredDecodedAndLimitedByWhatReachesTheDisk)
{
    CHttpAnswer hello = CHttpAnswer::Ok(ReadWholeFile(TestDataPath("http/hello-feed.gz")));
    hello.headers.emplace_back("Content-Encoding", "gzip");
    m_server.SetAnswer("/hello", hello);
    Download("/hello");
    EXPECT_TRUE(m_download.Succeeded());
    EXPECT_EQ(ReadWholeFile(File()), "<rss>hello feed</rss>\n");
    m_download.Reset();

    // 3 KB on the wire, 3 MB unpacked.
    CHttpAnswer bomb = CHttpAnswer::Ok(ReadWholeFile(TestDataPath("http/zeros-3mb.gz")));
    bomb.headers.emplace_back("Content-Encoding", "gzip");
    m_server.SetAnswer("/bomb", bomb);
    Download("/bomb", 5000, kPageSizeLimit);
    EXPECT_TRUE(m_download.Succeeded());
    EXPECT_LE(fs::file_size(File()), kPageSizeLimit + 1024u);
}

TEST_F(HttpDownloadTest, ConnectionFailuresLeaveNoFile)
{
    // Something left by an earlier run goes too.
    WriteWholeFile(File(), "stale");
    ASSERT_TRUE(m_download.Start(L"http://127.0.0.1:" + std::to_wstring(CLoopbackHttpServer::UnusedPort()) + L"/x",
                                 FileW(), 5000));
    ASSERT_EQ(WaitForSingleObject(m_download.GetEndEvent(), 10000), WAIT_OBJECT_0);
    EXPECT_FALSE(m_download.Succeeded());
    EXPECT_FALSE(FileExists());
    m_download.Reset();

    m_server.SetAnswer("/hangup", [] {
        CHttpAnswer answer;
        answer.delivery = CHttpAnswer::Delivery::CloseAtOnce;
        return answer;
    }());
    Download("/hangup");
    EXPECT_FALSE(m_download.Succeeded());
    EXPECT_FALSE(FileExists());
    m_download.Reset();

    // A host without a dot is never asked.
    ASSERT_TRUE(m_download.Start(L"http://localhost:" + std::to_wstring(m_server.Port()) + L"/feed.xml", FileW(), 5000));
    ASSERT_EQ(WaitForSingleObject(m_download.GetEndEvent(), 10000), WAIT_OBJECT_0);
    EXPECT_FALSE(m_download.Succeeded());
    EXPECT_EQ(m_server.Hits("/feed.xml"), 0);
}

TEST_F(HttpDownloadTest, ABodyCutShortIsAFailureWithoutFile)
{
    CHttpAnswer answer = CHttpAnswer::Ok("<rss>half");
    answer.contentLength = 5000; // promises more than it sends
    m_server.SetAnswer("/short", answer);
    Download("/short");
    EXPECT_FALSE(m_download.Succeeded());
    EXPECT_FALSE(std::filesystem::exists(File()));
}

TEST_F(HttpDownloadTest, SlowTrickleTripsTheStepTimeout)
{
    CHttpAnswer answer = CHttpAnswer::Ok(Document(200));
    answer.delivery = CHttpAnswer::Delivery::Trickle;
    answer.firstBytes = 10;
    answer.trickleDelay = 3000ms;
    m_server.SetAnswer("/slow", answer);
    const auto started = std::chrono::steady_clock::now();
    Download("/slow", 300);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2500ms);
    EXPECT_FALSE(m_download.Succeeded());
    EXPECT_TRUE(m_download.TimedOut());
    EXPECT_EQ(m_download.CancelCode(), kDownloadCancelled);
    EXPECT_FALSE(FileExists());
}

TEST_F(HttpDownloadTest, ServerThatNeverAnswersTimesOut)
{
    CHttpAnswer answer;
    answer.delivery = CHttpAnswer::Delivery::StallBeforeAnswer;
    m_server.SetAnswer("/silent", answer);
    Download("/silent", 300);
    EXPECT_FALSE(m_download.Succeeded());
    EXPECT_TRUE(m_download.TimedOut());
    EXPECT_FALSE(FileExists());
}

TEST_F(HttpDownloadTest, AbortOfAStalledDownloadReturnsAtOnceAndLeavesNoFile)
{
    CHttpAnswer answer = CHttpAnswer::Ok(Document(100000));
    answer.delivery = CHttpAnswer::Delivery::StallAfterPart;
    answer.firstBytes = 3000;
    m_server.SetAnswer("/stall", answer);
    ASSERT_TRUE(m_download.Start(Utf8ToWide(m_server.Url("/stall")), FileW(), kFeedDownloadTimeoutMs));
    ASSERT_TRUE(WaitForBytes());
    EXPECT_TRUE(FileExists());

    const auto aborted = std::chrono::steady_clock::now();
    m_download.Abort(kDownloadCancelled);
    ASSERT_EQ(WaitForSingleObject(m_download.GetEndEvent(), 2000), WAIT_OBJECT_0);
    EXPECT_LT(std::chrono::steady_clock::now() - aborted, 2s);
    EXPECT_FALSE(m_download.Succeeded());
    EXPECT_EQ(m_download.CancelCode(), kDownloadCancelled);
    EXPECT_FALSE(FileExists());
}

TEST_F(HttpDownloadTest, AbortWhileWaitingForTheAnswerOrJustAfterStart)
{
    CHttpAnswer answer;
    answer.delivery = CHttpAnswer::Delivery::StallBeforeAnswer;
    m_server.SetAnswer("/silent", answer);
    ASSERT_TRUE(m_download.Start(Utf8ToWide(m_server.Url("/silent")), FileW(), kFeedDownloadTimeoutMs));
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (m_server.Hits("/silent") == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    m_download.Abort(kDownloadCancelled);
    EXPECT_EQ(WaitForSingleObject(m_download.GetEndEvent(), 2000), WAIT_OBJECT_0);
    EXPECT_FALSE(m_download.Succeeded());
    m_download.Reset();

    CHttpAnswer slow = CHttpAnswer::Ok("data");
    slow.delivery = CHttpAnswer::Delivery::Trickle;
    slow.trickleDelay = 3000ms;
    m_server.SetAnswer("/slow", slow);
    ASSERT_TRUE(m_download.Start(Utf8ToWide(m_server.Url("/slow")), FileW(), 5000));
    m_download.Abort(7);
    ASSERT_EQ(WaitForSingleObject(m_download.GetEndEvent(), 2000), WAIT_OBJECT_0);
    EXPECT_FALSE(m_download.Succeeded());
    EXPECT_EQ(m_download.CancelCode(), 7u);
    EXPECT_FALSE(FileExists());
}

TEST_F(HttpDownloadTest, AbortAfterTheEndLeavesTheResultAlone)
{
    m_server.SetAnswer("/feed.xml", CHttpAnswer::Ok("data"));
    Download("/feed.xml");
    m_download.Abort(kDownloadCancelled);
    EXPECT_TRUE(m_download.Succeeded());
    EXPECT_EQ(m_download.CancelCode(), 0u);
    EXPECT_EQ(ReadWholeFile(File()), "data");
}

TEST_F(HttpDownloadTest, StartWhileBusyIsRefusedUntilReset)
{
    CHttpAnswer stall;
    stall.delivery = CHttpAnswer::Delivery::StallBeforeAnswer;
    m_server.SetAnswer("/stall", stall);
    m_server.SetAnswer("/other", CHttpAnswer::Ok("other"));
    ASSERT_TRUE(m_download.Start(Utf8ToWide(m_server.Url("/stall")), FileW(), kFeedDownloadTimeoutMs));
    EXPECT_TRUE(m_download.IsBusy());
    EXPECT_FALSE(m_download.Start(Utf8ToWide(m_server.Url("/other")), FileW(), 5000));
    EXPECT_EQ(m_download.GetUrl(), Utf8ToWide(m_server.Url("/stall")));

    // Ended but not reset: still attached, still refused.
    m_download.Abort(kDownloadCancelled);
    ASSERT_EQ(WaitForSingleObject(m_download.GetEndEvent(), 2000), WAIT_OBJECT_0);
    EXPECT_TRUE(m_download.IsBusy());
    EXPECT_FALSE(m_download.Start(Utf8ToWide(m_server.Url("/other")), FileW(), 5000));

    m_download.Reset();
    EXPECT_FALSE(m_download.IsBusy());
    Download("/other");
    EXPECT_TRUE(m_download.Succeeded());
    EXPECT_EQ(m_server.Hits("/other"), 1);
}

TEST_F(HttpDownloadTest, DestroyingARunningDownloadStopsItAndRemovesThePartialFile)
{
    CHttpAnswer answer = CHttpAnswer::Ok(Document(100000));
    answer.delivery = CHttpAnswer::Delivery::StallAfterPart;
    answer.firstBytes = 3000;
    m_server.SetAnswer("/stall", answer);
    const auto started = std::chrono::steady_clock::now();
    {
        CHttpDownload download;
        ASSERT_TRUE(download.Start(Utf8ToWide(m_server.Url("/stall")), FileW(), kFeedDownloadTimeoutMs));
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (download.BytesReceived() == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, 7s);
    EXPECT_FALSE(FileExists());
}

TEST_F(HttpDownloadTest, NotifiesItsWindowOfProgressAndTheEnd)
{
    m_server.SetAnswer("/feed.xml", CHttpAnswer::Ok(Document(5000)));
    int progress = 0;
    std::vector<std::pair<WPARAM, LPARAM>> done;
    const HWND window = CreateMessageWindow([&](HWND, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (message == WM_DOWNLOAD_PROGRESS) {
            EXPECT_EQ(wParam, 5000u);
            ++progress;
        } else if (message == WM_DOWNLOAD_DONE) {
            done.emplace_back(wParam, lParam);
        }
        return 0;
    });
    m_download.SetNotifyWindow(window);
    ASSERT_TRUE(m_download.Start(Utf8ToWide(m_server.Url("/feed.xml")), FileW(), 5000));
    ASSERT_TRUE(PumpMessagesUntil([&] { return !done.empty(); }, 10s));
    EXPECT_EQ(progress, 5); // one per 1024-byte block
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].first, 5000u);
    EXPECT_EQ(done[0].second, reinterpret_cast<LPARAM>(&m_download));
    m_download.Reset();

    done.clear();
    Download("/missing");
    ASSERT_TRUE(PumpMessagesUntil([&] { return !done.empty(); }, 10s));
    EXPECT_EQ(done[0].first, 0u);
    DestroyWindow(window);
}

TEST_F(HttpDownloadTest, AsksForAFreshCopyWithTheUserAgentAndAcceptsCompression)
{
    m_server.SetAnswer("/feed.xml", CHttpAnswer::Ok("data"));
    Download("/feed.xml");
    auto headers = m_server.LastRequestHeaders("/feed.xml");
    EXPECT_EQ(headers["user-agent"], "Tandrel/1.0");
    EXPECT_EQ(headers["cache-control"], "no-cache");
    EXPECT_EQ(headers["pragma"], "no-cache");
    EXPECT_NE(headers["accept-encoding"].find("gzip"), std::string::npos);
    m_download.Reset();

    CRegKey key;
    key.Create(HKEY_LOCAL_MACHINE, L"Security\\Internet Explorer\\User Agent");
    key.SetStringValue(L"CustomBase", L"Custom Agent/2.0");
    Download("/feed.xml");
    EXPECT_EQ(m_server.LastRequestHeaders("/feed.xml")["user-agent"], "Custom Agent/2.0");
    m_download.Reset();

    // A value that would smuggle a header in is not used.
    key.SetStringValue(L"CustomBase", L"Agent\r\nX-Evil: 1");
    Download("/feed.xml");
    headers = m_server.LastRequestHeaders("/feed.xml");
    EXPECT_EQ(headers["user-agent"], "Tandrel/1.0");
    EXPECT_FALSE(headers.contains("x-evil"));
}

TEST(NormalizeUrlTest, FoldsSlashesInThePath)
{
    EXPECT_EQ(CHttpDownload::NormalizeUrl(L"http://example.com/a//b.xml"), L"http://example.com/a/b.xml");
    EXPECT_EQ(CHttpDownload::NormalizeUrl(L"http://example.com/a////b.xml"), L"http://example.com/a/b.xml");
    EXPECT_EQ(CHttpDownload::NormalizeUrl(L"http://example.com///feed.xml"), L"http://example.com/feed.xml");
    EXPECT_EQ(CHttpDownload::NormalizeUrl(L"http://example.com"), L"http://example.com/");
    // The query is not part of the path and keeps its slashes.
    EXPECT_EQ(CHttpDownload::NormalizeUrl(L"http://example.com//f?u=http://x//y"),
              L"http://example.com/f?u=http://x//y");
}

TEST(NormalizeUrlTest, KeepsPortAndUserAndLeavesWhatItCannotSplit)
{
    EXPECT_EQ(CHttpDownload::NormalizeUrl(L"http://example.com:8080//feed.xml"), L"http://example.com:8080/feed.xml");
    EXPECT_EQ(CHttpDownload::NormalizeUrl(L"https://me:pw@example.com/a//b"), L"https://me:pw@example.com/a/b");
    EXPECT_EQ(CHttpDownload::NormalizeUrl(L"example.com//feed.xml"), L"example.com//feed.xml");
    EXPECT_EQ(CHttpDownload::NormalizeUrl(L"http://example.com:99999//x"), L"http://example.com:99999//x");
    const std::wstring longHost = L"http://" + std::wstring(300, L'a') + L".com//x";
    EXPECT_EQ(CHttpDownload::NormalizeUrl(longHost), longHost);
}
