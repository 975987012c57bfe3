// The frame: its title and soft keys from the resources, commands handed to
// the client unchanged from every road (keys, menus, posts, core threads),
// the client's say over popups and the title, and a language file that
// replaces every text the frame and its dialogs show.

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <atomic>
#include <thread>

#include "GuiTestSupport.h"
#include "app/MainFrame.h"
#include "app/MessageBox.h"
#include "app/MessageBridge.h"
#include "views/FullScreenDialog.h"
#include "views/ResourceMenu.h"
#include "views/SoftKeyBar.h"

namespace {

class CRecordingClient : public QWidget, public IFrameClient {
public:
    void OnCommand(int id) override
    {
        commands << id;
        onGuiThread = onGuiThread && QThread::currentThread() == qApp->thread();
    }
    void OnInitMenuPopup(QMenu* popup) override { popups << popup; }
    bool IsInitialised() const override { return initialised; }
    bool KeepsTitle() const override { return keepsTitle; }

    QList<int> commands;
    QList<QMenu*> popups;
    bool initialised = false;
    bool keepsTitle = false;
    bool onGuiThread = true;
};

class MainFrameTest : public CGuiTest {
protected:
    void SetUp() override
    {
        CGuiTest::SetUp();
        m_pFrame = std::make_unique<CMainFrame>();
        m_pFrame->SetMenuBar(IDR_MAIN_MENU);
        m_pClient = new CRecordingClient;
        m_pFrame->SetClient(m_pClient, m_pClient);
        m_pFrame->show();
    }
    void TearDown() override
    {
        m_pFrame.reset();
        CGuiTest::TearDown();
    }

    std::unique_ptr<CMainFrame> m_pFrame;
    CRecordingClient* m_pClient = nullptr;
};

} // namespace

TEST_F(MainFrameTest, EveryCommandReachesTheClientUnchanged)
{
    EXPECT_EQ(m_pFrame->Title(), QStringLiteral("RSS Reader"));
    EXPECT_EQ(m_pFrame->windowTitle(), QStringLiteral("RSS Reader"));
    // The device's shape as far as the screen allows (this one is 800x600):
    // the soft keys never start below its edge.
    const QSize screen = m_pFrame->screen()->availableGeometry().size();
    EXPECT_EQ(m_pFrame->size(), CMainFrame::kDefaultSize.boundedTo(screen));
    EXPECT_LE(m_pFrame->frameGeometry().height(), screen.height());

    CSoftKeyBar* keys = m_pFrame->SoftKeys();
    QTest::mouseClick(keys->Key(CSoftKeyBar::kLeft), Qt::LeftButton);
    FindMenuCommand(keys->KeyMenu(CSoftKeyBar::kRight), ID_UPDATE_ALL)->trigger();
    m_pFrame->SendCommand(4711);
    EXPECT_EQ(m_pClient->commands, (QList<int>{ID_NEW_ITEMS, ID_UPDATE_ALL, 4711}));

    // A posted command waits for the loop, as the start-up command does.
    m_pFrame->PostCommand(ID_INIT_CHANNEL);
    EXPECT_EQ(m_pClient->commands.size(), 3);
    EXPECT_TRUE(WaitFor([&] { return m_pClient->commands.size() == 4; }));
    EXPECT_EQ(m_pClient->commands.back(), ID_INIT_CHANNEL);
}

TEST_F(MainFrameTest, CoreThreadsReachTheFrameThroughItsWindowOnTheGuiThread)
{
    CMessageBridge bridge;
    std::vector<UINT> others;
    m_pFrame->SetMessageHandler([&](UINT message, WPARAM wParam, LPARAM) -> LRESULT {
        others.push_back(message);
        others.push_back(static_cast<UINT>(wParam));
        return 0;
    });
    const HWND window = m_pFrame->GetWindow();
    std::thread worker([window] {
        for (int i = 0; i < 50; ++i)
            PostMessage(window, WM_COMMAND, static_cast<WPARAM>(ID_UPDATE_ALL), 0);
        PostMessage(window, WM_CONNECTION_STATUS, 0x20, 0);
    });
    worker.join();
    EXPECT_TRUE(m_pClient->commands.isEmpty()) << "nothing runs on the worker";
    ASSERT_TRUE(WaitFor([&] { return !others.empty(); }));
    EXPECT_EQ(m_pClient->commands, QList<int>(50, ID_UPDATE_ALL));
    EXPECT_TRUE(m_pClient->onGuiThread);
    EXPECT_EQ(others, (std::vector<UINT>{WM_CONNECTION_STATUS, 0x20}));
}

TEST_F(MainFrameTest, PopupsAskTheClientOnlyOnceItIsInitialised)
{
    CSoftKeyBar* keys = m_pFrame->SoftKeys();
    QMenu* menu = keys->KeyMenu(CSoftKeyBar::kRight);
    keys->PressKey(CSoftKeyBar::kRight);
    ASSERT_TRUE(WaitFor([&] { return menu->isVisible(); }));
    EXPECT_TRUE(m_pClient->popups.isEmpty());
    menu->hide();

    m_pClient->initialised = true;
    keys->PressKey(CSoftKeyBar::kRight);
    ASSERT_TRUE(WaitFor([&] { return menu->isVisible(); }));
    EXPECT_EQ(m_pClient->popups, QList<QMenu*>{menu});
    // The client's greying is what the user sees.
    EnableMenuCommand(m_pClient->popups.front(), ID_UPDATE_ALL, false);
    EXPECT_FALSE(FindMenuCommand(menu, ID_UPDATE_ALL)->isEnabled());
    menu->hide();
}

TEST_F(MainFrameTest, TheFrameTakesItsTitleBackUnlessTheClientKeepsItsOwn)
{
    m_pFrame->SetTitle(QStringLiteral("Move Feed"));
    m_pClient->keepsTitle = true;
    CFullScreenDialog first(m_pFrame.get(), IDD_RENAME);
    QObject::connect(&first, &CFullScreenDialog::shown, [&] { first.EndDialog(ID_CANCEL); });
    first.DoModal();
    QTest::qWait(50);
    EXPECT_EQ(m_pFrame->windowTitle(), QStringLiteral("Move Feed"));

    m_pClient->keepsTitle = false;
    CFullScreenDialog second(m_pFrame.get(), IDD_RENAME);
    QObject::connect(&second, &CFullScreenDialog::shown, [&] { second.EndDialog(ID_CANCEL); });
    second.DoModal();
    EXPECT_TRUE(WaitFor([&] { return m_pFrame->windowTitle() == QStringLiteral("RSS Reader"); }));
    EXPECT_EQ(m_pFrame->Title(), QStringLiteral("RSS Reader"));
}

TEST(LanguageFileTest, TheGermanFileReplacesTheTextsOfFrameMenusDialogsAndBoxes)
{
    const std::string german = QCoreApplication::applicationDirPath().toStdString() + "/rssreader.0407.mui";
    ASSERT_TRUE(LoadResourceModule(german));
    struct CRestore {
        ~CRestore() { UseBuiltInResources(); }
    } restore;

    CMainFrame frame;
    frame.SetMenuBar(IDR_MAIN_MENU);
    EXPECT_EQ(frame.Title(), QStringLiteral("RSS-Reader"));
    EXPECT_EQ(frame.SoftKeys()->KeyText(CSoftKeyBar::kLeft), QStringLiteral("Neu"));
    EXPECT_EQ(frame.SoftKeys()->KeyText(CSoftKeyBar::kRight), QStringLiteral("Menü"));
    EXPECT_EQ(FindMenuCommand(frame.SoftKeys()->KeyMenu(CSoftKeyBar::kRight), ID_APP_EXIT)->text(),
              QStringLiteral("Beenden"));

    CFullScreenDialog dialog(&frame, IDD_ADD_FEED);
    EXPECT_EQ(dialog.Title(), QStringLiteral("Neues Abonnement"));
    EXPECT_EQ(FindControl<QLabel>(&dialog, IDC_URL_LABEL)->text(), QStringLiteral("Feed-URL eingeben:"));
    EXPECT_EQ(dialog.SoftKeys()->KeyText(CSoftKeyBar::kRight), QStringLiteral("Abbrechen"));

    const auto box = CreateMessageBox(nullptr, {QStringLiteral("?"), QStringLiteral("RSS-Reader"), MB_YESNO});
    QStringList buttons;
    for (QAbstractButton* button : box->buttons())
        buttons << button->text();
    EXPECT_EQ(buttons, (QStringList{QStringLiteral("Ja"), QStringLiteral("Nein")}));

    CMessageBoxScript script;
    ShowMessageBox(nullptr, IDS_DISCONNECTED, MB_OK | MB_ICONHAND);
    ASSERT_EQ(script.Shown().size(), 1u);
    EXPECT_EQ(script.Shown().front().caption, QStringLiteral("RSS-Reader"));
    EXPECT_EQ(script.Shown().front().text, QStringLiteral("Das Gerät ist nicht mit dem Netzwerk verbunden."));
}
