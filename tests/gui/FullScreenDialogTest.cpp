// Full-screen dialogs as the user meets them: they cover the frame, end with
// the command that closed them, take the Back key, nest, keep timers and core
// messages running, and turn a held tap into a context menu.

#include <QApplication>
#include <QCheckBox>
#include <QMouseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <atomic>
#include <functional>
#include <thread>

#include "GuiTestSupport.h"
#include "app/MainFrame.h"
#include "app/MessageBridge.h"
#include "views/FullScreenDialog.h"
#include "views/SoftKeyBar.h"
#include "views/TapAndHold.h"

namespace {

class CProbeDialog : public CFullScreenDialog {
public:
    using CFullScreenDialog::CFullScreenDialog;

    std::function<bool()> initialise;
    QList<int> commands;
    QList<QPoint> contextMenus;
    QList<QMenu*> popups;

protected:
    bool OnInitDialog() override { return initialise ? initialise() : true; }
    void OnCommand(int id) override
    {
        commands << id;
        CFullScreenDialog::OnCommand(id);
    }
    void OnContextMenu(const QPoint& globalPos) override { contextMenus << globalPos; }
    void OnInitMenuPopup(QMenu* popup) override { popups << popup; }
};

// Runs the dialog modally with the script played once it shows; a script
// that leaves the dialog running gets it ended, so no test hangs.
int RunScripted(CFullScreenDialog& dialog, const std::function<void()>& script)
{
    QObject::connect(&dialog, &CFullScreenDialog::shown, &dialog, [&dialog, script] {
        script();
        dialog.EndDialog(-1);
    });
    return dialog.DoModal();
}

class FullScreenDialogTest : public CGuiTest {
protected:
    void SetUp() override
    {
        CGuiTest::SetUp();
        m_frame.SetMenuBar(IDR_MAIN_MENU);
        m_pClient = new QLineEdit;
        m_frame.SetClient(m_pClient, nullptr);
        m_frame.show();
    }

    CMainFrame m_frame;
    QLineEdit* m_pClient = nullptr;
};

} // namespace

TEST_F(FullScreenDialogTest, ItCoversTheFrameAndEndsWithTheCommandOfItsSoftKey)
{
    CProbeDialog dialog(&m_frame, IDD_NEW_FOLDER);
    const int result = RunScripted(dialog, [&] {
        EXPECT_EQ(dialog.geometry(), m_frame.rect());
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_FALSE(m_pClient->isEnabled()) << "the frame beneath takes no input";
        EXPECT_EQ(CFullScreenDialog::ActiveDialog(), &dialog);
        EXPECT_EQ(m_frame.windowTitle(), QStringLiteral("New folder"));
        EXPECT_EQ(dialog.SoftKeys()->KeyText(CSoftKeyBar::kLeft), QStringLiteral("Done"));
        // The frame keeps its size to the dialog.
        m_frame.resize(500, 700);
        EXPECT_EQ(dialog.geometry(), m_frame.rect());
        QTest::mouseClick(dialog.SoftKeys()->Key(CSoftKeyBar::kLeft), Qt::LeftButton);
    });
    EXPECT_EQ(result, ID_DONE);
    EXPECT_EQ(dialog.commands, QList<int>{ID_DONE});
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(m_pClient->isEnabled());
    EXPECT_EQ(CFullScreenDialog::ActiveDialog(), nullptr);
    EXPECT_TRUE(WaitFor([&] { return m_frame.windowTitle() == QStringLiteral("RSS Reader"); }));
}

TEST_F(FullScreenDialogTest, ADialogThatCannotInitialiseEndsWithTwoUnseen)
{
    CProbeDialog failing(&m_frame);
    failing.initialise = [] { return false; };
    bool shown = false;
    QObject::connect(&failing, &CFullScreenDialog::shown, [&] { shown = true; });
    EXPECT_EQ(failing.DoModal(), IDCANCEL);
    QTest::qWait(20);
    EXPECT_FALSE(shown);
    EXPECT_TRUE(m_pClient->isEnabled());

    // Ended from its own initialisation: that result, at once.
    CProbeDialog quick(&m_frame);
    quick.initialise = [&] {
        quick.EndDialog(ID_DONE);
        return true;
    };
    EXPECT_EQ(quick.DoModal(), ID_DONE);
}

TEST_F(FullScreenDialogTest, TheBackKeyEditsInAnEditBoxAndCancelsElsewhereOnRelease)
{
    CProbeDialog dialog(&m_frame, IDD_NEW_FOLDER);
    auto* edit = FindControl<QLineEdit>(&dialog, IDC_FOLDER_EDIT);
    auto* check = FindControl<QCheckBox>(&dialog, IDC_CREATE_AT_ROOT);
    ASSERT_TRUE(edit != nullptr && check != nullptr);
    const int result = RunScripted(dialog, [&] {
        edit->setText(QStringLiteral("News"));
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_Escape);
        QTest::keyClick(edit, Qt::Key_Escape);
        EXPECT_EQ(edit->text(), QStringLiteral("Ne"));
        EXPECT_TRUE(dialog.commands.isEmpty());

        check->setFocus();
        // A release whose press went elsewhere does nothing.
        QTest::keyRelease(check, Qt::Key_Escape);
        QTest::keyPress(check, Qt::Key_Escape);
        EXPECT_TRUE(dialog.commands.isEmpty()) << "the press alone does not leave";
        QTest::keyRelease(check, Qt::Key_Escape);
        EXPECT_EQ(dialog.commands, QList<int>{ID_CANCEL});
    });
    EXPECT_EQ(result, ID_CANCEL);
    EXPECT_EQ(edit->text(), QStringLiteral("Ne"));

    // The mouse's Back button is the same key.
    CProbeDialog second(&m_frame, IDD_NEW_FOLDER);
    auto* secondCheck = FindControl<QCheckBox>(&second, IDC_CREATE_AT_ROOT);
    EXPECT_EQ(RunScripted(second,
                          [&] {
                              QTest::mousePress(secondCheck, Qt::BackButton);
                              QTest::mouseRelease(secondCheck, Qt::BackButton);
                          }),
              ID_CANCEL);
}

TEST_F(FullScreenDialogTest, TimersPostedCommandsAndCoreMessagesRunWhileItIsOpen)
{
    CMessageBridge bridge;
    CProbeDialog dialog(&m_frame);
    std::atomic<bool> handledOnGuiThread{false};
    const std::thread::id guiThread = std::this_thread::get_id();
    const HWND window = CreateMessageWindow([&](HWND, UINT message, WPARAM wParam, LPARAM) -> LRESULT {
        if (message == WM_COMMAND) {
            handledOnGuiThread = std::this_thread::get_id() == guiThread;
            dialog.PostCommand(static_cast<int>(wParam));
        }
        return 0;
    });
    bool timerRan = false;
    QTimer::singleShot(30, [&] { timerRan = true; });
    std::thread worker;
    QObject::connect(&dialog, &CFullScreenDialog::shown, [&] {
        worker = std::thread([window] {
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
            PostMessage(window, WM_COMMAND, ID_DONE, 0);
        });
    });
    QTimer::singleShot(10000, &dialog, [&] { dialog.EndDialog(-1); });
    EXPECT_EQ(dialog.DoModal(), ID_DONE);
    worker.join();
    DestroyWindow(window);
    EXPECT_TRUE(timerRan);
    EXPECT_TRUE(handledOnGuiThread);
}

TEST_F(FullScreenDialogTest, DialogsNestAndTheOneBelowTakesItsTitleBack)
{
    CProbeDialog outer(&m_frame);
    outer.SetTitle(QStringLiteral("Outer"));
    CProbeDialog inner(&m_frame);
    inner.SetTitle(QStringLiteral("Inner"));
    int innerResult = 0;
    const int outerResult = RunScripted(outer, [&] {
        innerResult = RunScripted(inner, [&] {
            EXPECT_EQ(CFullScreenDialog::ActiveDialog(), &inner);
            EXPECT_FALSE(outer.isEnabled());
            EXPECT_EQ(m_frame.windowTitle(), QStringLiteral("Inner"));
            inner.setFocus();
            QTest::keyClick(&inner, Qt::Key_Escape);
        });
        EXPECT_EQ(CFullScreenDialog::ActiveDialog(), &outer);
        EXPECT_TRUE(outer.isEnabled());
        EXPECT_TRUE(outer.commands.isEmpty()) << "the inner dialog's Back key stays its own";
        EXPECT_TRUE(WaitFor([&] { return m_frame.windowTitle() == QStringLiteral("Outer"); }));
        outer.PostCommand(ID_DONE);
        WaitFor([&] { return !outer.commands.isEmpty(); });
    });
    EXPECT_EQ(innerResult, ID_CANCEL);
    EXPECT_EQ(outerResult, ID_DONE);
}

TEST_F(FullScreenDialogTest, AHeldTapIsAContextMenuRequestAndAShortTapIsNot)
{
    CProbeDialog dialog(&m_frame);
    auto* target = new QLabel(QStringLiteral("hold me"), dialog.Client());
    dialog.ClientLayout()->addWidget(target);
    RunScripted(dialog, [&] {
        QTest::mousePress(target, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::qWait(100);
        QTest::mouseRelease(target, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::qWait(CTapAndHold::kHoldMilliseconds + 200);
        EXPECT_TRUE(dialog.contextMenus.isEmpty());

        QTest::mousePress(target, Qt::LeftButton, {}, QPoint(5, 5));
        EXPECT_TRUE(WaitFor([&] { return !dialog.contextMenus.isEmpty(); }, 2000));
        QTest::mouseRelease(target, Qt::LeftButton, {}, QPoint(5, 5));
        ASSERT_EQ(dialog.contextMenus.size(), 1);
        EXPECT_EQ(dialog.contextMenus.front(), target->mapToGlobal(QPoint(5, 5)));

        // Moving the stylus away is a drag, not a hold.
        QTest::mousePress(target, Qt::LeftButton, {}, QPoint(5, 5));
        QMouseEvent move(QEvent::MouseMove, QPointF(40, 5), target->mapToGlobal(QPointF(40, 5)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &move);
        QTest::qWait(CTapAndHold::kHoldMilliseconds + 200);
        QTest::mouseRelease(target, Qt::LeftButton, {}, QPoint(40, 5));
        EXPECT_EQ(dialog.contextMenus.size(), 1);
    });
}

TEST_F(FullScreenDialogTest, TheSoftKeyMenuBarSwitchesAtRunTimeAndPopupsAskTheDialog)
{
    CProbeDialog dialog(&m_frame, IDD_SEARCH);
    RunScripted(dialog, [&] {
        CSoftKeyBar* keys = dialog.SoftKeys();
        EXPECT_EQ(keys->KeyText(CSoftKeyBar::kLeft), QStringLiteral("Search"));
        ASSERT_TRUE(dialog.SetMenuBar(IDR_SEARCH_LIST));
        EXPECT_EQ(keys->KeyText(CSoftKeyBar::kLeft), QStringLiteral("Add"));
        keys->PressKey(CSoftKeyBar::kRight);
        ASSERT_TRUE(WaitFor([&] { return !dialog.popups.isEmpty(); }));
        EXPECT_EQ(dialog.popups.front(), keys->KeyMenu(CSoftKeyBar::kRight));
        keys->KeyMenu(CSoftKeyBar::kRight)->hide();
        ASSERT_TRUE(dialog.SetMenuBar(IDR_BUSY));
        keys->PressKey(CSoftKeyBar::kRight);
        EXPECT_EQ(dialog.commands, QList<int>{ID_STOP});
        EXPECT_TRUE(dialog.IsRunning()) << "stopping a search is the window's business";
    });
}

TEST_F(FullScreenDialogTest, AMenuLeftOpenClosesAndTheFocusReturnsToTheWindowWhenItsControlWent)
{
    // A submenu that opened after its menu had ended (a hover's delay)
    // would take every key and tap meant for the dialog.
    QMenu late(&m_frame);
    late.addAction(QStringLiteral("Entry"));
    late.popup(m_frame.mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(WaitFor([&] { return QApplication::activePopupWidget() == &late; }));
    CProbeDialog dialog(&m_frame, IDD_NEW_FOLDER);
    auto* gone = new QLineEdit(&m_frame);
    gone->show();
    gone->setFocus();
    RunScripted(dialog, [&] {
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
        EXPECT_FALSE(late.isVisible());
        delete gone; // the control that had the focus goes while the dialog runs
    });
    ASSERT_TRUE(WaitFor([] { return QApplication::focusWidget() != nullptr; }));
    EXPECT_EQ(QApplication::focusWidget()->window(), &m_frame);
}
