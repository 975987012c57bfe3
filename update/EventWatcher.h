#pragma once
// A thread that waits for one named event and runs an action each time it is
// set. The event is manual-reset; the watcher clears it before the action,
// so a set that arrives while the action runs is seen, not lost.

#include <functional>
#include <string>
#include <thread>

#include "platform/NamedEvent.h"

class CEventWatcher {
public:
    CEventWatcher() = default;
    ~CEventWatcher() { Stop(); }
    CEventWatcher(const CEventWatcher&) = delete;
    CEventWatcher& operator=(const CEventWatcher&) = delete;

    // Opens (or creates) the named event, clears whatever state it had (a
    // signal from before we watched is no news of now), and starts the thread.
    bool Start(const std::wstring& eventName, std::function<void()> action);
    // Ends the thread and waits for it; an action in progress finishes first.
    void Stop();
    bool IsRunning() const { return m_thread.joinable(); }
    const std::wstring& GetEventName() const { return m_strEventName; }

private:
    void Run();

    std::wstring m_strEventName;
    CEvent m_evNamed;
    CEvent m_evStop; // private to the process: no other program may stop us
    std::function<void()> m_action;
    std::thread m_thread;
};
