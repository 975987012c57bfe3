#pragma once
// Choosing from a soft key's popup as a user does with the keys: the menu
// opens, Down moves through its entries until the one of that text is
// active, Return takes it (Right opens a submenu, where the walk goes on).
// A command that opens a window runs that window's loop inside the last key
// press: whatever answers the window must already be set to (CPilot).
#include <QAction>
#include <QMenu>
#include <QStringList>

#include "GuiTestSupport.h"
#include "views/SoftKeyBar.h"

// False (and a test failure) when an entry of the path is not there or not
// reachable.
inline bool PickFromSoftKeyMenu(CSoftKeyBar* keys, const QStringList& path, int key = CSoftKeyBar::kRight)
{
    keys->PressKey(key);
    QMenu* menu = keys->KeyMenu(key);
    for (int step = 0; step < path.size(); ++step) {
        if (menu == nullptr || !WaitFor([&] { return menu->isVisible(); })) {
            ADD_FAILURE() << "the menu for " << path[step].toStdString() << " did not open";
            return false;
        }
        QAction* found = nullptr;
        for (int presses = 0; presses <= menu->actions().size() && found == nullptr; ++presses) {
            QTest::keyClick(menu, Qt::Key_Down);
            QAction* active = menu->activeAction();
            if (active != nullptr && active->text().remove(QLatin1Char('&')) == path[step])
                found = active;
        }
        if (found == nullptr || !found->isEnabled()) {
            ADD_FAILURE() << "no enabled entry " << path[step].toStdString();
            menu->hide();
            return false;
        }
        if (found->menu() != nullptr && step + 1 < path.size()) {
            QTest::keyClick(menu, Qt::Key_Right);
            menu = found->menu();
        } else {
            QTest::keyClick(menu, Qt::Key_Return);
        }
    }
    return true;
}
