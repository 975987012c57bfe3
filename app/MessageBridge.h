#pragma once
// Brings the core's window messages (platform/WindowMessages.h) into the Qt
// event loop of the GUI thread. While the bridge exists, every message
// queued for a window of the GUI thread, from any thread, schedules one
// DispatchPendingMessages on the GUI thread through a queued invocation, so
// the core's windows (the frame's message window, an update run) are served
// by the Qt loop and by every nested loop of a modal dialog. The GUI thread
// never waits in a pumping wait, and each dispatch keeps to a short time
// budget: what is left is dispatched at the next turn of the loop, so input,
// painting and timers keep their turns while a worker keeps posting.
//
// Create it on the GUI thread after the QApplication and before any core
// window of that thread; destroy it on the same thread.

#include <memory>

class CMessageBridge {
public:
    CMessageBridge();
    ~CMessageBridge();
    CMessageBridge(const CMessageBridge&) = delete;
    CMessageBridge& operator=(const CMessageBridge&) = delete;

private:
    struct CState;
    std::shared_ptr<CState> m_pState;
};
