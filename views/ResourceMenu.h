#pragma once
// Qt menus built from the menu resources (resources/Menus.h). Each command
// entry is a QAction whose data() is its command id and whose object name is
// the id as text; popups are QMenus owned by their parent menu. The helpers
// below find, grey and check entries by command id, which is how the windows
// apply their menu-state rules when a popup is about to open.

#include <QMenu>
#include <QPoint>
#include <functional>

#include "resources/Menus.h"

// Appends the items to menu. Every QMenu created on the way (menu itself
// included) is passed to onPopup, so the caller can connect aboutToShow.
void AppendMenuItems(QMenu* menu, const std::vector<CMenuItem>& items,
                     const std::function<void(QMenu*)>& onPopup = {});

// The command id of an entry; 0 for none (separator, popup, null).
int CommandOf(const QAction* action);

// The first entry with the command id in the menu or its submenus; nullptr
// when there is none.
QAction* FindMenuCommand(const QMenu* menu, int command);
// False when the menu has no such entry.
bool EnableMenuCommand(QMenu* menu, int command, bool enable);
bool CheckMenuCommand(QMenu* menu, int command, bool check);
// Puts the radio check mark on one of the commands first..last (by id, as
// CheckMenuRadioItem does) and clears it from the others present.
void CheckMenuRadio(QMenu* menu, std::initializer_list<int> commands, int checked);

// Shows the context menu resource (223, 224, 225) at the global point and
// returns the command chosen, or 0 when the menu was dismissed. initPopup is
// called for each popup as it opens.
int TrackPopupMenu(UINT menuId, const QPoint& globalPos, QWidget* parent,
                   const std::function<void(QMenu*)>& initPopup = {});
