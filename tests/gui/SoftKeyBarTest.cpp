// The soft-key bar as the user meets it: key labels, commands, popups that
// ask their owner before they open, greyed keys and entries.

#include <QAction>
#include <QPushButton>
#include <QSignalSpy>

#include "GuiTestSupport.h"
#include "views/ResourceMenu.h"
#include "views/SoftKeyBar.h"

namespace {

class SoftKeyBarTest : public CGuiTest {
protected:
    void SetUp() override
    {
        CGuiTest::SetUp();
        // Low on the screen, so a popup has room above the bar.
        m_bar.setGeometry(0, 400, 480, 34);
        m_bar.show();
        m_bar.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&m_bar));
    }
    void TearDown() override
    {
        for (int key : {CSoftKeyBar::kLeft, CSoftKeyBar::kRight}) {
            if (QMenu* menu = m_bar.KeyMenu(key))
                menu->hide();
        }
        CGuiTest::TearDown();
    }

    QList<int> Commands(const QSignalSpy& spy) const
    {
        QList<int> commands;
        for (const QList<QVariant>& arguments : spy)
            commands << arguments.front().toInt();
        return commands;
    }

    CSoftKeyBar m_bar;
};

} // namespace

TEST_F(SoftKeyBarTest, TheMainMenuBarHasNewAndAMenuWhoseEntriesAreCommands)
{
    ASSERT_TRUE(m_bar.SetMenuBar(IDR_MAIN_MENU));
    EXPECT_EQ(m_bar.KeyText(CSoftKeyBar::kLeft), QStringLiteral("New"));
    EXPECT_EQ(m_bar.KeyText(CSoftKeyBar::kRight), QStringLiteral("Menu"));
    QSignalSpy commands(&m_bar, &CSoftKeyBar::command);
    QSignalSpy popups(&m_bar, &CSoftKeyBar::popupAboutToShow);

    QTest::mouseClick(m_bar.Key(CSoftKeyBar::kLeft), Qt::LeftButton);
    EXPECT_EQ(Commands(commands), QList<int>{ID_NEW_ITEMS});

    // The right key opens its popup, without blocking, above the bar.
    QTest::mouseClick(m_bar.Key(CSoftKeyBar::kRight), Qt::LeftButton);
    QMenu* menu = m_bar.KeyMenu(CSoftKeyBar::kRight);
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(WaitFor([&] { return menu->isVisible(); }));
    EXPECT_EQ(popups.count(), 1);
    EXPECT_EQ(popups.front().front().value<QMenu*>(), menu);
    EXPECT_LE(menu->geometry().bottom(), m_bar.mapToGlobal(QPoint(0, 0)).y());

    QAction* exit = FindMenuCommand(menu, ID_APP_EXIT);
    ASSERT_NE(exit, nullptr);
    EXPECT_EQ(exit->text(), QStringLiteral("Exit"));
    exit->trigger();
    // A command deep in a submenu arrives the same way, with its own id.
    QAction* rename = FindMenuCommand(menu, ID_RENAME);
    ASSERT_NE(rename, nullptr);
    EXPECT_NE(rename->parent(), menu);
    rename->trigger();
    EXPECT_EQ(Commands(commands), (QList<int>{ID_NEW_ITEMS, ID_APP_EXIT, ID_RENAME}));

    // Opening a submenu asks the owner about that submenu too.
    QMenu* edit = qobject_cast<QMenu*>(rename->parent());
    edit->popup(QPoint(0, 0));
    ASSERT_TRUE(WaitFor([&] { return popups.count() == 2; }));
    EXPECT_EQ(popups.at(1).front().value<QMenu*>(), edit);
    edit->hide();
}

TEST_F(SoftKeyBarTest, GreyedKeysAndEntriesDoNothing)
{
    ASSERT_TRUE(m_bar.SetMenuBar(IDR_SEARCH_LIST));
    QSignalSpy commands(&m_bar, &CSoftKeyBar::command);
    m_bar.EnableCommand(ID_ADD, false);
    m_bar.EnableCommand(ID_DONE, false);
    EXPECT_FALSE(m_bar.IsKeyEnabled(CSoftKeyBar::kLeft));
    m_bar.PressKey(CSoftKeyBar::kLeft);
    QTest::keyClick(&m_bar, Qt::Key_F1);
    EXPECT_FALSE(FindMenuCommand(m_bar.KeyMenu(CSoftKeyBar::kRight), ID_DONE)->isEnabled());
    EXPECT_TRUE(FindMenuCommand(m_bar.KeyMenu(CSoftKeyBar::kRight), ID_CANCEL)->isEnabled());
    EXPECT_EQ(commands.count(), 0);

    m_bar.EnableCommand(ID_ADD, true);
    QTest::keyClick(&m_bar, Qt::Key_F1);
    EXPECT_EQ(Commands(commands), QList<int>{ID_ADD});

    // Menu 236: a blank left key that never acts, and Cancel that stops.
    ASSERT_TRUE(m_bar.SetMenuBar(IDR_BUSY));
    EXPECT_EQ(m_bar.KeyText(CSoftKeyBar::kLeft), QString());
    EXPECT_FALSE(m_bar.IsKeyEnabled(CSoftKeyBar::kLeft));
    m_bar.EnableKey(CSoftKeyBar::kLeft, true);
    m_bar.PressKey(CSoftKeyBar::kLeft);
    m_bar.PressKey(CSoftKeyBar::kRight);
    EXPECT_EQ(Commands(commands), (QList<int>{ID_ADD, ID_STOP}));
}

TEST_F(SoftKeyBarTest, SwitchingMenuBarsChangesKeysAndAnUnknownMenuChangesNothing)
{
    ASSERT_TRUE(m_bar.SetMenuBar(IDR_SEARCH_EDIT));
    EXPECT_EQ(m_bar.KeyText(CSoftKeyBar::kLeft), QStringLiteral("Search"));
    EXPECT_EQ(m_bar.KeyCommand(CSoftKeyBar::kLeft), ID_SEARCH);
    ASSERT_TRUE(m_bar.SetMenuBar(IDR_DONE));
    EXPECT_EQ(m_bar.KeyCommand(CSoftKeyBar::kLeft), ID_DONE);
    EXPECT_FALSE(m_bar.Key(CSoftKeyBar::kRight)->isVisible());
    EXPECT_EQ(m_bar.KeyMenu(CSoftKeyBar::kRight), nullptr);

    EXPECT_FALSE(m_bar.SetMenuBar(4242));
    EXPECT_EQ(m_bar.MenuBarId(), IDR_DONE);
    EXPECT_EQ(m_bar.KeyText(CSoftKeyBar::kLeft), QStringLiteral("Done"));
}
