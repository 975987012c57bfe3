#include "views/ResourceMenu.h"

#include <QPointer>

#include "views/ResText.h"

namespace {

// Menus here keep the device's habit of showing accelerator-free labels.
QString MenuLabel(UINT textId) { return ResString(textId).replace(QLatin1Char('&'), QStringLiteral("&&")); }

} // namespace

void AppendMenuItems(QMenu* menu, const std::vector<CMenuItem>& items, const std::function<void(QMenu*)>& onPopup)
{
    if (onPopup)
        onPopup(menu);
    for (const CMenuItem& item : items) {
        switch (item.kind) {
        case CMenuItem::Kind::Separator:
            menu->addSeparator();
            break;
        case CMenuItem::Kind::Popup: {
            QMenu* popup = menu->addMenu(MenuLabel(item.textId));
            AppendMenuItems(popup, item.items, onPopup);
            break;
        }
        case CMenuItem::Kind::Command: {
            QAction* action = menu->addAction(MenuLabel(item.textId));
            action->setData(item.command);
            action->setObjectName(QString::number(item.command));
            break;
        }
        }
    }
}

int CommandOf(const QAction* action)
{
    if (action == nullptr || action->isSeparator() || action->menu() != nullptr)
        return 0;
    return action->data().toInt();
}

QAction* FindMenuCommand(const QMenu* menu, int command)
{
    if (menu == nullptr)
        return nullptr;
    for (QAction* action : menu->actions()) {
        if (QMenu* popup = action->menu()) {
            if (QAction* found = FindMenuCommand(popup, command))
                return found;
        } else if (CommandOf(action) == command) {
            return action;
        }
    }
    return nullptr;
}

bool EnableMenuCommand(QMenu* menu, int command, bool enable)
{
    QAction* action = FindMenuCommand(menu, command);
    if (action != nullptr)
        action->setEnabled(enable);
    return action != nullptr;
}

bool CheckMenuCommand(QMenu* menu, int command, bool check)
{
    QAction* action = FindMenuCommand(menu, command);
    if (action == nullptr)
        return false;
    action->setCheckable(true);
    action->setChecked(check);
    return true;
}

void CheckMenuRadio(QMenu* menu, std::initializer_list<int> commands, int checked)
{
    for (const int command : commands) {
        if (QAction* action = FindMenuCommand(menu, command)) {
            action->setCheckable(true);
            action->setChecked(command == checked);
        }
    }
}

int TrackPopupMenu(UINT menuId, const QPoint& globalPos, QWidget* parent, const std::function<void(QMenu*)>& initPopup)
{
    const CMenuResource* resource = FindMenuResource(menuId);
    if (resource == nullptr || resource->items.empty() || resource->items.front().kind != CMenuItem::Kind::Popup)
        return 0;
    // Not on the stack: the parent owns it, and a parent that goes while
    // the menu runs (its window ended under it) takes it along.
    QPointer<QMenu> menu = new QMenu(parent);
    AppendMenuItems(menu, resource->items.front().items, [&](QMenu* popup) {
        if (initPopup)
            QObject::connect(popup, &QMenu::aboutToShow, popup, [popup, initPopup] { initPopup(popup); });
    });
    QAction* chosen = menu->exec(globalPos);
    const int command = menu != nullptr ? CommandOf(chosen) : 0;
    if (menu != nullptr)
        menu->deleteLater();
    return command;
}
