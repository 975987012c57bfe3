// The OPML address dialog: a served OPML document and a local one turned
// into a list, the schemes it refuses, the Add of single feeds with the
// images they get, the Cancel question, and the network going away.
#include <QLabel>

#include "views/MarkupLabel.h"
#include "views/ResourceMenu.h"

#include "DialogTestSupport.h"
#include "platform/Unicode.h"
#include "store/FeedDatabase.h"
#include "session/ReaderSession.h"
#include "views/FeedDialogs.h"
#include "views/OpmlAddressDlg.h"
#include "views/PropertiesDlg.h"
#include "views/ReportList.h"

namespace {

class OpmlAddressDlgTest : public CDialogTest {
protected:
    void SetUp() override
    {
        CDialogTest::SetUp();
        m_session.Start();
        m_server.SetAnswer("/one.xml", CHttpAnswer::Ok(Rss("One")));
        m_server.SetAnswer("/two.xml", CHttpAnswer::Ok(Rss("Two")));
        m_server.SetAnswer("/subs.opml", CHttpAnswer::Ok(Opml()));
    }
    void TearDown() override
    {
        m_session.Shutdown();
        CDialogTest::TearDown();
    }

    // Feeds "One" (top level), "Two" (in a folder), "Gone" (404), "Known"
    // (subscribed), a feed with a 7-character address and a "file:" feed.
    std::string Opml() const
    {
        return "<?xml version='1.0'?><opml version='1.0'><body>"
               "<outline title='One' xmlUrl='" + m_server.Url("/one.xml") + "'/>"
               "<outline title='Folder'><outline title='Two' xmlUrl='" + m_server.Url("/two.xml") + "'/></outline>"
               "<outline title='Gone' xmlUrl='" + m_server.Url("/gone.xml") + "'/>"
               "<outline title='Known' xmlUrl='http://known.invalid/feed'/>"
               "<outline title='Short' xmlUrl='http://'/>"
               "<outline title='Local' xmlUrl='file:///etc/passwd'/>"
               "</body></opml>";
    }

    void Search(COpmlAddressDlg& dialog, const std::string& address)
    {
        TypeInto(dialog.Edit(), QString::fromStdString(address));
        ASSERT_EQ(dialog.SoftKeys()->KeyText(CSoftKeyBar::kLeft), QStringLiteral("Search"));
        PressLeftKey(dialog);
        ASSERT_TRUE(WaitFor([&] { return !dialog.IsBusy(); }));
    }

    void Add(COpmlAddressDlg& dialog, const QString& title)
    {
        dialog.List()->SelectRow(Rows(dialog).indexOf(title));
        dialog.List()->setFocus();
        ASSERT_EQ(dialog.SoftKeys()->KeyText(CSoftKeyBar::kLeft), QStringLiteral("Add"));
        PressLeftKey(dialog);
        ASSERT_TRUE(WaitFor([&] { return !dialog.IsBusy(); }));
    }

    static QStringList Rows(const COpmlAddressDlg& dialog)
    {
        QStringList rows;
        for (int row = 0; row < dialog.List()->GetItemCount(); ++row)
            rows << dialog.List()->ItemText(row, 0);
        return rows;
    }

    static int Image(const COpmlAddressDlg& dialog, const QString& title)
    {
        return dialog.List()->ItemImage(Rows(dialog).indexOf(title));
    }

    CReaderSession m_session;
};

} // namespace

TEST_F(OpmlAddressDlgTest, AServedDocumentListsItsFeedsByTheListingRules)
{
    FeedRecord known = MakeNewFeedRecord(L"http://known.invalid/feed", L"Known", L"");
    ASSERT_TRUE(CZelviaRssDB::Instance().WriteFeed(known));
    COpmlAddressDlg dialog(m_pFrame.get());
    RunScripted(dialog, [&] {
        EXPECT_EQ(FindControl<QLabel>(&dialog, IDC_SEARCH_LABEL)->text(), QStringLiteral("Address (OPML URL):"));
        EXPECT_EQ(dialog.SoftKeys()->MenuBarId(), IDR_SEARCH_EDIT);
        EXPECT_FALSE(dialog.List()->isEnabled()) << "no rows yet";
        TypeInto(dialog.Edit(), QStringLiteral(" h "));
        EXPECT_FALSE(LeftKeyEnabled(dialog)) << "Search needs two characters after trimming";
        TypeInto(dialog.Edit(), QString::fromStdString(m_server.Url("/subs.opml")));
        EXPECT_TRUE(LeftKeyEnabled(dialog));
        PressLeftKey(dialog);
        EXPECT_TRUE(dialog.IsBusy());
        EXPECT_EQ(dialog.SoftKeys()->MenuBarId(), IDR_BUSY);
        EXPECT_FALSE(dialog.Edit()->isEnabled());
        ASSERT_TRUE(WaitFor([&] { return !dialog.IsBusy(); }));

        EXPECT_EQ(Rows(dialog), (QStringList{"One", "Two", "Gone", "Local"}))
            << "folders are walked; subscribed feeds and too short addresses are left out";
        EXPECT_EQ(Image(dialog, "One"), kCandidateImageNew);
        EXPECT_TRUE(dialog.List()->hasFocus());
        EXPECT_EQ(dialog.SoftKeys()->MenuBarId(), IDR_SEARCH_LIST);
        EXPECT_EQ(dialog.List()->GetSelectedRow(), 0);
        dialog.Edit()->setFocus();
        EXPECT_EQ(dialog.SoftKeys()->MenuBarId(), IDR_SEARCH_EDIT);
    });
    EXPECT_TRUE(Boxes().isEmpty()) << Boxes().join("|").toStdString();
}

TEST_F(OpmlAddressDlgTest, FileAddressesAreReadAsOpmlOnlyAndOtherSchemesAreRefused)
{
    const std::wstring local = WriteHomeFile("local.opml", Opml());
    const std::wstring notOpml = WriteHomeFile("notes.txt", "just text, <b>not</b> a subscription list");
    m_server.SetAnswer("/to-file", CHttpAnswer::Redirect(302, "file://" + WideToUtf8(local)));
    COpmlAddressDlg dialog(m_pFrame.get());
    RunScripted(dialog, [&] {
        Search(dialog, "file://" + WideToUtf8(local));
        EXPECT_EQ(Rows(dialog).size(), 5);
        Search(dialog, "file://" + WideToUtf8(notOpml));
        EXPECT_TRUE(Rows(dialog).isEmpty());
        Search(dialog, "file://" + HomePath("nothing.opml"));
        Search(dialog, "ftp://files.invalid/subs.opml");
        Search(dialog, m_server.Url("/to-file"));
        EXPECT_TRUE(Rows(dialog).isEmpty()) << "a redirect to a file is not followed";
    });
    EXPECT_EQ(Boxes(), (QStringList{QStringLiteral("No matches found."), QStringLiteral("File not found."),
                                    QStringLiteral("Unsupported URL\n\"ftp://files.invalid/subs.opml\""),
                                    QStringLiteral("Unsupported URL\n\"%1\"").arg(QString::fromStdString(m_server.Url("/to-file")))}));
}

TEST_F(OpmlAddressDlgTest, AddChecksEachFeedAndMarksItsRow)
{
    COpmlAddressDlg dialog(m_pFrame.get());
    RunScripted(dialog, [&] {
        Search(dialog, m_server.Url("/subs.opml"));
        Add(dialog, "One");
        EXPECT_EQ(Image(dialog, "One"), kCandidateImageAdded);
        Add(dialog, "One");
        Add(dialog, "Gone");
        EXPECT_EQ(Image(dialog, "Gone"), kCandidateImageFailed);
        Add(dialog, "Local");
        EXPECT_EQ(dialog.Collected().size(), 1U);
        // A second search lists the collected feed as added.
        Search(dialog, m_server.Url("/subs.opml"));
        EXPECT_EQ(Image(dialog, "One"), kCandidateImageAdded);
        EXPECT_EQ(Image(dialog, "Gone"), kCandidateImageNew);
        EXPECT_TRUE(dialog.List()->hasFocus()) << "the user worked in the list";
    });
    EXPECT_EQ(Boxes(), (QStringList{QStringLiteral("\"One\"\nadded."), QStringLiteral("This feed already exists."),
                                    QStringLiteral("Unsupported URL\n\"%1\"").arg(QString::fromStdString(m_server.Url("/gone.xml"))),
                                    QStringLiteral("Unsupported URL\n\"file:///etc/passwd\"")}));
    EXPECT_EQ(m_pBoxes->Shown()[0].style & 0xF0, MB_ICONASTERISK);
    EXPECT_EQ(m_server.Hits("/one.xml"), 1) << "the duplicate is refused before any download";
}

TEST_F(OpmlAddressDlgTest, CancelAsksWithTheCountAndNoDropsTheCollectedFeeds)
{
    CTreeDialogs dialogs;
    InstallFeedDialogs(dialogs);
    for (const int answer : {IDNO, IDYES}) {
        m_pBoxes.reset(); // scripts nest: the old one goes first
        m_pBoxes = std::make_unique<CMessageBoxScript>(IDOK);
        m_pBoxes->QueueAnswer(IDOK);
        m_pBoxes->QueueAnswer(IDOK);
        m_pBoxes->QueueAnswer(answer);
        ScriptNextDialog([&](CFullScreenDialog& shown) {
            auto* dialog = qobject_cast<COpmlAddressDlg*>(&shown);
            ASSERT_NE(dialog, nullptr);
            Search(*dialog, m_server.Url("/subs.opml"));
            Add(*dialog, "One");
            Add(*dialog, "Two");
            // The Back key, as the Menu popup's Cancel.
            QTest::keyClick(dialog->List(), Qt::Key_Escape);
        });
        const COutlineList collected = dialogs.opmlAddress(m_pFrame.get(), m_session);
        ASSERT_EQ(Boxes().size(), 3);
        EXPECT_EQ(Boxes()[2], QStringLiteral("\"2\" feed(s) exist for adding.\nClick Yes to add feeds."));
        EXPECT_EQ(collected.size(), answer == IDYES ? 2U : 0U);
    }
}

TEST_F(OpmlAddressDlgTest, NetworkLossOrCancelDuringAnAddStopsIt)
{
    SKIP_STOPPED_DOWNLOAD_UNDER_TSAN();
    CHttpAnswer stall;
    stall.delivery = CHttpAnswer::Delivery::StallBeforeAnswer;
    m_server.SetAnswer("/one.xml", stall);
    COpmlAddressDlg dialog(m_pFrame.get());
    RunScripted(dialog, [&] {
        Search(dialog, m_server.Url("/subs.opml"));
        dialog.List()->SelectRow(0);
        dialog.List()->setFocus();
        PressLeftKey(dialog);
        ASSERT_TRUE(dialog.IsBusy());
        EXPECT_EQ(dialog.SoftKeys()->MenuBarId(), IDR_BUSY);
        QTest::qWait(kRequestOnItsWay);
        SendMessage(static_cast<HWND>(HWND{dialog.property(kMessageWindowProperty).value<quint64>()}),
                    WM_NETWORK_LOST, 0, 0);
        ASSERT_TRUE(WaitFor([&] { return !dialog.IsBusy(); }));
        EXPECT_EQ(Image(dialog, "One"), kCandidateImageNew);
        EXPECT_TRUE(dialog.List()->isEnabled());

        // Cancel of the busy menu stops an add without a word.
        PressLeftKey(dialog);
        QTest::qWait(kRequestOnItsWay);
        dialog.SoftKeys()->PressKey(CSoftKeyBar::kRight);
        ASSERT_TRUE(WaitFor([&] { return !dialog.IsBusy(); }));
        EXPECT_EQ(Image(dialog, "One"), kCandidateImageNew);
    });
    EXPECT_EQ(Boxes(), QStringList{QStringLiteral("The device is disconnected from the network.")});
    EXPECT_TRUE(dialog.Collected().empty());
}

TEST_F(OpmlAddressDlgTest, PropertiesOfAFoundFeedHaveNoLastUpdate)
{
    COpmlAddressDlg dialog(m_pFrame.get());
    RunScripted(dialog, [&] {
        Search(dialog, m_server.Url("/subs.opml"));
        ScriptNextDialog([&](CFullScreenDialog& shown) {
            auto* properties = qobject_cast<CPropertiesDlg*>(&shown);
            ASSERT_NE(properties, nullptr);
            EXPECT_EQ(FindControl<CMarkupLabel>(properties, IDC_PROPERTY_FIRST + 1)->Text(), QStringLiteral("One"));
            EXPECT_EQ(FindControl<CMarkupLabel>(properties, IDC_PROPERTY_FIRST + 6)->Text(),
                      QStringLiteral("<B><Font size=10>Description</font></B>"));
            EXPECT_EQ(FindControl<CMarkupLabel>(properties, IDC_PROPERTY_FIRST + 8), nullptr);
            PressLeftKey(*properties);
        });
        dialog.List()->setFocus();
        FindMenuCommand(dialog.SoftKeys()->KeyMenu(CSoftKeyBar::kRight), ID_SEARCH_PROPERTIES)->trigger();
    });
}
