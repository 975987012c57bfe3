#include "app/MessageBridge.h"

#include <QCoreApplication>
#include <QObject>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>

#include "platform/WindowMessages.h"

namespace {

// Long enough for many messages, short against a frame's time.
constexpr std::chrono::milliseconds kDispatchBudget{8};

} // namespace

// Receives the queued dispatch. The call is queued by name, so the event
// that carries it is made inside Qt: nothing of the posting thread's making
// crosses to the GUI thread but the message queue, which has a lock of its
// own.
class CBridgeReceiver : public QObject {
    Q_OBJECT
public:
    explicit CBridgeReceiver(std::function<void()> dispatch) : m_dispatch(std::move(dispatch)) {}

public slots:
    void Dispatch() { m_dispatch(); }

private:
    std::function<void()> m_dispatch;
};

// Shared with the wake callback, which a posting thread may still be running
// while the bridge goes away: the receiver is cleared under the lock first.
struct CMessageBridge::CState {
    std::mutex lock;
    QObject* pReceiver = nullptr;
    std::atomic<bool> bScheduled{false};

    void Schedule()
    {
        // One dispatch handles every queued message, so one is enough until
        // it has started.
        if (bScheduled.exchange(true))
            return;
        std::lock_guard guard(lock);
        if (pReceiver != nullptr)
            QMetaObject::invokeMethod(pReceiver, "Dispatch", Qt::QueuedConnection);
    }

    void Dispatch()
    {
        bScheduled = false;
        // A worker that keeps posting (a download's progress) would keep one
        // dispatch going for as long as it posts: the rest waits for the next
        // turn, after what else the loop has to do.
        if (!DispatchPendingMessagesFor(kDispatchBudget))
            Schedule();
    }
};

CMessageBridge::CMessageBridge() : m_pState(std::make_shared<CState>())
{
    m_pState->pReceiver = new CBridgeReceiver([state = m_pState.get()] { state->Dispatch(); });
    std::weak_ptr<CState> weak = m_pState;
    SetMessageWakeCallback([weak] {
        if (const auto state = weak.lock())
            state->Schedule();
    });
    // Messages queued before the bridge existed.
    m_pState->Schedule();
}

CMessageBridge::~CMessageBridge()
{
    SetMessageWakeCallback({});
    QObject* receiver = nullptr;
    {
        std::lock_guard guard(m_pState->lock);
        receiver = std::exchange(m_pState->pReceiver, nullptr);
    }
    delete receiver;
}

#include "MessageBridge.moc"
