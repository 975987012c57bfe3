#pragma once
// CMainFrame: the one top-level window, shaped like the device's screen
// (480x640 by default, less where the screen is smaller, resizable): a
// title strip, the client view and the soft-key bar. The frame is thin. It owns the client widget it is given
// but none of the client's logic: every command, from the soft keys, their
// popups, PostCommand/SendCommand or a WM_COMMAND posted to its message
// window, goes unchanged to the IFrameClient (the channel tree view, once it
// exists). Before a popup opens the client applies its menu-state rules to
// it through OnInitMenuPopup. The frame's title is string 128; it sets it
// again whenever it becomes the active surface (a dialog over it ended, or
// the window was activated), unless the client keeps its own (move mode).
//
// GetWindow() is the frame's handle for the core's threads: WM_COMMAND
// posted to it becomes a command; every other message goes to the handler
// set with SetMessageHandler (the connection notifications, later).
// A CMessageBridge must exist for those messages to be delivered.

#include <QWidget>
#include <functional>

#include "platform/WindowMessages.h"
#include "resources/ResourceIds.h"
#include "views/FrameHost.h"

class CTitleBar;

class CMainFrame : public QWidget, public IFrameHost {
    Q_OBJECT
public:
    static constexpr QSize kDefaultSize{480, 640};

    CMainFrame();
    ~CMainFrame() override;

    // The frame takes the widget into its client area (and ownership of it);
    // client receives the commands. Either may be null.
    void SetClient(QWidget* view, IFrameClient* client);
    QWidget* ClientView() const { return m_pView; }

    // The soft-key menu bar by number (the main menu bar is 128).
    QWidget* Window() override { return this; }
    bool SetMenuBar(UINT menuId) override;
    CSoftKeyBar* SoftKeys() const override { return m_pSoftKeys; }

    // The set-title operation: title strip, window title (the navigation
    // bar), while no dialog covers the frame.
    void SetTitle(const QString& title) override;
    QString Title() const { return m_strTitle; }

    // Commands: SendCommand delivers now, PostCommand from the event loop.
    void SendCommand(int id);
    void PostCommand(int id) override;

    HWND GetWindow() const { return m_hWnd; }
    void SetMessageHandler(std::function<LRESULT(UINT, WPARAM, LPARAM)> handler);

    // Shows the frame and brings it to the front (a later start asked).
    void BringToFront();

signals:
    void closing();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void OnActivate();
    void OnInitMenuPopup(QMenu* popup);

    CTitleBar* m_pTitleBar = nullptr;
    QWidget* m_pClientArea = nullptr;
    QWidget* m_pView = nullptr;
    CSoftKeyBar* m_pSoftKeys = nullptr;
    IFrameClient* m_pClient = nullptr;
    QString m_strTitle;
    HWND m_hWnd;
    std::function<LRESULT(UINT, WPARAM, LPARAM)> m_messageHandler;
};
