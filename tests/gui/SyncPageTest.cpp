// The Sync page of the options and the account's folder in the tree, driven
// as a user does: the real window, its Menu by keys, typing, Test, Done,
// Update All; against a real Tiny Tiny RSS server on loopback.
#include <QMenu>
#include <QTabBar>
#include <QTabWidget>

#include "ReaderWindowTestSupport.h"
#include "support/TtRssServer.h"
#include "update/SyncAccount.h"
#include "views/InstallDialogs.h"
#include "views/OptionsSheet.h"
#include "views/ResourceMenu.h"
#include "views/SyncPage.h"
#include "views/UpdateFeedsDlg.h"

namespace {

class SyncPageTest : public CReaderWindowTest {
protected:
    void SetUp() override
    {
        CReaderWindowTest::SetUp();
        // The password goes to the test home's private file, never to a
        // keyring of the desktop the test runs in.
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        TTRSS_OR_SKIP(m_pServer);
        ASSERT_TRUE(m_pServer->Reset());
    }

    void TearDown() override
    {
        if (m_pServer != nullptr)
            m_pServer->Reset();
        CReaderWindowTest::TearDown();
    }

    // The server subscribes to a feed served here, in the category.
    void ServerFeed(const std::string& name, int items, int categoryId)
    {
        m_server.SetAnswer("/" + name, CHttpAnswer::Ok(RssDocument(name, name, items)));
        CSyncError error;
        auto api = m_pServer->Api();
        const auto answer = api->Subscribe(FeedUrl("/" + name), categoryId, error);
        ASSERT_TRUE(answer && answer->code == CSubscribeCode::Added);
        ASSERT_TRUE(api->Call("updateFeed", {{"feed_id", answer->feedId}}, error));
    }

    // Opens the soft key "Menu" and picks the item by its text, with the
    // arrow keys and Enter.
    void ChooseFromMenu(const QString& text)
    {
        Keys()->PressKey(CSoftKeyBar::kRight);
        QMenu* menu = Keys()->KeyMenu(CSoftKeyBar::kRight);
        ASSERT_TRUE(WaitFor([&] { return menu->isVisible(); }));
        for (int step = 0; step < menu->actions().size() + 1; ++step) {
            QTest::keyClick(menu, Qt::Key_Down);
            const QAction* active = menu->activeAction();
            if (active != nullptr && active->text().remove(QLatin1Char('&')) == text) {
                QTest::keyClick(menu, Qt::Key_Return);
                return;
            }
        }
        menu->hide();
        FAIL() << "no menu item " << text.toStdString();
    }

    // Whether a command of the Menu is enabled for the selection.
    bool MenuEnables(int command)
    {
        Keys()->PressKey(CSoftKeyBar::kRight);
        QMenu* menu = Keys()->KeyMenu(CSoftKeyBar::kRight);
        EXPECT_TRUE(WaitFor([&] { return menu->isVisible(); }));
        const QAction* action = FindMenuCommand(menu, command);
        const bool enabled = action != nullptr && action->isEnabled();
        menu->hide();
        return enabled;
    }

    // A pilot step: once the page's login has ended, check and go on.
    static CPilot::CStep WhenTested(std::function<void(COptionsSheet&)> act)
    {
        return [act](CFullScreenDialog* dialog) {
            auto* sheet = qobject_cast<COptionsSheet*>(dialog);
            if (sheet == nullptr || sheet->Sync()->IsBusy())
                return false;
            act(*sheet);
            return true;
        };
    }

    const CTtRssServer* m_pServer = nullptr;
};

} // namespace

TEST_F(SyncPageTest, TheSyncPageLogsInAndUpdateAllFillsTheAccountsFolder)
{
    m_server.SetAnswer("/direct", CHttpAnswer::Ok(RssDocument("Direct", "d", 1)));
    WriteTree(FeedOutline("Direct", "/direct"));
    const auto news = m_pServer->Sql("INSERT INTO ttrss_feed_categories (owner_uid, title) VALUES (1, 'News') RETURNING id");
    ASSERT_TRUE(news.has_value());
    ServerFeed("alpha", 3, std::stoi(*news));
    CTreeDialogs dialogs;
    InstallAllDialogs(dialogs);
    StartReader(std::move(dialogs));

    QString refusal;
    QString place;
    CPilot pilot;
    pilot
        .Then(OnDialog<COptionsSheet>([&](COptionsSheet& sheet) {
            QTabBar* tabs = sheet.Tabs()->tabBar();
            ASSERT_EQ(tabs->tabText(3), QStringLiteral("Sync"));
            QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(3).center());
            CSyncPage* page = sheet.Sync();
            EXPECT_TRUE(page->isVisible());
            EXPECT_NE(page->Place()->text().indexOf(QStringLiteral("downloaded directly")), -1);
            QTest::keyClicks(page->Server(), QString::fromStdString(m_pServer->url));
            QTest::keyClicks(page->User(), QString::fromStdString(m_pServer->user));
            QTest::keyClicks(page->Password(), QStringLiteral("wrong"));
            EXPECT_EQ(page->Password()->echoMode(), QLineEdit::Password);
            QTest::mouseClick(page->TestButton(), Qt::LeftButton);
        }))
        .Then(WhenTested([&](COptionsSheet& sheet) {
            CSyncPage* page = sheet.Sync();
            refusal = page->Status()->text();
            EXPECT_FALSE(LoadSyncAccount().has_value()) << "a refused login stores nothing";
            page->Password()->clear();
            QTest::keyClicks(page->Password(), QString::fromStdString(m_pServer->password));
            QTest::mouseClick(page->TestButton(), Qt::LeftButton);
        }))
        .Then(WhenTested([&](COptionsSheet& sheet) {
            CSyncPage* page = sheet.Sync();
            EXPECT_EQ(page->Status()->text(), QStringLiteral("Logged in: the account is saved."));
            place = page->Place()->text();
            EXPECT_TRUE(page->RemoveButton()->isEnabled());
            sheet.SoftKeys()->PressKey(CSoftKeyBar::kLeft); // Done
        }));
    ChooseFromMenu(QStringLiteral("Options"));
    ASSERT_TRUE(WaitFor([&] { return pilot.IsDone(); }, 40000));
    EXPECT_EQ(refusal, QStringLiteral("The server refused the user name or the password."));
    EXPECT_NE(place.indexOf(QStringLiteral("a file only you can read")), -1) << place.toStdString();
    const std::optional<CSyncAccount> account = LoadSyncAccount();
    ASSERT_TRUE(account.has_value());
    EXPECT_EQ(account->passwordPlace, CSecretPlace::PrivateFile);

    CPilot update;
    update.Then([](CFullScreenDialog* dialog) {
        auto* running = qobject_cast<CUpdateFeedsDlg*>(dialog);
        if (running == nullptr || !running->Run().IsFinished())
            return false;
        running->SoftKeys()->PressKey(CSoftKeyBar::kLeft); // Done
        return true;
    });
    ChooseFromMenu(QStringLiteral("Update All"));
    ASSERT_TRUE(WaitFor([&] { return update.IsDone() && CFullScreenDialog::ActiveDialog() == nullptr; }, 40000));
    const std::string folder = account->FolderName().empty() ? "" : WideToUtf8(account->FolderName());
    ASSERT_TRUE(Entry(QString::fromStdString(folder)).isValid());
    EXPECT_TRUE(Tree()->isExpanded(Entry(QString::fromStdString(folder)))) << "the new folder opens";
    Tree()->expandAll();
    EXPECT_EQ(Shape(), "Direct (1) " + folder + "[News[alpha (3)]]");

    // What the server's API cannot do is greyed in the folder.
    SelectEntry("alpha");
    EXPECT_FALSE(MenuEnables(ID_RENAME));
    EXPECT_FALSE(MenuEnables(ID_MOVE));
    EXPECT_TRUE(MenuEnables(ID_DELETE));
    SelectEntry("News");
    EXPECT_FALSE(MenuEnables(ID_DELETE));
    EXPECT_FALSE(MenuEnables(ID_NEW_FOLDER));
    SelectEntry("Direct");
    EXPECT_TRUE(MenuEnables(ID_RENAME));

    // Marks made in the window reach the server a moment later.
    View().SetCheckInterval(100);
    SelectEntry("alpha");
    View().OnCommand(ID_MARK_READ);
    auto unreadOnServer = [&] {
        CSyncError error;
        const auto feeds = m_pServer->Api()->GetFeeds(error);
        return feeds && feeds->size() == 1 ? feeds->front().unread : -1;
    };
    EXPECT_TRUE(WaitFor([&] { return unreadOnServer() == 0; }, 20000));
}
