// The online search against a keyword file whose templates point at the
// loopback server: the replacements and the keyword's encoding, the listing
// rules, Add with its images and refusals, the Cancel question and what the
// tree then imports, the network going away, and the shipped keyword file.
#include <QLabel>
#include <filesystem>

#include "DialogTestSupport.h"
#include "platform/Unicode.h"
#include "store/FeedDatabase.h"
#include "subscriptions/OpmlFile.h"
#include "session/ReaderSession.h"
#include "update/FeedSearch.h"
#include "views/FeedSearchDlg.h"
#include "views/ReportList.h"
#include "views/SearchAndOptions.h"

namespace {

class FeedSearchDlgTest : public CDialogTest {
protected:
    void SetUp() override
    {
        CDialogTest::SetUp();
        m_session.Start();
        m_strKeywords = WriteHomeFile("keywords.xml", KeywordFile());
        m_server.SetAnswer("/news?q=c%2B%2B%20news&lang=en", CHttpAnswer::Ok(Rss("News")));
        m_server.SetAnswer("/blogs/c%2B%2B%20news.rss", CHttpAnswer::Ok(Rss("Blogs")));
        m_server.SetAnswer("/known?q=c%2B%2B%20news", CHttpAnswer::Ok(Rss("Known")));
        CHttpAnswer stall;
        stall.delivery = CHttpAnswer::Delivery::StallBeforeAnswer;
        m_server.SetAnswer("/slow?q=c%2B%2B%20news", stall);
    }
    void TearDown() override
    {
        m_session.Shutdown();
        CDialogTest::TearDown();
    }

    // Templates: News (an "&amp;" left in its address), Blogs, Broken
    // (404), Known (subscribed), Slow (never answers), and two items that
    // are no templates.
    std::string KeywordFile() const
    {
        auto item = [](const std::string& title, const std::string& source) {
            return "<item><title>" + title + "</title><link>http://home.invalid/</link><description>About " + title +
                   "</description>" + (source.empty() ? "" : "<source url='" + source + "'>s</source>") + "</item>";
        };
        return "<?xml version='1.0'?><rss version='2.0'><channel><title>Search</title>" +
               item("News: searchkeyword", m_server.Url("/news?q=searchkeyword&amp;amp;lang=en")) +
               item("No template", "") + item("Too short", "http://") +
               item("Blogs: searchkeyword", m_server.Url("/blogs/searchkeyword.rss")) +
               item("Broken: searchkeyword", m_server.Url("/broken?q=searchkeyword")) +
               item("Known: searchkeyword", m_server.Url("/known?q=searchkeyword")) +
               item("Slow: searchkeyword", m_server.Url("/slow?q=searchkeyword")) + "</channel></rss>";
    }

    void Search(CFeedSearchDlg& dialog, const QString& keyword)
    {
        TypeInto(dialog.Edit(), keyword);
        ASSERT_EQ(dialog.SoftKeys()->KeyText(CSoftKeyBar::kLeft), QStringLiteral("Search"));
        PressLeftKey(dialog);
        ASSERT_TRUE(WaitFor([&] { return !dialog.IsBusy(); }));
    }

    void Add(CFeedSearchDlg& dialog, const QString& title)
    {
        dialog.List()->SelectRow(Rows(dialog).indexOf(title));
        dialog.List()->setFocus();
        ASSERT_EQ(dialog.SoftKeys()->KeyText(CSoftKeyBar::kLeft), QStringLiteral("Add"));
        PressLeftKey(dialog);
        ASSERT_TRUE(WaitFor([&] { return !dialog.IsBusy(); }));
    }

    static QStringList Rows(const CFeedSearchDlg& dialog)
    {
        QStringList rows;
        for (int row = 0; row < dialog.List()->GetItemCount(); ++row)
            rows << dialog.List()->ItemText(row, 0);
        return rows;
    }

    static int Image(const CFeedSearchDlg& dialog, const QString& title)
    {
        return dialog.List()->ItemImage(Rows(dialog).indexOf(title));
    }

    CReaderSession m_session;
    std::wstring m_strKeywords;
};

} // namespace

TEST_F(FeedSearchDlgTest, TheKeywordFillsTheTemplatesAndTheListingRulesPick)
{
    FeedRecord known = MakeNewFeedRecord(Utf8ToWide(m_server.Url("/known?q=c%2B%2B%20news")), L"Known", L"");
    ASSERT_TRUE(CZelviaRssDB::Instance().WriteFeed(known));
    CFeedSearchDlg dialog(m_pFrame.get());
    dialog.SetKeywordFile(m_strKeywords);
    RunScripted(dialog, [&] {
        EXPECT_EQ(dialog.Title(), QStringLiteral("Online Search"));
        EXPECT_EQ(FindControl<QLabel>(&dialog, IDC_SEARCH_LABEL)->text(), QStringLiteral("Enter keyword:"));
        TypeInto(dialog.Edit(), QStringLiteral("a keyword that is far too long"));
        EXPECT_EQ(dialog.Edit()->text().size(), 20);
        TypeInto(dialog.Edit(), QStringLiteral("c"));
        EXPECT_FALSE(LeftKeyEnabled(dialog));
        Search(dialog, QStringLiteral("  c++ news "));
        EXPECT_EQ(Rows(dialog), (QStringList{"News: c++ news", "Blogs: c++ news", "Broken: c++ news", "Slow: c++ news"}));
        ASSERT_EQ(dialog.Listed().size(), 4U);
        const COutline& news = *dialog.Listed()[0].outline;
        EXPECT_EQ(news.xmlUrl, Utf8ToWide(m_server.Url("/news?q=c%2B%2B%20news&lang=en")))
            << "the keyword percent-encoded, and \"&amp;\" made \"&\"";
        EXPECT_EQ(news.description, L"About News: c++ news") << "texts take the keyword as typed";
        EXPECT_EQ(news.htmlUrl, L"http://home.invalid/");
        EXPECT_EQ(Image(dialog, "News: c++ news"), kCandidateImageNew);
    });
    EXPECT_TRUE(Boxes().isEmpty());
}

TEST_F(FeedSearchDlgTest, AddMarksEachRowAndRefusesWhatIsAlreadyThere)
{
    CFeedSearchDlg dialog(m_pFrame.get());
    dialog.SetKeywordFile(m_strKeywords);
    RunScripted(dialog, [&] {
        Search(dialog, QStringLiteral("c++ news"));
        Add(dialog, "News: c++ news");
        EXPECT_EQ(Image(dialog, "News: c++ news"), kCandidateImageAdded);
        Add(dialog, "News: c++ news");
        Add(dialog, "Broken: c++ news");
        EXPECT_EQ(Image(dialog, "Broken: c++ news"), kCandidateImageFailed);
        Search(dialog, QStringLiteral("c++ news"));
        EXPECT_EQ(Image(dialog, "News: c++ news"), kCandidateImageAdded) << "added in this dialog";
        EXPECT_EQ(Image(dialog, "Broken: c++ news"), kCandidateImageNew);
    });
    EXPECT_EQ(Boxes(), (QStringList{QStringLiteral("\"News: c++ news\"\nadded."), QStringLiteral("This feed already exists."),
                                    QStringLiteral("Unsupported URL\n\"%1\"")
                                        .arg(QString::fromStdString(m_server.Url("/broken?q=c%2B%2B%20news")))}));
    EXPECT_EQ(m_server.Hits("/news?q=c%2B%2B%20news&lang=en"), 1);
    ASSERT_EQ(dialog.Collected().size(), 1U);
}

TEST_F(FeedSearchDlgTest, CancelAsksWithTheCountAndTheTreeImportsWhatIsKept)
{
    WriteWholeFile(WideToUtf8(GetKeywordFilePath()), KeywordFile());
    CTreeDialogs dialogs;
    InstallSearchAndOptions(dialogs);
    for (const int answer : {IDNO, IDYES}) {
        m_pBoxes.reset();
        m_pBoxes = std::make_unique<CMessageBoxScript>(IDOK);
        for (int box = 0; box < 2; ++box)
            m_pBoxes->QueueAnswer(IDOK);
        m_pBoxes->QueueAnswer(answer);
        ScriptNextDialog([&](CFullScreenDialog& shown) {
            auto* dialog = qobject_cast<CFeedSearchDlg*>(&shown);
            ASSERT_NE(dialog, nullptr);
            Search(*dialog, QStringLiteral("c++ news"));
            Add(*dialog, "News: c++ news");
            Add(*dialog, "Blogs: c++ news");
            QTest::keyClick(dialog->List(), Qt::Key_Escape);
        });
        COutlineList collected = dialogs.onlineSearch(m_pFrame.get(), m_session);
        ASSERT_EQ(Boxes().size(), 3);
        EXPECT_EQ(Boxes()[2], QStringLiteral("\"2\" feed(s) exist for adding.\nClick Yes to add feeds."));
        ASSERT_EQ(collected.size(), answer == IDYES ? 2U : 0U);
        if (answer == IDYES) {
            const CTreeChange change = m_session.ImportOutlines(std::move(collected), nullptr);
            EXPECT_TRUE(change.saved);
            const auto saved = LoadOpmlFile(m_session.SubscriptionPath());
            ASSERT_NE(saved, nullptr);
            int found = 0;
            for (const auto& outline : saved->outlines)
                found += outline->DisplayName() == L"News: c++ news" || outline->DisplayName() == L"Blogs: c++ news";
            EXPECT_EQ(found, 2);
        }
    }
}

TEST_F(FeedSearchDlgTest, TheNetworkGoingAwayStopsAnAddAndSaysSo)
{
    SKIP_STOPPED_DOWNLOAD_UNDER_TSAN();
    CFeedSearchDlg dialog(m_pFrame.get());
    dialog.SetKeywordFile(m_strKeywords);
    RunScripted(dialog, [&] {
        Search(dialog, QStringLiteral("c++ news"));
        dialog.List()->SelectRow(Rows(dialog).indexOf("Slow: c++ news"));
        dialog.List()->setFocus();
        PressLeftKey(dialog);
        QTest::qWait(kRequestOnItsWay);
        EXPECT_TRUE(dialog.IsBusy());
        SendMessage(dialog.GetWindow(), WM_NETWORK_LOST, 0, 0);
        ASSERT_TRUE(WaitFor([&] { return !dialog.IsBusy(); }));
        EXPECT_EQ(Image(dialog, "Slow: c++ news"), kCandidateImageNew);
        EXPECT_TRUE(dialog.Collected().empty());
    });
    EXPECT_EQ(Boxes(), QStringList{QStringLiteral("The device is disconnected from the network.")});
}

TEST_F(FeedSearchDlgTest, CancelDuringTheWalkListsNothingAndTheNextSearchRuns)
{
    CFeedSearchDlg dialog(m_pFrame.get());
    dialog.SetKeywordFile(m_strKeywords);
    RunScripted(dialog, [&] {
        TypeInto(dialog.Edit(), QStringLiteral("c++ news"));
        PressLeftKey(dialog);
        ASSERT_TRUE(dialog.IsBusy()) << "the walk goes on between the window's events";
        ASSERT_EQ(dialog.SoftKeys()->KeyText(CSoftKeyBar::kRight), QStringLiteral("Cancel"));
        dialog.SoftKeys()->PressKey(CSoftKeyBar::kRight);
        ASSERT_TRUE(WaitFor([&] { return !dialog.IsBusy(); }));
        EXPECT_EQ(dialog.List()->GetItemCount(), 0);
        EXPECT_TRUE(dialog.Edit()->hasFocus());
        Search(dialog, QStringLiteral("c++ news"));
        EXPECT_EQ(dialog.List()->GetItemCount(), 5);
    });
    EXPECT_TRUE(Boxes().isEmpty());
}

TEST_F(FeedSearchDlgTest, NoConnectionOrNoKeywordFileFindsNothing)
{
    CFeedSearchDlg dialog(m_pFrame.get());
    dialog.SetKeywordFile(HomePathW("no-such-file.xml"));
    RunScripted(dialog, [&] {
        Search(dialog, QStringLiteral("linux"));
        EXPECT_TRUE(dialog.Edit()->hasFocus()) << "back in the keyword field";
        ConnMgrSetNetworkAvailableForTesting(false);
        Search(dialog, QStringLiteral("linux"));
        EXPECT_FALSE(dialog.List()->isEnabled());
    });
    EXPECT_EQ(Boxes(), (QStringList{QStringLiteral("No matches found."), ResString(IDS_UNABLE_TO_CONNECT)}));
    EXPECT_EQ(m_pBoxes->Shown()[0].style & 0xF0, static_cast<UINT>(MB_ICONASTERISK)) << "the information icon";
    EXPECT_EQ(m_pBoxes->Shown()[1].style & 0xF0, static_cast<UINT>(MB_ICONHAND));
}

TEST_F(FeedSearchDlgTest, ReplacementsRunOnceAndAnEmptyKeywordLeavesTheTemplates)
{
    const std::wstring file = WriteHomeFile(
        "once.xml", "<rss version='2.0'><channel><title>t</title><item><title>T searchkeyword</title>"
                    "<source url='http://s.invalid/?q=searchkeyword&amp;amp;n=1&amp;m=searchkeyword'>s</source>"
                    "</item></channel></rss>");
    COutlineList candidates = LoadSearchCandidates(file, L"searchkeyword & AT&T");
    ASSERT_EQ(candidates.size(), 1U);
    EXPECT_EQ(candidates[0]->title, L"T searchkeyword & AT&T");
    EXPECT_EQ(candidates[0]->xmlUrl,
              L"http://s.invalid/?q=searchkeyword%20%26%20AT%26T&n=1&m=searchkeyword%20%26%20AT%26T");
    EXPECT_EQ(candidates[0]->status, kOutlineStatusUpdated);
    EXPECT_EQ(PercentEncode(L"\u00e9t\u00e9"), L"%C3%A9t%C3%A9");

    candidates = LoadSearchCandidates(file, L"   ");
    EXPECT_EQ(candidates[0]->xmlUrl, L"http://s.invalid/?q=searchkeyword&amp;n=1&m=searchkeyword");
    CSearchCandidateWalk walk(file, L"x");
    EXPECT_TRUE(walk.Step());
    EXPECT_FALSE(walk.Step()) << "one template, one candidate";
    EXPECT_EQ(walk.TakeCandidates().size(), 1U);
    EXPECT_FALSE(CSearchCandidateWalk(HomePathW("no-such-file.xml"), L"x").Step());
}

TEST_F(FeedSearchDlgTest, TheShippedKeywordFileIsInstalledButNeverReplaced)
{
    const std::string path = WideToUtf8(GetKeywordFilePath());
    ASSERT_TRUE(std::filesystem::exists(path)) << "installed at start-up";
    const COutlineList shipped = LoadSearchCandidates(GetKeywordFilePath(), L"linux");
    EXPECT_GE(shipped.size(), 8U);
    for (const auto& candidate : shipped) {
        EXPECT_EQ(candidate->xmlUrl.rfind(L"https://", 0), 0U) << WideToUtf8(candidate->xmlUrl);
        EXPECT_NE(candidate->xmlUrl.find(L"linux"), std::wstring::npos) << WideToUtf8(candidate->xmlUrl);
    }

    WriteWholeFile(path, "<rss><channel><title>mine</title></channel></rss>");
    m_session.Shutdown();
    CReaderSession again;
    again.Start();
    EXPECT_EQ(ReadWholeFile(path), "<rss><channel><title>mine</title></channel></rss>");
    again.Shutdown();
}
