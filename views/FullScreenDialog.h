#pragma once
// The full-screen modal dialog every view and dialog of the shell is made
// of. DoModal covers the whole window of its host (the frame: title,
// client and soft keys) with the dialog's own title strip, client area and
// soft-key bar, greys what lies beneath, runs a nested event loop (timers,
// posted commands and core messages keep running) and returns the command
// id that ended it: ID_DONE (32807) or ID_CANCEL (32804) as a rule, and
// IDCANCEL (2) when OnInitDialog fails. Without a host the dialog is a
// 480x640 window of its own.
//
// Keys and taps:
//   - the Back key (Escape, or the mouse's Back button): in an edit box it
//     edits (deletes the character before the cursor); elsewhere its
//     release sends ID_CANCEL to OnCommand, which ends the dialog unless the
//     window decides otherwise. A release whose press went elsewhere (say,
//     to a message box that just closed) does nothing.
//   - tap-and-hold (right click, or a press held 0.7 s) arrives as a
//     QContextMenuEvent at the widget under the stylus; OnContextMenu gets
//     it when no control takes it.
//   - soft keys: commands go to OnCommand; popups ask OnInitMenuPopup first.
//
// The window's widgets are children of the dialog and live as long as it
// does; the caller owns the dialog object and may reuse it after DoModal.
// Dialogs nest: the one opened last is the active one (ActiveDialog).

#include <QPointer>
#include <QWidget>
#include <vector>

#include "resources/ResourceIds.h"
#include "views/DialogControls.h"

class QEventLoop;
class QMenu;
class QVBoxLayout;
class CSoftKeyBar;
class CTitleBar;

class CFullScreenDialog : public QWidget {
    Q_OBJECT
public:
    // templateId (optional): the dialog template whose title, soft-key menu
    // bar and controls the dialog starts with; its controls are stacked in
    // the client area in template order, where the window may move them.
    explicit CFullScreenDialog(QWidget* host, UINT templateId = 0);
    ~CFullScreenDialog() override;

    int DoModal();
    // Ends the dialog with the result once control returns to its loop (at
    // once when called during OnInitDialog). Later calls are ignored.
    void EndDialog(int result);
    bool IsRunning() const { return m_bRunning; }

    // The set-title operation: the dialog's title strip, its window title,
    // and the top-level window's title while the dialog is the active one.
    void SetTitle(const QString& title);
    QString Title() const { return m_strTitle; }

    // Switches the soft-key menu bar (false when there is no such menu).
    bool SetMenuBar(UINT menuId);
    CSoftKeyBar* SoftKeys() const { return m_pSoftKeys; }
    // Where the window's controls go; it has a QVBoxLayout.
    QWidget* Client() const { return m_pClient; }
    QVBoxLayout* ClientLayout() const { return m_pClientLayout; }
    const CDialogControls& Controls() const { return m_controls; }

    // Queues a command for OnCommand, as a posted WM_COMMAND.
    void PostCommand(int id);

    // The dialog on top, or nullptr when none runs.
    static CFullScreenDialog* ActiveDialog();

signals:
    // After OnInitDialog, when the dialog is on screen and its loop runs.
    void shown();

protected:
    // Set-up before the dialog shows; false ends it with IDCANCEL (2).
    virtual bool OnInitDialog() { return true; }
    // Soft keys, menus and PostCommand. The default ends the dialog on
    // ID_DONE, ID_CANCEL, IDOK and IDCANCEL and ignores the rest.
    virtual void OnCommand(int id);
    virtual void OnInitMenuPopup(QMenu* popup);
    // The dialog became the active one again (a dialog above it ended); the
    // default sets the title again.
    virtual void OnActivate();
    virtual void OnContextMenu(const QPoint& globalPos);

    void contextMenuEvent(QContextMenuEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    static void CloseOpenPopups();
    void Cover();
    void Uncover();
    bool HandleBackKey(QWidget* target, QEvent* event);

    QWidget* m_pHostWindow = nullptr;
    CTitleBar* m_pTitleBar = nullptr;
    QWidget* m_pClient = nullptr;
    QVBoxLayout* m_pClientLayout = nullptr;
    CSoftKeyBar* m_pSoftKeys = nullptr;
    CDialogControls m_controls;
    QString m_strTitle;
    QEventLoop* m_pLoop = nullptr;
    bool m_bRunning = false;
    bool m_bEnded = false;
    int m_nResult = 0;
    bool m_bBackPressed = false;
    std::vector<QPointer<QWidget>> m_disabled;
    QPointer<QWidget> m_pPreviousFocus;
};

// Sets the title of the top-level window that shows the active surface (the
// "navigation bar" of the shell).
void SetNavigationTitle(QWidget* anyWidgetOfWindow, const QString& title);

// The size a new top-level window starts with: the size wanted, cut to the
// room its screen leaves (a large scale factor on a small screen would put
// the soft keys out of reach).
QSize FirstWindowSize(const QWidget* window, QSize wanted);

// Sent to a surface (a dialog or the frame) that is on top again after a
// dialog above it ended.
inline constexpr int kSurfaceActivatedEvent = 1000 + 0x5A; // QEvent::User + 0x5A
