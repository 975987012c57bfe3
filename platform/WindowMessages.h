#pragma once
// Window messages: how threads reach a window without touching it. A window
// here is a handle with a procedure; it belongs to the thread that created
// it, and every message for it is handled on that thread, in the order sent.
//
//   PostMessage  queues the message and returns at once (any thread).
//   SendMessage  on the owner thread calls the procedure directly; from any
//                other thread it queues the message and blocks until the
//                owner has handled it, returning the procedure's result.
//
// The owner thread handles its queue by pumping it: DispatchPendingMessages,
// or a pumping wait (MsgWaitForMultipleObjects, PumpMessagesUntil). A thread
// that runs another event loop (the Qt shell) installs a wake callback on its
// queue; each message queued for it then calls the callback, from the
// posting thread, and the loop answers by calling DispatchPendingMessages on
// the owner thread.

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>

#include "platform/NamedEvent.h"

using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

// A window handle; the empty handle is "no window". A handle of a destroyed
// window stays invalid for ever (ids are never reused).
struct HWND {
    std::uint64_t id = 0;
    explicit operator bool() const { return id != 0; }
    bool operator==(const HWND&) const = default;
};

inline constexpr UINT WM_COMMAND = 0x0111;                  // wParam = command id
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT WM_UPDATE_DONE = WM_USER + 1;         // update worker -> update dialog
inline constexpr UINT WM_NETWORK_LOST = WM_USER + 3;        // sent: abort downloads
inline constexpr UINT WM_CONNECTED_NOTIFY = WM_USER + 100;  // a desktop synchronisation ended
inline constexpr UINT WM_CONNECTION_STATUS = WM_USER + 101; // wParam = connection status
inline constexpr UINT WM_DOWNLOAD_DONE = 5024;              // wParam = bytes, 0 on failure
inline constexpr UINT WM_DOWNLOAD_PROGRESS = 5025;          // wParam = content length

using WindowProc = std::function<LRESULT(HWND window, UINT message, WPARAM wParam, LPARAM lParam)>;

// A window owned by the calling thread.
HWND CreateMessageWindow(WindowProc procedure);
// Messages still queued for the window are dropped; a thread blocked in
// SendMessage to it returns 0. Safe from any thread, but the procedure may
// still be running on the owner thread when this returns elsewhere.
bool DestroyWindow(HWND window);
bool IsWindow(HWND window);

// False when the window does not exist.
bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// 0 when the window does not exist or is destroyed before it handles the
// message. A sender blocks for as long as the owner does not pump.
LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Handles every message queued for the calling thread's windows, including
// those queued by the procedures themselves meanwhile; returns how many.
size_t DispatchPendingMessages();
// The same within a time budget: returns once the queue is empty (true) or
// the budget is used up (false; the rest stays queued). A thread that runs
// another loop as well dispatches this way, so that threads that keep
// posting cannot hold that loop up.
bool DispatchPendingMessagesFor(std::chrono::milliseconds budget);

// Waits until one of the events is set (WAIT_OBJECT_0 + index) or a message
// arrives for the calling thread (WAIT_OBJECT_0 + events.size()), without
// handling it; WAIT_TIMEOUT when the time runs out.
DWORD MsgWaitForMultipleObjects(std::span<CEvent* const> events, DWORD milliseconds);

// A pumping wait: handles the calling thread's messages until done() is true
// or the time runs out; returns done(). done() is checked after each message
// and on each wake of event (when given), which the caller sets to say
// "look again".
bool PumpMessagesUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                       CEvent* event = nullptr);

// Installs (or, with an empty function, removes) the wake callback of the
// calling thread's queue.
void SetMessageWakeCallback(std::function<void()> wake);
