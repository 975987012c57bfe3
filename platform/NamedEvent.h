#pragma once
// Events: the objects threads and processes signal each other with. An event
// is set or clear; a manual-reset event stays set until it is reset, an
// auto-reset event is cleared by the one wait it releases.
//
// A named event is shared by every process of the user that opens the same
// name, so another process can set it (the tool's "notify" command does, with
// SignalNamedEvent, which also tells whether anybody held it).
// Off the device a named event is a FIFO in the user's runtime folder
// ($XDG_RUNTIME_DIR/rssreader, else a private folder under $TMPDIR or /tmp) and a byte
// waiting in the pipe means "set". As on the device, the state lives only
// while some process holds the event open: setting a name nobody holds is
// lost. An unnamed event is an eventfd. Both are file descriptors, so one
// poll() waits for several events and for the message queue at once.

#include <cstdint>
#include <span>
#include <string>

using DWORD = std::uint32_t;

inline constexpr DWORD INFINITE = 0xFFFFFFFF;
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

class CEvent {
public:
    CEvent() = default;
    ~CEvent() { Close(); }
    CEvent(CEvent&& other) noexcept;
    CEvent& operator=(CEvent&& other) noexcept;
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    // Creates the event, or opens the named event that another holder made;
    // its state is then kept (initialState true still sets it). False when
    // the name cannot be used or the folder is not the user's own.
    bool Create(bool manualReset, bool initialState, const std::wstring& name = L"");
    void Close();
    bool IsValid() const { return m_fd >= 0; }
    bool IsManualReset() const { return m_bManualReset; }

    bool Set();
    bool Reset();
    // The state, without taking it.
    bool IsSet() const;
    // What a wait does when it finds the event set: an auto-reset event is
    // taken (only one of several waiters gets it), a manual-reset one is left
    // set. True when the caller may go on.
    bool TryAcquire();

    int GetFd() const { return m_fd; }

private:
    int m_fd = -1;
    bool m_bManualReset = false;
    bool m_bNamed = false;
};

// WAIT_OBJECT_0 when the event was set (and taken, for auto-reset),
// WAIT_TIMEOUT when the time ran out first, WAIT_FAILED for an invalid event.
DWORD WaitForSingleObject(CEvent& event, DWORD milliseconds);
// Waits until any one of the events is set: WAIT_OBJECT_0 + its index (the
// lowest index when several are set).
DWORD WaitForMultipleObjects(std::span<CEvent* const> events, DWORD milliseconds);

// Raises a named event from outside, without holding it: the byte is left
// for the processes that hold the event (and wait on it). Nobody holding the
// name means nobody is listening; the signal is then lost, as it is on the
// device. A holder that lets go while we write counts as not listening.
enum class CEventSignal {
    Received,   // some process held the event: it is set for that process
    NoListener, // nobody held it: nothing was set
    Failed,     // no private folder, or the name is not one of our events
};
CEventSignal SignalNamedEvent(const std::wstring& name);

// The folder that holds the named events; created (mode 0700) when missing.
// Empty when no private folder can be had.
std::string GetNamedEventFolder();
