#pragma once
// The soft-key bar at the bottom of the frame and of every full-screen
// dialog: a left and a right key, built from a menu resource (its first
// entry is the left key, its second the right). A key is a command, which it
// emits when pressed, or a popup, which it opens above itself; the commands
// of the popup are emitted the same way. Before any popup (or submenu) opens,
// popupAboutToShow lets the owner grey and check its entries. F1 and F2 press
// the left and right key while the bar's window has the focus.
//
// The bar owns its keys and popups; switching the menu bar (SetMenuBar)
// rebuilds them, so texts follow the resource module in force at that time.
// A popup replaced by a switch is deleted later, from the event loop: the
// switch may come from a command of that very popup.

#include <QMenu>
#include <QWidget>
#include <array>

#include "resources/ResourceIds.h"

class QPushButton;

class CSoftKeyBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kLeft = 0;
    static constexpr int kRight = 1;

    explicit CSoftKeyBar(QWidget* parent = nullptr);

    // False (and the bar left as it was) when there is no such menu.
    bool SetMenuBar(UINT menuId);
    UINT MenuBarId() const { return m_nMenuId; }

    // Greys or enables every key and popup entry with the command id.
    void EnableCommand(int command, bool enable);
    void EnableKey(int key, bool enable);
    bool IsKeyEnabled(int key) const;
    QString KeyText(int key) const;
    // The command of a command key; 0 for a popup or blank key.
    int KeyCommand(int key) const;
    QPushButton* Key(int key) const { return m_keys[key]; }
    // The popup of a popup key; nullptr otherwise.
    QMenu* KeyMenu(int key) const { return m_menus[key]; }

    // What a tap on the key does: emits its command or opens its popup
    // (without blocking). Nothing when the key is greyed.
    void PressKey(int key);

signals:
    void command(int id);
    void popupAboutToShow(QMenu* popup);

private:
    UINT m_nMenuId = 0;
    std::array<QPushButton*, 2> m_keys{};
    std::array<QMenu*, 2> m_menus{};
    std::array<int, 2> m_commands{};
};
