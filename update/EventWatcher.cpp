#include "update/EventWatcher.h"

#include "platform/Debug.h"
#include "platform/Unicode.h"

bool CEventWatcher::Start(const std::wstring& eventName, std::function<void()> action)
{
    if (IsRunning())
        return false;
    if (!m_evNamed.Create(true, false, eventName) || !m_evStop.Create(true, false)) {
        DebugLogF("CEventWatcher::Start", "cannot create the event %s", WideToUtf8(eventName).c_str());
        m_evNamed.Close();
        return false;
    }
    m_evNamed.Reset();
    m_strEventName = eventName;
    m_action = std::move(action);
    m_thread = std::thread(&CEventWatcher::Run, this);
    return true;
}

void CEventWatcher::Stop()
{
    if (!IsRunning())
        return;
    m_evStop.Set();
    // The thread only waits and posts, so it always answers the stop; there
    // is nothing to terminate.
    m_thread.join();
    m_evNamed.Close();
    m_evStop.Close();
}

void CEventWatcher::Run()
{
    CEvent* events[] = {&m_evStop, &m_evNamed};
    for (;;) {
        const DWORD woken = WaitForMultipleObjects(events, INFINITE);
        if (woken != WAIT_OBJECT_0 + 1)
            break;
        m_evNamed.Reset();
        m_action();
    }
}
