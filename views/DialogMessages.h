#pragma once
// What the feed dialogs share: showing the core's messages (values with a
// text id, arguments and a style) in message boxes, and a message window of
// the GUI thread whose messages (a download's end, the loss of the network)
// reach a dialog through a callback.
//
// A dialog that reacts to WM_NETWORK_LOST names its message window in the
// dynamic property "messageWindow" (the window's id as a quint64), so the
// frame can send the message to the dialog on top.
#include <QObject>
#include <functional>
#include <vector>

#include "platform/WindowMessages.h"
#include "resources/ViewMessage.h"

class QWidget;

inline constexpr char kMessageWindowProperty[] = "messageWindow";

// One box per message, in order. style, when not 0, replaces each
// message's icon (the add-feed dialog shows every box with the stop icon).
void ShowViewMessages(QWidget* parent, const std::vector<CViewMessage>& messages, UINT iconOverride = 0);
int ShowViewMessage(QWidget* parent, const CViewMessage& message);

// A window of the core's message system owned by a Qt object: created on
// the GUI thread, destroyed with the object. A CMessageBridge must exist for
// its messages to be delivered.
class CDialogMessageWindow {
public:
    using Handler = std::function<void(UINT message, WPARAM wParam, LPARAM lParam)>;
    // Names the window on owner (kMessageWindowProperty).
    CDialogMessageWindow(QObject* owner, Handler handler);
    ~CDialogMessageWindow();
    CDialogMessageWindow(const CDialogMessageWindow&) = delete;
    CDialogMessageWindow& operator=(const CDialogMessageWindow&) = delete;

    HWND Get() const { return m_hWnd; }

private:
    HWND m_hWnd;
};
