#pragma once
// What the views and the frame that hosts them know of each other. The frame
// (app/) hands every command to its IFrameClient and gives the client view
// its soft keys, title and commands through IFrameHost: views never reach
// the frame's class, so the include order stays views below app.
#include <QString>

#include "platform/WindowMessages.h"

class QMenu;
class QWidget;
class CSoftKeyBar;

class IFrameClient {
public:
    virtual ~IFrameClient() = default;
    virtual void OnCommand(int id) = 0;
    // Menu-state rules for a popup about to open (a soft-key popup or one of
    // its submenus); only called once IsInitialised() is true.
    virtual void OnInitMenuPopup(QMenu* popup) { (void)popup; }
    virtual bool IsInitialised() const { return true; }
    // True while the client shows a title of its own the frame must keep.
    virtual bool KeepsTitle() const { return false; }
};

class IFrameHost {
public:
    virtual ~IFrameHost() = default;
    // The top-level window: parent of what the client opens, closed to end.
    virtual QWidget* Window() = 0;
    // The soft-key menu bar by number (the main menu bar is 128).
    virtual bool SetMenuBar(UINT menuId) = 0;
    virtual CSoftKeyBar* SoftKeys() const = 0;
    // The set-title operation (while no dialog covers the frame).
    virtual void SetTitle(const QString& title) = 0;
    // A command delivered from the event loop.
    virtual void PostCommand(int id) = 0;
};
