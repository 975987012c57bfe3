#pragma once
// The user's path through the windows: menus opened the way the user opens
// them (F1 and F2 are the soft keys; holding the stylus still opens the
// context menu) and entries picked by their text with the keys, through the
// open popup, never by calling the command.
//
// A pick chooses its last entry from a zero timer, after the walk has
// returned: the command then runs (and any window it opens waits in its
// loop) outside the caller, so a CPilot step can pick and the steps after it
// go on answering the windows the command opened.

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <memory>

#include "ReaderWindowTestSupport.h"
#include "views/ReportList.h"

// The popup on top: a soft-key menu, a context menu or one of their
// submenus; nullptr when none is open.
inline QMenu* OpenPopup() { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }

// An entry's label as the user reads it (menus show "&" doubled).
inline QString EntryLabel(const QAction* action)
{
    QString text = action->text();
    return text.replace(QStringLiteral("&&"), QStringLiteral("&"));
}

// The widget that takes keys in the window on top.
inline QWidget* KeyTarget()
{
    if (QWidget* focus = QApplication::focusWidget())
        return focus;
    return QApplication::activeWindow();
}

// The offscreen platform leaves the activation with a popup that has
// closed, or with no window once that popup is destroyed (a desktop's
// window manager gives it back to the window below): the window on top is
// activated again, as there.
inline bool IsActivationLost()
{
    QWidget* active = QApplication::activeWindow();
    return QApplication::activePopupWidget() == nullptr &&
           (active == nullptr || !active->isVisible() || qobject_cast<QMenu*>(active) != nullptr);
}
inline void ActivateAsAWindowManagerWould()
{
    if (!IsActivationLost())
        return;
    QWidget* top = QApplication::activeModalWidget();
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (top == nullptr && widget->isVisible() && qobject_cast<CMainFrame*>(widget) != nullptr)
            top = widget;
    }
    if (top != nullptr)
        top->activateWindow();
}

// What is on top, for a walk that stopped.
inline std::string DescribeTop()
{
    auto name = [](const QObject* object) {
        return object != nullptr ? std::string(object->metaObject()->className()) + " \"" +
                                       object->objectName().toStdString() + "\""
                                 : std::string("none");
    };
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    return (box != nullptr ? "box \"" + box->text().toStdString() + "\", " : std::string()) + "active window " +
           name(QApplication::activeWindow()) + ", popup " + name(QApplication::activePopupWidget()) +
           ", modal " + name(QApplication::activeModalWidget()) + ", dialog " + name(CFullScreenDialog::ActiveDialog()) +
           ", focus " + name(QApplication::focusWidget());
}

// Presses a soft key with its hardware key: F1 the left one, F2 the right.
inline void PressSoftKeyByKey(bool right)
{
    if (QWidget* target = KeyTarget())
        QTest::keyClick(target, right ? Qt::Key_F2 : Qt::Key_F1);
}

// Every entry picked so far, as "window: path", for the record.
inline QStringList& WalkedEntries()
{
    static QStringList walked;
    return walked;
}

// The window on top, by its class: a dialog, or the tree.
inline QString TopWindowName()
{
    CFullScreenDialog* dialog = CFullScreenDialog::ActiveDialog();
    return dialog != nullptr ? QString::fromLatin1(dialog->metaObject()->className()) : QStringLiteral("CChannelTreeView");
}

// Walks the open popup down the path with the keys: Down until the entry
// with the text is the active one (greyed entries are passed over, so a
// greyed entry is never reached), Right into a submenu, and Return on the
// last entry from a zero timer. False, with the reason and every popup
// closed, when an entry cannot be reached.
inline bool PickInPopup(const QStringList& path, QString* why = nullptr)
{
    auto fail = [why](const QString& reason) {
        if (why != nullptr)
            *why = reason;
        while (QMenu* open = OpenPopup())
            open->close();
        return false;
    };
    for (qsizetype step = 0; step < path.size(); ++step) {
        QMenu* menu = OpenPopup();
        if (menu == nullptr)
            return fail(QStringLiteral("no popup open for \"%1\"").arg(path[step]));
        const qsizetype tries = menu->actions().size() + 1;
        for (qsizetype press = 0; press < tries; ++press) {
            if (menu->activeAction() != nullptr && EntryLabel(menu->activeAction()) == path[step])
                break;
            QTest::keyClick(menu, Qt::Key_Down);
        }
        QAction* entry = menu->activeAction();
        if (entry == nullptr || EntryLabel(entry) != path[step])
            return fail(QStringLiteral("\"%1\" is greyed or missing").arg(path[step]));
        if (step + 1 < path.size()) {
            if (entry->menu() == nullptr)
                return fail(QStringLiteral("\"%1\" has no submenu").arg(path[step]));
            QTest::keyClick(menu, Qt::Key_Right);
            continue;
        }
        WalkedEntries() << path.join(QStringLiteral(" > "));
        QTimer::singleShot(0, menu, [menu = QPointer<QMenu>(menu)] {
            if (menu != nullptr)
                QTest::keyClick(menu, Qt::Key_Return);
        });
    }
    return true;
}

// ---- Pilot steps (ReaderWindowTestSupport.h) ----------------------------------

// A step whose input acts from a zero timer: it counts as taken one tick
// later, so the step after it never runs in the same turn of the loop as
// that input (the command, and a context menu's loop returning to run it,
// come first).
inline CPilot::CStep OneTickLater(CPilot::CStep step)
{
    auto taken = std::make_shared<bool>(false);
    return [step, taken](CFullScreenDialog* dialog) {
        if (*taken)
            return true;
        *taken = step(dialog);
        return false;
    };
}

// Opens a soft key's popup with its hardware key and picks the path in it:
// {"Menu", "Edit", "Rename"}. A one-entry path presses a command key by its
// text ({"Done"}), F1 or F2 as the key shows it. Waits while a popup is
// still open over the window, and until the key shows and is enabled (a
// key that never does stalls the walk, which the test reports).
inline CPilot::CStep SoftKeyPath(QStringList path)
{
    return OneTickLater([path](CFullScreenDialog* dialog) {
        if (OpenPopup() != nullptr || QApplication::activeModalWidget() != nullptr)
            return false;
        if (IsActivationLost()) {
            ActivateAsAWindowManagerWould();
            return false;
        }
        CSoftKeyBar* keys = dialog != nullptr ? dialog->SoftKeys()
                                              : qobject_cast<CMainFrame*>(QApplication::activeWindow()) != nullptr
                                                    ? qobject_cast<CMainFrame*>(QApplication::activeWindow())->SoftKeys()
                                                    : nullptr;
        if (keys == nullptr)
            return false;
        // Until the key shows (the window that has it is still opening).
        const bool right = keys->KeyText(CSoftKeyBar::kRight) == path.front();
        if (!right && keys->KeyText(CSoftKeyBar::kLeft) != path.front())
            return false;
        if (!keys->IsKeyEnabled(right ? CSoftKeyBar::kRight : CSoftKeyBar::kLeft))
            return false; // greyed for now
        if (path.size() == 1) {
            WalkedEntries() << TopWindowName() + QStringLiteral(": ") + path.front();
            // A command key acts from the loop, as a tap does.
            QTimer::singleShot(0, keys, [right] { PressSoftKeyByKey(right); });
            return true;
        }
        const QString window = TopWindowName();
        PressSoftKeyByKey(right);
        QString why;
        EXPECT_TRUE(PickInPopup(path.mid(1), &why)) << path.join(QStringLiteral(" > ")).toStdString() << ": "
                                                    << why.toStdString();
        if (why.isEmpty())
            WalkedEntries().last() = window + QStringLiteral(": ") + path.join(QStringLiteral(" > "));
        return true;
    });
}

// Presses the stylus on a point of a widget and holds it there: the context
// menu opens after the hold (then PopupPath picks in it).
struct CHeld {
    QPointer<QWidget> widget;
    QPoint at;
};
inline CHeld& HeldStylus()
{
    static CHeld held;
    return held;
}
inline CPilot::CStep Hold(std::function<std::pair<QWidget*, QPoint>()> where)
{
    return [where](CFullScreenDialog*) {
        if (OpenPopup() != nullptr || QApplication::activeModalWidget() != nullptr)
            return false;
        const auto [widget, at] = where();
        if (widget == nullptr)
            return false;
        HeldStylus() = {widget, at};
        QTest::mousePress(widget, Qt::LeftButton, {}, at);
        return true;
    };
}

// Once a popup shows, lifts a held stylus and picks the path in the popup.
inline CPilot::CStep PopupPath(QStringList path)
{
    return OneTickLater([path](CFullScreenDialog*) {
        if (OpenPopup() == nullptr)
            return false;
        CHeld& held = HeldStylus();
        if (held.widget != nullptr)
            QTest::mouseRelease(held.widget, Qt::LeftButton, {}, held.at);
        held = {};
        const QString window = TopWindowName();
        QString why;
        EXPECT_TRUE(PickInPopup(path, &why)) << path.join(QStringLiteral(" > ")).toStdString() << ": "
                                             << why.toStdString();
        if (why.isEmpty())
            WalkedEntries().last() = window + QStringLiteral(": context menu > ") + path.join(QStringLiteral(" > "));
        return true;
    });
}

// A key to the widget with the focus, from the loop.
inline CPilot::CStep Key(Qt::Key key)
{
    return OneTickLater([key](CFullScreenDialog*) {
        if (OpenPopup() != nullptr)
            return false;
        if (IsActivationLost()) {
            ActivateAsAWindowManagerWould();
            return false;
        }
        QTimer::singleShot(0, qApp, [key] {
            if (QWidget* target = KeyTarget())
                QTest::keyClick(target, key);
        });
        return true;
    });
}

// Runs once nothing but the frame is open (every dialog and popup closed).
inline CPilot::CStep AtTree(std::function<void()> act)
{
    return [act](CFullScreenDialog* dialog) {
        if (dialog != nullptr || OpenPopup() != nullptr || QApplication::activeModalWidget() != nullptr)
            return false;
        act();
        return true;
    };
}


// Waits until the condition holds (no popup open).
inline CPilot::CStep Until(std::function<bool()> condition)
{
    return [condition](CFullScreenDialog*) { return OpenPopup() == nullptr && condition(); };
}

// Runs the check as the next thing, once no popup is open.
inline CPilot::CStep Check(std::function<void()> check)
{
    return [check](CFullScreenDialog*) {
        if (OpenPopup() != nullptr)
            return false;
        check();
        return true;
    };
}

// Answers the message box on top with its button ("yes", "no", "ok"),
// tapped; expects its text when one is given.
inline CPilot::CStep AnswerBox(const char* button, QString text = {})
{
    return [button, text](CFullScreenDialog*) {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return false;
        if (!text.isEmpty())
            EXPECT_EQ(box->text().toStdString(), text.toStdString());
        auto* answer = box->findChild<QPushButton*>(QString::fromLatin1(button));
        EXPECT_NE(answer, nullptr) << button;
        if (answer != nullptr)
            QTest::mouseClick(answer, Qt::LeftButton);
        return true;
    };
}

// Types into an edit of the dialog on top, as the user does: the old text
// selected and typed over.
inline CPilot::CStep TypeInto(int control, QString text)
{
    return [control, text](CFullScreenDialog* dialog) {
        if (dialog == nullptr || OpenPopup() != nullptr)
            return false;
        auto* edit = dialog->Controls().Get<QLineEdit>(control);
        if (edit == nullptr || !edit->isEnabled())
            return false;
        edit->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, text);
        return true;
    };
}

// Moves the selection of a list of the dialog on top to the row with the
// text, with Home and Down.
inline CPilot::CStep ChooseRow(int control, QString text)
{
    return [control, text](CFullScreenDialog* dialog) {
        if (dialog == nullptr || OpenPopup() != nullptr)
            return false;
        auto* list = dialog->Controls().Get<CReportList>(control);
        if (list == nullptr || !list->isEnabled() || list->GetItemCount() == 0)
            return false;
        list->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(list, Qt::Key_Home);
        for (int row = 0; row < list->GetItemCount() && list->ItemText(list->GetSelectedRow(), 0) != text; ++row)
            QTest::keyClick(list, Qt::Key_Down);
        EXPECT_EQ(list->ItemText(list->GetSelectedRow(), 0).toStdString(), text.toStdString());
        return true;
    };
}

// Waits for a dialog of type T for which the condition holds, then acts.
template <class T> CPilot::CStep InWhen(std::function<bool(T&)> ready, std::function<void(T&)> act)
{
    return [ready, act](CFullScreenDialog* dialog) {
        auto* wanted = qobject_cast<T*>(dialog);
        if (wanted == nullptr || OpenPopup() != nullptr || !ready(*wanted))
            return false;
        act(*wanted);
        return true;
    };
}

// ---- The walk: a table of menu paths and what follows each ------------------

// "Menu > Edit > Rename" goes through the right soft key's popup, "hold >
// Rename" through the context menu of what the table's stylus holds, and a
// single name ("Done") is a command key.
struct CWalkRow {
    const char* path;
    std::vector<CPilot::CStep> then;
};

inline void AddRows(CPilot& pilot, const std::vector<CWalkRow>& rows,
                    const std::function<std::pair<QWidget*, QPoint>()>& stylus = {})
{
    for (const CWalkRow& row : rows) {
        const QStringList path = QString::fromUtf8(row.path).split(QStringLiteral(" > "));
        if (path.front() == QLatin1String("hold")) {
            pilot.Then(Hold(stylus)).Then(PopupPath(path.mid(1)));
        } else {
            pilot.Then(SoftKeyPath(path));
        }
        for (const CPilot::CStep& step : row.then)
            pilot.Then(step);
    }
}

// Closes the window on top over the frame the way a termination signal
// does (a popup, a message box, a dialog); called from a timer until none
// is left, since closing one lets the code under it go on (and open more).
inline void CloseTopWindowOverTheFrame()
{
    if (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
    else if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
        box->reject();
    else if (CFullScreenDialog* dialog = CFullScreenDialog::ActiveDialog())
        dialog->EndDialog(IDCANCEL);
}

// Plays the pilot until it is done and every window it opened has closed.
// A walk that stops (no step taken for the time given) fails with what is
// on top, and every window is closed, so the test's own loop gets control
// back.
inline bool PlayPilot(CPilot& pilot, int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    size_t remaining = pilot.Remaining();
    bool stopped = false;
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        if (pilot.Remaining() != remaining) {
            remaining = pilot.Remaining();
            clock.restart();
        }
        if (stopped)
            CloseTopWindowOverTheFrame();
        if (stopped || clock.elapsed() < milliseconds || pilot.IsDone())
            return;
        stopped = true;
        ADD_FAILURE() << "the walk stopped after " << WalkedEntries().size() << " entries ("
                      << (WalkedEntries().isEmpty() ? std::string() : WalkedEntries().last().toStdString())
                      << "); " << DescribeTop();
        pilot.Abandon();
    });
    watchdog.start(100);
    while (!(pilot.IsDone() && CFullScreenDialog::ActiveDialog() == nullptr && OpenPopup() == nullptr &&
             QApplication::activeModalWidget() == nullptr)) {
        QTest::qWait(10);
    }
    return !stopped;
}
