// The update dialog and the runs the tree starts: labels refreshed as each
// feed's result comes in, a second run refused while one holds the lock or
// the data folder, the timer's automatic run (not over an open dialog), and
// the dialog's own states: Cancel twice, the Back key at the end, the lost
// network, no connection, and a message box of the run that holds back
// Done, Cancel and the end until it closes.

#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

#include "ReaderWindowTestSupport.h"
#include "app/MessageBox.h"
#include "platform/FileLock.h"
#include "store/DataStorage.h"
#include "update/Setting.h"
#include "views/ResourceMenu.h"
#include "views/UpdateFeedsDlg.h"

namespace {

class UpdateFeedsDlgTest : public CReaderWindowTest {
protected:
    std::wstring Url(const std::string& path) const { return Utf8ToWide(FeedUrl(path)); }

    // A feed outline with a stored record, for a dialog of the test's own.
    COutline& Feed(const std::string& path, const std::wstring& title)
    {
        auto outline = std::make_unique<COutline>();
        outline->title = title;
        outline->xmlUrl = Url(path);
        outline->kind = OutlineKindFeed;
        StoreFeed(outline->xmlUrl, title);
        m_feeds.push_back(std::move(outline));
        return *m_feeds.back();
    }

    // A server answer that sends half the document and then nothing.
    static CHttpAnswer Stalled(const std::string& body)
    {
        CHttpAnswer answer = CHttpAnswer::Ok(body);
        answer.delivery = CHttpAnswer::Delivery::StallAfterPart;
        answer.firstBytes = body.size() / 2;
        return answer;
    }

    // Runs the dialog over the frame with the pilot's steps; its result.
    int RunDialog(CUpdateFeedsDlg& dialog) { return dialog.DoModal(); }

    COutlineList m_feeds;
};

// Every CUpdateFeedsDlg shown while it exists, however briefly: an
// automatic run of one loopback feed may open and close its dialog between
// two turns of any polling timer.
class CUpdateDialogWatch : public QObject {
public:
    CUpdateDialogWatch() { qApp->installEventFilter(this); }
    ~CUpdateDialogWatch() override { qApp->removeEventFilter(this); }
    int Count() const { return m_shown; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<CUpdateFeedsDlg*>(watched) != nullptr)
            ++m_shown;
        return false;
    }

private:
    int m_shown = 0;
};

} // namespace

TEST_F(UpdateFeedsDlgTest, UpdateAllRefreshesLabelsAsFeedsComeInAndRefusesASecondRunMeanwhile)
{
    m_server.SetAnswer("/a", CHttpAnswer::Ok(RssDocument("A", "a", 3)));
    CHttpAnswer slow = CHttpAnswer::Ok(RssDocument("B", "b", 2));
    slow.delivery = CHttpAnswer::Delivery::Trickle;
    slow.trickleBytes = 40;
    slow.trickleDelay = std::chrono::milliseconds(40);
    m_server.SetAnswer("/b", slow);
    WriteTree("<outline title=\"F\">" + FeedOutline("A", "/a") + FeedOutline("B", "/b") + "</outline>" +
              FeedOutline("C", "/gone"));
    StartReader();
    EXPECT_EQ(Shape(), "F[A B] C");

    CUpdateDialogWatch watch;
    bool refreshedWhileRunning = false;
    QString endText;
    bool doneEnabled = false, cancelEnabled = true;
    CPilot pilot;
    pilot
        .Then([&](CFullScreenDialog* top) {
            auto* dialog = qobject_cast<CUpdateFeedsDlg*>(top);
            if (dialog == nullptr || Entry("A").data().toString() != QStringLiteral("A (3)"))
                return false;
            refreshedWhileRunning = !dialog->Run().IsFinished();
            EXPECT_EQ(dialog->Title(), QStringLiteral("Update Feeds"));
            EXPECT_EQ(dialog->ProgressBar()->geometry().left(), 5);
            EXPECT_EQ(dialog->ProgressBar()->geometry().width(), dialog->Client()->width() - 10);
            EXPECT_EQ(dialog->StatusText()->font().pointSize(), 10);
            // The timer, a synchronisation or a second choice: none starts
            // another run while this one holds the lock.
            View().RequestUpdateAll(true);
            Frame().PostCommand(ID_UPDATE_ALL);
            Frame().PostCommand(ID_UPDATE);
            return true;
        })
        .Then(OnDialog<CUpdateFeedsDlg>([&](CUpdateFeedsDlg& dialog) {
            ASSERT_TRUE(WaitFor([&] { return dialog.Run().IsFinished(); }, 20000));
            endText = dialog.StatusText()->text();
            doneEnabled = dialog.SoftKeys()->IsKeyEnabled(CSoftKeyBar::kLeft);
            cancelEnabled = dialog.SoftKeys()->IsKeyEnabled(CSoftKeyBar::kRight);
            dialog.SoftKeys()->PressKey(CSoftKeyBar::kLeft);
        }));
    Keys()->PressKey(CSoftKeyBar::kRight);
    FindMenuCommand(Keys()->KeyMenu(CSoftKeyBar::kRight), ID_UPDATE_ALL)->trigger();

    EXPECT_TRUE(pilot.IsDone());
    EXPECT_TRUE(refreshedWhileRunning) << "A's label changed before the run ended";
    EXPECT_EQ(watch.Count(), 1) << "no second run";
    EXPECT_EQ(m_server.Hits("/a"), 1);
    EXPECT_EQ(endText, QStringLiteral("2/3 feed(s) updated.\nTotal update page: 5\npage(s) updated.\nSelect Done to continue."));
    EXPECT_TRUE(doneEnabled);
    EXPECT_FALSE(cancelEnabled);
    EXPECT_EQ(Shape(), "F[A (3) B (2)] C");
    EXPECT_EQ(CChannelTreeView::IconOf(Entry("C")), kTreeIconFailed);
    EXPECT_FALSE(Session().IsUpdateLocked());
    EXPECT_FALSE(Session().IsAutomaticUpdate());

    // The failure stays on the entry through later refreshes (and restarts).
    View().RefreshAll();
    EXPECT_EQ(CChannelTreeView::IconOf(Entry("C")), kTreeIconFailed);
}

TEST_F(UpdateFeedsDlgTest, ARunOfTheSameDataFolderElsewhereKeepsThisOneFromStarting)
{
    WriteTree(FeedOutline("A", "/a"));
    StartReader();
    CFileLock other;
    ASSERT_TRUE(other.TryLock(JoinPath(GetDataFolder(), kUpdateLockFileName)));
    CMessageBoxScript boxes;
    View().OnCommand(ID_UPDATE_ALL);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, QStringLiteral("An update is already running."));
    EXPECT_EQ(m_server.Hits("/a"), 0);
    EXPECT_FALSE(Session().IsUpdateLocked());
}

TEST_F(UpdateFeedsDlgTest, TheTimerStartsAnAutomaticRunWhenDueButNeverOverAnOpenDialog)
{
    m_server.SetAnswer("/a", CHttpAnswer::Ok(RssDocument("A", "a", 2)));
    WriteTree(FeedOutline("A", "/a"));
    CSetting::Instance().SetUpdateMethod(CSetting::kUpdateAutomatic); // never updated: due at once
    StartReader();
    CUpdateDialogWatch watch;

    // A dialog of the view is open: ticks pass, requests come, nothing runs.
    View().SetCheckInterval(20);
    CFullScreenDialog rename(&Frame(), IDD_RENAME);
    QTimer::singleShot(150, [&] {
        View().RequestUpdateAll(true); // as a synchronisation would
    });
    QTimer::singleShot(400, [&] { rename.EndDialog(ID_CANCEL); });
    rename.DoModal();
    EXPECT_EQ(watch.Count(), 0);
    EXPECT_EQ(m_server.Hits("/a"), 0);
    EXPECT_TRUE(Session().IsAutomaticUpdate()) << "the request waits";

    // Once it has closed, the next tick runs the update, which closes itself.
    ASSERT_TRUE(WaitFor([&] { return watch.Count() == 1 && CFullScreenDialog::ActiveDialog() == nullptr; }, 20000));
    EXPECT_EQ(m_server.Hits("/a"), 1);
    EXPECT_EQ(Entry("A").data().toString(), QStringLiteral("A (2)"));
    // Not due again for an interval.
    QTest::qWait(200);
    EXPECT_EQ(watch.Count(), 1);
}

TEST_F(UpdateFeedsDlgTest, ASynchronisationThatEndsUnderAnOpenDialogUpdatesOnceItCloses)
{
    m_server.SetAnswer("/a", CHttpAnswer::Ok(RssDocument("A", "a", 2)));
    WriteTree(FeedOutline("A", "/a"));
    CSetting::Instance().SetUpdateOnConnected(1); // the method stays manual: no timer runs
    StartReader();
    CUpdateDialogWatch watch;
    CFullScreenDialog rename(&Frame(), IDD_RENAME);
    QTimer::singleShot(100, [&] { View().OnFrameMessage(WM_CONNECTED_NOTIFY, 0x10, 0); });
    QTimer::singleShot(600, [&] { rename.EndDialog(ID_CANCEL); });
    rename.DoModal();
    EXPECT_EQ(watch.Count(), 0) << "nothing opened over the dialog";
    ASSERT_TRUE(WaitFor([&] { return watch.Count() == 1 && CFullScreenDialog::ActiveDialog() == nullptr; }, 20000));
    EXPECT_EQ(m_server.Hits("/a"), 1);
    EXPECT_FALSE(Session().IsAutomaticUpdate());
    QTest::qWait(2 * CChannelTreeView::kUpdateWaitMs);
    EXPECT_EQ(watch.Count(), 1) << "once";
}

TEST_F(UpdateFeedsDlgTest, TheRunsMessageBoxHoldsBackDoneCancelAndTheEndUntilItCloses)
{
    WriteTree("");
    CPilot none;
    none.Then([](CFullScreenDialog* dialog) {
        if (dialog != nullptr)
            dialog->PostCommand(ID_CANCEL); // the first-subscription prompt
        return dialog != nullptr;
    });
    StartReader();
    COutline& gone = Feed("/gone", L"Gone"); // 404: a single feed's failure shows a box
    CUpdateFeedsDlg dialog(&Frame(), {&gone}, false, false);
    QString boxText;
    bool heldBack = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !boxText.isEmpty())
            return;
        boxText = box->text();
        // While it is open: Done, Cancel, and the run's own end.
        dialog.PostCommand(ID_DONE);
        dialog.PostCommand(ID_CANCEL);
        PostMessage(dialog.Run().GetWindow(), WM_COMMAND, ID_DONE, 0);
        QTest::qWait(150);
        heldBack = dialog.IsRunning() && dialog.IsMessageBoxOpen() && box->isVisible() &&
                   QGuiApplication::overrideCursor() == nullptr;
        box->button(QMessageBox::Ok) != nullptr ? box->button(QMessageBox::Ok)->click()
                                                 : box->findChild<QPushButton*>(QStringLiteral("ok"))->click();
    });
    poll.start(10);
    const int result = dialog.DoModal();
    EXPECT_EQ(boxText, QStringLiteral("Unsupported URL\n\"") + QString::fromStdWString(Url("/gone")) + "\"");
    EXPECT_TRUE(heldBack) << "the dialog went on while the box was open";
    EXPECT_EQ(result, ID_DONE) << "the end came once the box had closed";
    EXPECT_FALSE(dialog.IsMessageBoxOpen());
}

TEST_F(UpdateFeedsDlgTest, CancelStopsOnceAndBackClosesTheFinishedDialog)
{
    WriteTree("");
    CPilot prompt;
    prompt.Then([](CFullScreenDialog* dialog) {
        if (dialog != nullptr)
            dialog->PostCommand(ID_CANCEL);
        return dialog != nullptr;
    });
    StartReader();
    m_server.SetAnswer("/slow", Stalled(RssDocument("S", "s", 50)));
    COutline& slow = Feed("/slow", L"Slow");
    CUpdateFeedsDlg dialog(&Frame(), {&slow}, false, false);
    QStringList seen;
    CPilot pilot;
    pilot
        .Then([&](CFullScreenDialog* top) {
            if (top != &dialog || !dialog.StatusText()->text().contains(QStringLiteral("Slow")))
                return false;
            EXPECT_FALSE(dialog.SoftKeys()->IsKeyEnabled(CSoftKeyBar::kLeft));
            EXPECT_TRUE(dialog.SoftKeys()->IsKeyEnabled(CSoftKeyBar::kRight));
            dialog.SoftKeys()->PressKey(CSoftKeyBar::kRight);
            EXPECT_FALSE(dialog.SoftKeys()->IsKeyEnabled(CSoftKeyBar::kRight)) << "both keys grey while it stops";
            EXPECT_NE(QGuiApplication::overrideCursor(), nullptr) << "the wait cursor";
            // A second Cancel (the Back key; the soft key is grey) before the
            // run has ended does nothing.
            QTest::keyClick(&dialog, Qt::Key_Escape);
            EXPECT_TRUE(dialog.IsRunning());
            EXPECT_FALSE(dialog.SoftKeys()->IsKeyEnabled(CSoftKeyBar::kLeft));
            EXPECT_NE(QGuiApplication::overrideCursor(), nullptr);
            return true;
        })
        .Then([&](CFullScreenDialog*) {
            if (!dialog.Run().IsFinished())
                return false;
            seen << dialog.StatusText()->text();
            EXPECT_TRUE(dialog.SoftKeys()->IsKeyEnabled(CSoftKeyBar::kLeft));
            EXPECT_FALSE(dialog.SoftKeys()->IsKeyEnabled(CSoftKeyBar::kRight));
            EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
            // Other keys do nothing; Back closes the finished dialog.
            QTest::keyClick(&dialog, Qt::Key_Return);
            EXPECT_TRUE(dialog.IsRunning());
            QTest::keyClick(&dialog, Qt::Key_Escape);
            return true;
        });
    EXPECT_EQ(dialog.DoModal(), ID_CANCEL);
    EXPECT_TRUE(pilot.IsDone());
    EXPECT_EQ(seen, QStringList{QStringLiteral("0/1 feed(s) updated.\nTotal update page: 0\nupdate stopped.\nSelect Done to continue.")});
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(UpdateFeedsDlgTest, ALostNetworkStopsTheRunAndAConnectionThatCannotBeHadEndsItAtOnce)
{
    m_server.SetAnswer("/a", CHttpAnswer::Ok(RssDocument("A", "a", 1)));
    m_server.SetAnswer("/slow", Stalled(RssDocument("S", "s", 50)));
    WriteTree(FeedOutline("A", "/a") + FeedOutline("Slow", "/slow") + FeedOutline("Never", "/never"));
    StartReader();
    CMessageBoxScript boxes;
    QString endText;
    CPilot pilot;
    pilot
        .Then([&](CFullScreenDialog* top) {
            auto* dialog = qobject_cast<CUpdateFeedsDlg*>(top);
            if (dialog == nullptr || !dialog->StatusText()->text().contains(QStringLiteral("Slow")))
                return false;
            // The connection goes down: the frame's status message.
            PostMessage(Frame().GetWindow(), WM_CONNECTION_STATUS, CONNMGR_STATUS_DISCONNECTED, 0);
            return true;
        })
        .Then(OnDialog<CUpdateFeedsDlg>([&](CUpdateFeedsDlg& dialog) {
            ASSERT_TRUE(WaitFor([&] { return dialog.Run().IsFinished(); }, 20000));
            endText = dialog.StatusText()->text();
            dialog.PostCommand(ID_DONE);
        }));
    View().OnCommand(ID_UPDATE_ALL);
    EXPECT_TRUE(pilot.IsDone());
    // The feed after the stalled one may have been fetched ahead; the run
    // stopped before it was merged.
    EXPECT_EQ(StoredFeed(Url("/never")).pageCount, 0) << "the run stopped";
    EXPECT_TRUE(endText.startsWith(QStringLiteral("1/3 feed(s) updated."))) << endText.toStdString();
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, QStringLiteral("The device is disconnected from the network."));
    EXPECT_NE(boxes.Shown()[0].style & MB_TOPMOST, 0u);

    // No network at all: the dialog says so and ends with 2.
    ConnMgrSetNetworkAvailableForTesting(false);
    COutline& a = *Session().Document().outlines.front();
    CUpdateFeedsDlg dialog(&Frame(), {&a}, false, false);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    ASSERT_EQ(boxes.Shown().size(), 2u);
    EXPECT_TRUE(boxes.Shown()[1].text.startsWith(QStringLiteral("Unable to connect.")));
    EXPECT_EQ(dialog.StatusText()->text(), QStringLiteral("Connection failed."));
}

TEST_F(UpdateFeedsDlgTest, TheEndOfASynchronisationUpdatesOnlyWhenAskedAndNothingHoldsTheLock)
{
    m_server.SetAnswer("/a", CHttpAnswer::Ok(RssDocument("A", "a", 1)));
    WriteTree(FeedOutline("A", "/a"));
    StartReader();
    CUpdateDialogWatch watch;
    PostMessage(Frame().GetWindow(), WM_CONNECTED_NOTIFY, 0x10, 0);
    QTest::qWait(200);
    EXPECT_EQ(watch.Count(), 0) << "\"Update after desktop sync\" is off";

    CSetting::Instance().SetUpdateOnConnected(1);
    ASSERT_TRUE(Session().UpdateLock()); // a save, a rename or a move
    PostMessage(Frame().GetWindow(), WM_CONNECTED_NOTIFY, 0x10, 0);
    QTest::qWait(200);
    EXPECT_EQ(watch.Count(), 0) << "the lock is held";
    Session().UpdateUnlock();

    PostMessage(Frame().GetWindow(), WM_CONNECTED_NOTIFY, 0x10, 0);
    ASSERT_TRUE(WaitFor([&] { return watch.Count() == 1 && CFullScreenDialog::ActiveDialog() == nullptr; }, 20000))
        << "an automatic run that closes itself";
    EXPECT_EQ(m_server.Hits("/a"), 1);
    EXPECT_EQ(Entry("A").data().toString(), QStringLiteral("A (1)"));
}
