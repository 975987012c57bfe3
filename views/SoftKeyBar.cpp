#include "views/SoftKeyBar.h"

#include <QAction>
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>

#include "resources/Menus.h"
#include "views/ResText.h"
#include "views/ResourceMenu.h"

namespace {

constexpr int kBarHeight = 34;

} // namespace

CSoftKeyBar::CSoftKeyBar(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("softkeys"));
    setAttribute(Qt::WA_StyledBackground);
    setFixedHeight(kBarHeight);
    setStyleSheet(QStringLiteral(
        "CSoftKeyBar { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #4a505a, stop:1 #1c2026);"
        " border-top: 1px solid #6b7380; }"
        "QPushButton { color: white; background: transparent; border: none; font-weight: bold;"
        " padding: 0 14px; min-width: 96px; }"
        "QPushButton:pressed { background: rgba(255, 255, 255, 40); }"
        "QPushButton:disabled { color: #7d838c; }"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int key : {kLeft, kRight}) {
        auto* button = new QPushButton(this);
        button->setObjectName(key == kLeft ? QStringLiteral("softkey-left") : QStringLiteral("softkey-right"));
        button->setFocusPolicy(Qt::NoFocus);
        button->setFlat(true);
        button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
        connect(button, &QPushButton::clicked, this, [this, key] { PressKey(key); });
        m_keys[key] = button;
        if (key == kRight)
            layout->addStretch(1);
        layout->addWidget(button);
        auto* shortcut = new QShortcut(QKeySequence(key == kLeft ? Qt::Key_F1 : Qt::Key_F2), this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, key] {
            if (isVisible())
                PressKey(key);
        });
    }
}

bool CSoftKeyBar::SetMenuBar(UINT menuId)
{
    const CMenuResource* resource = FindMenuResource(menuId);
    if (resource == nullptr)
        return false;
    m_nMenuId = menuId;
    for (int key : {kLeft, kRight}) {
        if (QMenu* old = m_menus[key]) {
            // The bar is often switched by a command of its own popup, while
            // the popup is still delivering it: the popup is let go, mute,
            // and goes once control is back in the loop.
            old->hide();
            old->disconnect(this);
            for (QObject* child : old->findChildren<QObject*>())
                child->disconnect(this);
            old->deleteLater();
        }
        m_menus[key] = nullptr;
        m_commands[key] = 0;
        QPushButton* button = m_keys[key];
        if (key >= static_cast<int>(resource->items.size())) {
            button->setText(QString());
            button->setEnabled(false);
            button->setVisible(false);
            continue;
        }
        const CMenuItem& item = resource->items[key];
        button->setVisible(true);
        button->setText(item.textId != 0 ? ResString(item.textId) : QString());
        if (item.kind == CMenuItem::Kind::Popup) {
            auto* menu = new QMenu(this);
            menu->setObjectName(button->objectName() + QStringLiteral("-menu"));
            AppendMenuItems(menu, item.items, [this](QMenu* popup) {
                connect(popup, &QMenu::aboutToShow, this, [this, popup] { emit popupAboutToShow(popup); });
            });
            for (QAction* action : menu->findChildren<QAction*>()) {
                if (const int id = CommandOf(action))
                    connect(action, &QAction::triggered, this, [this, id] { emit command(id); });
            }
            m_menus[key] = menu;
            button->setEnabled(true);
        } else {
            m_commands[key] = item.command;
            // A blank key (menu 236's left) only holds its place.
            button->setEnabled(item.command != 0);
        }
    }
    return true;
}

void CSoftKeyBar::EnableCommand(int command, bool enable)
{
    for (int key : {kLeft, kRight}) {
        if (m_commands[key] == command && command != 0)
            m_keys[key]->setEnabled(enable);
        if (m_menus[key] != nullptr) {
            for (QAction* action : m_menus[key]->findChildren<QAction*>()) {
                if (CommandOf(action) == command)
                    action->setEnabled(enable);
            }
        }
    }
}

void CSoftKeyBar::EnableKey(int key, bool enable) { m_keys[key]->setEnabled(enable); }

bool CSoftKeyBar::IsKeyEnabled(int key) const { return m_keys[key]->isVisible() && m_keys[key]->isEnabled(); }

QString CSoftKeyBar::KeyText(int key) const { return m_keys[key]->text(); }

int CSoftKeyBar::KeyCommand(int key) const { return m_commands[key]; }

void CSoftKeyBar::PressKey(int key)
{
    if (!m_keys[key]->isEnabled() || !m_keys[key]->isVisible())
        return;
    if (QMenu* menu = m_menus[key]) {
        // Above the key, flush with the bar's edge on the key's side.
        const QSize size = menu->sizeHint();
        QPoint corner = m_keys[key]->mapToGlobal(QPoint(0, 0));
        if (key == kRight)
            corner.rx() += m_keys[key]->width() - size.width();
        corner.ry() -= size.height();
        menu->popup(corner);
        return;
    }
    if (m_commands[key] != 0)
        emit command(m_commands[key]);
}
