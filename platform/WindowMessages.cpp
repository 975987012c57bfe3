#include "platform/WindowMessages.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace {

// What a thread blocked in SendMessage waits for.
struct CSentReply {
    std::mutex mutex;
    std::condition_variable answered;
    bool bDone = false;
    LRESULT result = 0;

    void Answer(LRESULT value)
    {
        std::lock_guard lock(mutex);
        result = value;
        bDone = true;
        answered.notify_all();
    }
};

struct CQueuedMessage {
    HWND window;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::shared_ptr<CSentReply> reply; // set for SendMessage
};

// One queue per thread that owns windows.
class CThreadQueue {
public:
    CThreadQueue() { m_evWaiting.Create(true, false); }

    void Push(CQueuedMessage message)
    {
        std::function<void()> wake;
        {
            std::lock_guard lock(m_mutex);
            m_messages.push_back(std::move(message));
            m_evWaiting.Set();
            wake = m_wake;
        }
        // Outside the lock: the callback may well post or dispatch itself.
        if (wake)
            wake();
    }

    bool Pop(CQueuedMessage& message)
    {
        std::lock_guard lock(m_mutex);
        if (m_messages.empty()) {
            m_evWaiting.Reset();
            return false;
        }
        message = std::move(m_messages.front());
        m_messages.pop_front();
        if (m_messages.empty())
            m_evWaiting.Reset();
        return true;
    }

    // Takes the window's messages out, so no sender waits on a window that
    // will never answer.
    void Drop(HWND window)
    {
        std::vector<std::shared_ptr<CSentReply>> senders;
        {
            std::lock_guard lock(m_mutex);
            std::erase_if(m_messages, [&](const CQueuedMessage& message) {
                if (message.window != window)
                    return false;
                if (message.reply)
                    senders.push_back(message.reply);
                return true;
            });
            if (m_messages.empty())
                m_evWaiting.Reset();
        }
        for (const auto& sender : senders)
            sender->Answer(0);
    }

    void SetWake(std::function<void()> wake)
    {
        std::lock_guard lock(m_mutex);
        m_wake = std::move(wake);
    }

    CEvent& WaitingEvent() { return m_evWaiting; }

private:
    std::mutex m_mutex;
    std::deque<CQueuedMessage> m_messages;
    CEvent m_evWaiting; // set while messages wait
    std::function<void()> m_wake;
};

struct CWindowEntry {
    std::shared_ptr<CThreadQueue> queue;
    std::shared_ptr<WindowProc> procedure;
};

std::mutex g_windowsMutex;
std::unordered_map<std::uint64_t, CWindowEntry> g_windows;
std::atomic<std::uint64_t> g_nextWindowId{1};

bool FindWindow(HWND window, CWindowEntry& entry)
{
    std::lock_guard lock(g_windowsMutex);
    const auto found = g_windows.find(window.id);
    if (found == g_windows.end())
        return false;
    entry = found->second;
    return true;
}

// The calling thread's queue. When the thread ends its windows go with it,
// as they would on the device, so nothing waits on a dead owner.
struct CQueueOwner {
    std::shared_ptr<CThreadQueue> queue = std::make_shared<CThreadQueue>();
    ~CQueueOwner()
    {
        std::vector<HWND> windows;
        {
            std::lock_guard lock(g_windowsMutex);
            for (const auto& [id, entry] : g_windows) {
                if (entry.queue == queue)
                    windows.push_back(HWND{id});
            }
        }
        for (HWND window : windows)
            DestroyWindow(window);
    }
};

const std::shared_ptr<CThreadQueue>& CurrentQueue()
{
    thread_local CQueueOwner owner;
    return owner.queue;
}

} // namespace

HWND CreateMessageWindow(WindowProc procedure)
{
    const HWND window{g_nextWindowId++};
    std::lock_guard lock(g_windowsMutex);
    g_windows[window.id] = {CurrentQueue(), std::make_shared<WindowProc>(std::move(procedure))};
    return window;
}

bool DestroyWindow(HWND window)
{
    CWindowEntry entry;
    {
        std::lock_guard lock(g_windowsMutex);
        const auto found = g_windows.find(window.id);
        if (found == g_windows.end())
            return false;
        entry = std::move(found->second);
        g_windows.erase(found);
    }
    entry.queue->Drop(window);
    return true;
}

bool IsWindow(HWND window)
{
    std::lock_guard lock(g_windowsMutex);
    return g_windows.contains(window.id);
}

bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWindowEntry entry;
    if (!FindWindow(window, entry))
        return false;
    entry.queue->Push({window, message, wParam, lParam, nullptr});
    return true;
}

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWindowEntry entry;
    if (!FindWindow(window, entry))
        return 0;
    if (entry.queue == CurrentQueue())
        return (*entry.procedure)(window, message, wParam, lParam);
    auto reply = std::make_shared<CSentReply>();
    entry.queue->Push({window, message, wParam, lParam, reply});
    // The window may have gone between the look-up and the push; its
    // messages were dropped before ours arrived, so nobody would answer.
    if (!IsWindow(window))
        entry.queue->Drop(window);
    std::unique_lock lock(reply->mutex);
    reply->answered.wait(lock, [&] { return reply->bDone; });
    return reply->result;
}

namespace {

// Handles queued messages of the calling thread until the queue is empty or
// more() says stop; true when the queue was emptied.
bool DispatchWhile(size_t& handled, const std::function<bool()>& more)
{
    const auto& queue = CurrentQueue();
    CQueuedMessage message;
    while (queue->Pop(message)) {
        LRESULT result = 0;
        CWindowEntry entry;
        if (FindWindow(message.window, entry) && entry.queue == queue)
            result = (*entry.procedure)(message.window, message.message, message.wParam, message.lParam);
        if (message.reply)
            message.reply->Answer(result);
        ++handled;
        if (more && !more())
            return false;
    }
    return true;
}

} // namespace

size_t DispatchPendingMessages()
{
    size_t handled = 0;
    DispatchWhile(handled, {});
    return handled;
}

bool DispatchPendingMessagesFor(std::chrono::milliseconds budget)
{
    const auto deadline = std::chrono::steady_clock::now() + budget;
    size_t handled = 0;
    return DispatchWhile(handled, [deadline] { return std::chrono::steady_clock::now() < deadline; });
}

DWORD MsgWaitForMultipleObjects(std::span<CEvent* const> events, DWORD milliseconds)
{
    std::vector<CEvent*> all(events.begin(), events.end());
    all.push_back(&CurrentQueue()->WaitingEvent());
    return WaitForMultipleObjects(all, milliseconds);
}

bool PumpMessagesUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout, CEvent* event)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    std::vector<CEvent*> events;
    if (event != nullptr)
        events.push_back(event);
    for (;;) {
        DispatchPendingMessages();
        if (done())
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        if (MsgWaitForMultipleObjects(events, static_cast<DWORD>(std::min<long long>(left, INFINITE - 1))) ==
            WAIT_TIMEOUT)
            return done();
    }
}

void SetMessageWakeCallback(std::function<void()> wake) { CurrentQueue()->SetWake(std::move(wake)); }
