// The bridge from the core's window messages to the Qt loop: a worker that
// keeps posting (a download reporting progress) cannot hold the GUI thread
// in one dispatch; the loop keeps its turns.

#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "GuiTestSupport.h"
#include "app/MessageBridge.h"
#include "platform/WindowMessages.h"

TEST(MessageBridgeTest, AWorkerThatNeverStopsPostingLeavesTheLoopItsTurns)
{
    CMessageBridge bridge;
    std::atomic<int> handled{0};
    // Each message takes longer to handle than the worker takes to post the
    // next: the queue is never empty while the worker runs.
    const HWND window = CreateMessageWindow([&](HWND, UINT, WPARAM, LPARAM) {
        ++handled;
        QThread::usleep(50);
        return LRESULT(0);
    });
    std::atomic<bool> stop{false};
    std::atomic<bool> gaveUp{false};
    std::thread worker([&] {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!stop) {
            if (std::chrono::steady_clock::now() > giveUp) {
                gaveUp = true;
                break;
            }
            PostMessage(window, WM_USER + 50, 0, 0);
            std::this_thread::sleep_for(std::chrono::microseconds(10));
        }
    });
    // Stopped from the GUI thread's own loop: only possible when the loop
    // gets a turn while the messages keep coming.
    QTimer::singleShot(50, [&] { stop = true; });
    EXPECT_TRUE(WaitFor([&] { return stop.load(); }, 15000));
    worker.join();
    EXPECT_FALSE(gaveUp) << "the loop got no turn while the worker posted";
    EXPECT_GT(handled.load(), 0);
    // What was still queued is handled in later turns.
    EXPECT_TRUE(WaitFor([&] { return DispatchPendingMessages() == 0 && handled > 0; }));
    DestroyWindow(window);
}
