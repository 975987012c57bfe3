// A site's address instead of a feed's, as the user meets it: Enter URL
// (from the tree's Menu, with the keys) offers the feeds a page announces
// and subscribes to the one chosen, named from its channel unless the user
// named it; the OPML address dialog's Add does the same for a candidate
// that is a site's page.

#include <QCheckBox>

#include "DialogTestSupport.h"
#include "MenuPicking.h"
#include "ReaderWindowTestSupport.h"
#include "platform/Unicode.h"
#include "subscriptions/OpmlFile.h"
#include "session/ReaderSession.h"
#include "update/CandidateFetch.h"
#include "views/AddFeedDlg.h"
#include "views/FeedChoiceDlg.h"
#include "views/InstallDialogs.h"
#include "views/OpmlAddressDlg.h"
#include "views/ReportList.h"

namespace {

std::string SitePage(const std::string& links)
{
    return "<!DOCTYPE html><html><head><title>Site</title>" + links + "</head><body>Hello</body></html>";
}

const std::string kTwoFeeds = "<link rel='alternate' type='application/atom+xml' title='Everything' href='/all.atom'>"
                              "<link rel='alternate' type='application/rss+xml' title='Comments' href='/comments.rss'>";

// Plays the script on the next feed choice that opens over the dialogs.
void OnNextFeedChoice(const std::function<void(CFeedChoiceDlg&)>& script)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, script] {
        auto* choice = qobject_cast<CFeedChoiceDlg*>(CFullScreenDialog::ActiveDialog());
        if (choice == nullptr || !choice->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        script(*choice);
    });
    poll->start();
}

QStringList Rows(const CReportList* list)
{
    QStringList rows;
    for (int row = 0; row < list->GetItemCount(); ++row)
        rows << list->ItemText(row, 0);
    return rows;
}

class DiscoveryDlgTest : public CDialogTest {
protected:
    void SetUp() override
    {
        CDialogTest::SetUp();
        m_session.Start();
        m_server.SetAnswer("/site/", CHttpAnswer::Ok(SitePage(kTwoFeeds)));
        m_server.SetAnswer("/all.atom", CHttpAnswer::Ok(Rss("All of it")));
        m_server.SetAnswer("/comments.rss", CHttpAnswer::Ok(Rss("Comments")));
    }
    void TearDown() override
    {
        m_session.Shutdown();
        CDialogTest::TearDown();
    }

    QLineEdit* UrlEdit(CFullScreenDialog& dialog) { return FindControl<QLineEdit>(&dialog, IDC_URL_EDIT); }
    QLineEdit* NameEdit(CFullScreenDialog& dialog) { return FindControl<QLineEdit>(&dialog, IDC_NAME_EDIT); }

    CReaderSession m_session;
};

} // namespace

TEST_F(DiscoveryDlgTest, ASitesFeedsAreOfferedAndTheChosenOneIsNamedFromItsChannel)
{
    QStringList offered;
    QString title;
    OnNextFeedChoice([&](CFeedChoiceDlg& choice) {
        offered = Rows(choice.List());
        title = choice.Title();
        EXPECT_EQ(choice.List()->GetSelectedRow(), 0);
        QTest::keyClick(choice.List(), Qt::Key_Down);
        choice.SoftKeys()->PressKey(CSoftKeyBar::kLeft); // Done
    });
    CAddFeedDlg dialog(m_pFrame.get());
    const int result = RunScripted(dialog, [&] {
        TypeInto(UrlEdit(dialog), QString::fromStdString(m_server.Url("/site/")));
        EXPECT_EQ(NameEdit(dialog)->text(), QStringLiteral("New Feed"));
        PressLeftKey(dialog);
        // The chosen feed is fetched, and the dialog ends with it.
        ASSERT_TRUE(WaitFor([&] { return m_server.Hits("/comments.rss") == 1 && !dialog.IsFetching(); }));
    });
    ASSERT_EQ(result, ID_DONE) << Boxes().join("|").toStdString();
    EXPECT_EQ(title, QStringLiteral("Choose a feed"));
    EXPECT_EQ(offered, (QStringList{QStringLiteral("Everything (Atom)"), QStringLiteral("Comments (RSS)")}));
    const auto feed = dialog.TakeFeed();
    ASSERT_NE(feed, nullptr);
    EXPECT_EQ(feed->xmlUrl, Utf8ToWide(m_server.Url("/comments.rss")));
    EXPECT_EQ(feed->title, L"Comments") << "a name left as it came gives way to the channel's title";
    EXPECT_EQ(m_server.Hits("/all.atom"), 0);
    EXPECT_TRUE(Boxes().isEmpty());
}

TEST_F(DiscoveryDlgTest, ANameTheUserGaveIsKeptAndCancellingTheChoiceFetchesNothing)
{
    OnNextFeedChoice([](CFeedChoiceDlg& choice) { choice.SoftKeys()->PressKey(CSoftKeyBar::kRight); });
    CAddFeedDlg dialog(m_pFrame.get());
    const int result = RunScripted(dialog, [&] {
        TypeInto(UrlEdit(dialog), QString::fromStdString(m_server.Url("/site/")));
        TypeInto(NameEdit(dialog), QStringLiteral("Mine"));
        PressLeftKey(dialog);
        ASSERT_TRUE(WaitFor([&] { return !dialog.IsFetching() && LeftKeyEnabled(dialog); }));
        EXPECT_TRUE(dialog.IsRunning()) << "a cancelled choice leaves the dialog as it was";
        EXPECT_EQ(m_server.Hits("/all.atom") + m_server.Hits("/comments.rss"), 0);

        OnNextFeedChoice([](CFeedChoiceDlg& choice) { QTest::keyClick(choice.List(), Qt::Key_Return); });
        PressLeftKey(dialog);
        ASSERT_TRUE(WaitFor([&] { return m_server.Hits("/all.atom") == 1 && !dialog.IsFetching(); }));
    });
    ASSERT_EQ(result, ID_DONE);
    const auto feed = dialog.TakeFeed();
    EXPECT_EQ(feed->title, L"Mine");
    EXPECT_EQ(feed->xmlUrl, Utf8ToWide(m_server.Url("/all.atom")));
}

TEST_F(DiscoveryDlgTest, TheOpmlAddressDialogCollectsTheFeedBehindACandidatesSite)
{
    m_server.SetAnswer("/one/", CHttpAnswer::Ok(SitePage(
        "<link rel='alternate' type='application/rss+xml' href='/one/feed.xml'>")));
    m_server.SetAnswer("/one/feed.xml", CHttpAnswer::Ok(Rss("One")));
    m_server.SetAnswer("/subs.opml", CHttpAnswer::Ok(
        "<opml version='1.0'><body><outline title='Site one' xmlUrl='" + m_server.Url("/one/") + "'/>"
        "<outline title='Site two' xmlUrl='" + m_server.Url("/site/") + "'/></body></opml>"));
    OnNextFeedChoice([](CFeedChoiceDlg& choice) { choice.SoftKeys()->PressKey(CSoftKeyBar::kLeft); });
    COpmlAddressDlg dialog(m_pFrame.get());
    RunScripted(dialog, [&] {
        TypeInto(dialog.Edit(), QString::fromStdString(m_server.Url("/subs.opml")));
        PressLeftKey(dialog);
        ASSERT_TRUE(WaitFor([&] { return !dialog.IsBusy(); }));
        for (int row = 0; row < 2; ++row) {
            dialog.List()->SelectRow(row);
            dialog.List()->setFocus();
            PressLeftKey(dialog); // Add
            ASSERT_TRUE(WaitFor([&] { return !dialog.IsBusy(); }, 10000));
            EXPECT_EQ(dialog.List()->ItemImage(row), kCandidateImageAdded);
        }
    });
    ASSERT_EQ(dialog.Collected().size(), 2u) << Boxes().join("|").toStdString();
    EXPECT_EQ(dialog.Collected()[0]->xmlUrl, Utf8ToWide(m_server.Url("/one/feed.xml")));
    EXPECT_EQ(dialog.Collected()[1]->xmlUrl, Utf8ToWide(m_server.Url("/all.atom")));
    EXPECT_EQ(Boxes(), (QStringList{QStringLiteral("\"Site one\"\nadded."), QStringLiteral("\"Site two\"\nadded.")}));
}

namespace {

class DiscoveryWindowTest : public CReaderWindowTest {};

} // namespace

TEST_F(DiscoveryWindowTest, EnterUrlFromTheTreesMenuSubscribesToASitesFeed)
{
    m_server.SetAnswer("/blog/", CHttpAnswer::Ok(SitePage(
        "<link rel='alternate' type='application/rss+xml' href='feed.xml'>")));
    m_server.SetAnswer("/blog/feed.xml", CHttpAnswer::Ok(RssDocument("The Blog", "post", 2)));
    WriteTree(FeedOutline("Existing", "/existing.xml"));
    CTreeDialogs dialogs;
    InstallAllDialogs(dialogs);
    StartReader(std::move(dialogs));
    CPilot pilot;
    pilot.Then(OnDialog<CAddFeedDlg>([&](CAddFeedDlg& add) {
        auto* url = FindControl<QLineEdit>(&add, IDC_URL_EDIT);
        ASSERT_NE(url, nullptr);
        url->selectAll();
        QTest::keyClicks(url, QString::fromStdString(FeedUrl("/blog/")));
        add.SoftKeys()->PressKey(CSoftKeyBar::kLeft);
    }));
    ASSERT_TRUE(PickFromSoftKeyMenu(Keys(), {QStringLiteral("New Subscription"), QStringLiteral("Enter URL")}));
    ASSERT_TRUE(WaitFor([&] { return pilot.IsDone() && CFullScreenDialog::ActiveDialog() == nullptr; }, 20000));
    EXPECT_EQ(Shape(), "Existing The Blog");
    const auto saved = LoadOpmlFile(HomePathW("data/RSSReader/default.opml"));
    ASSERT_NE(saved, nullptr);
    ASSERT_EQ(saved->outlines.size(), 2u);
    EXPECT_EQ(saved->outlines[1]->xmlUrl, Utf8ToWide(FeedUrl("/blog/feed.xml")));
}
