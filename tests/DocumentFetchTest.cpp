// CDocumentFetch against the loopback server: what its file holds at each
// end, and that nothing of a failed, cancelled or abandoned fetch is left.

#include <filesystem>
#include <gtest/gtest.h>

#include "platform/Unicode.h"
#include "support/NetTest.h"
#include "update/DocumentFetch.h"

namespace fs = std::filesystem;

namespace {

class DocumentFetchTest : public CNetTest {
protected:
    std::wstring Url(const std::string& path) const { return Utf8ToWide(m_server.Url(path)); }
    static bool Exists(const CDocumentFetch& fetch) { return fs::exists(WideToUtf8(fetch.Path())); }
};

} // namespace

TEST_F(DocumentFetchTest, TheFileHoldsWhatCameUpToTheLimitAndAFailureLeavesNone)
{
    m_server.SetAnswer("/big", CHttpAnswer::Ok(std::string(3 * kPageSizeLimit, 'x')));
    m_server.SetAnswer("/small", CHttpAnswer::Ok("<opml/>"));
    CDocumentFetch fetch(HWND{}, L"t");
    ASSERT_TRUE(fetch.Connect(Url("/big")));
    ASSERT_TRUE(fetch.Start(Url("/big"), 5000, kPageSizeLimit));
    EXPECT_FALSE(fetch.Start(Url("/small"), 5000, 0)) << "one download at a time";
    ASSERT_EQ(fetch.Finish(), CDocumentFetch::EEnd::Downloaded);
    EXPECT_TRUE(fetch.SizeLimitReached());
    EXPECT_LE(fs::file_size(WideToUtf8(fetch.Path())), kPageSizeLimit + 1024u);

    // The next download starts from an empty file and a clear verdict.
    ASSERT_TRUE(fetch.Start(Url("/small"), 5000, kPageSizeLimit));
    ASSERT_EQ(fetch.Finish(), CDocumentFetch::EEnd::Downloaded);
    EXPECT_FALSE(fetch.SizeLimitReached());
    EXPECT_EQ(ReadWholeFile(WideToUtf8(fetch.Path())), "<opml/>");

    ASSERT_TRUE(fetch.Start(Url("/missing"), 5000, 0));
    EXPECT_EQ(fetch.Finish(), CDocumentFetch::EEnd::Failed);
    EXPECT_FALSE(Exists(fetch));
    EXPECT_EQ(fetch.Finish(), CDocumentFetch::EEnd::Failed) << "a repeated Finish reads nothing";

    ConnMgrSetNetworkAvailableForTesting(false);
    CConnectionManager::DestroyInstance();
    EXPECT_FALSE(fetch.Connect(Url("/small")));
}

TEST_F(DocumentFetchTest, CancelAndTheEndOfTheOwnerLeaveNoFile)
{
    CHttpAnswer stalled = CHttpAnswer::Ok(std::string(4096, 'x'));
    stalled.delivery = CHttpAnswer::Delivery::StallAfterPart;
    stalled.firstBytes = 2048;
    m_server.SetAnswer("/stalled", stalled);
    m_server.SetAnswer("/small", CHttpAnswer::Ok("<opml/>"));

    CDocumentFetch fetch(HWND{}, L"t");
    ASSERT_TRUE(fetch.Start(Url("/stalled"), 60000, 0));
    fetch.Cancel();
    EXPECT_EQ(fetch.Finish(), CDocumentFetch::EEnd::Cancelled);
    EXPECT_FALSE(Exists(fetch));
    EXPECT_EQ(fetch.Finish(), CDocumentFetch::EEnd::Cancelled) << "until the next Start";

    std::string path;
    {
        CDocumentFetch left(HWND{}, L"t");
        ASSERT_TRUE(left.Start(Url("/small"), 5000, 0));
        ASSERT_EQ(left.Finish(), CDocumentFetch::EEnd::Downloaded);
        path = WideToUtf8(left.Path());
        EXPECT_NE(path, WideToUtf8(fetch.Path())) << "each fetch has a file of its own";
        EXPECT_TRUE(fs::exists(path));
    }
    EXPECT_FALSE(fs::exists(path));
}
