// Posted and sent messages: delivered on the owner's thread, in order, and
// nobody left waiting on a window that is gone.

#include <atomic>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

#include "platform/WindowMessages.h"

using namespace std::chrono_literals;

namespace {

struct CReceived {
    UINT message;
    WPARAM wParam;
    std::thread::id thread;
};

} // namespace

TEST(WindowMessagesTest, PostedMessagesArriveInOrderOnTheOwnerThread)
{
    std::vector<CReceived> received;
    const HWND window = CreateMessageWindow([&](HWND, UINT message, WPARAM wParam, LPARAM) -> LRESULT {
        received.push_back({message, wParam, std::this_thread::get_id()});
        return 0;
    });
    std::thread poster([&] {
        for (WPARAM i = 0; i < 100; ++i)
            EXPECT_TRUE(PostMessage(window, WM_DOWNLOAD_PROGRESS, i, 0));
        EXPECT_TRUE(PostMessage(window, WM_DOWNLOAD_DONE, 0, 0));
    });
    EXPECT_TRUE(PumpMessagesUntil([&] { return !received.empty() && received.back().message == WM_DOWNLOAD_DONE; },
                                  10s));
    poster.join();
    ASSERT_EQ(received.size(), 101u);
    for (WPARAM i = 0; i < 100; ++i) {
        EXPECT_EQ(received[i].wParam, i);
        EXPECT_EQ(received[i].thread, std::this_thread::get_id());
    }
    DestroyWindow(window);
}

TEST(WindowMessagesTest, SendFromAnotherThreadWaitsForTheOwnersAnswer)
{
    std::atomic<bool> handled{false};
    const HWND window = CreateMessageWindow([&](HWND, UINT message, WPARAM wParam, LPARAM) -> LRESULT {
        handled = true;
        return message == WM_NETWORK_LOST ? static_cast<LRESULT>(wParam * 2) : 0;
    });
    auto answer = std::async(std::launch::async, [&] { return SendMessage(window, WM_NETWORK_LOST, 21, 0); });
    // Not pumped yet: the sender is still waiting.
    EXPECT_EQ(answer.wait_for(100ms), std::future_status::timeout);
    EXPECT_FALSE(handled);
    EXPECT_TRUE(PumpMessagesUntil([&] { return handled.load(); }, 10s));
    EXPECT_EQ(answer.get(), 42);

    // On the owner's own thread the procedure is called at once.
    EXPECT_EQ(SendMessage(window, WM_NETWORK_LOST, 5, 0), 10);
    DestroyWindow(window);
}

TEST(WindowMessagesTest, AGoneWindowRefusesPostsAndReleasesSenders)
{
    const HWND window = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 1; });
    auto answer = std::async(std::launch::async, [&] { return SendMessage(window, WM_USER, 0, 0); });
    EXPECT_EQ(answer.wait_for(100ms), std::future_status::timeout);
    EXPECT_TRUE(DestroyWindow(window));
    ASSERT_EQ(answer.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(answer.get(), 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(PostMessage(window, WM_USER, 0, 0));
    EXPECT_FALSE(PostMessage(HWND{}, WM_USER, 0, 0));
    EXPECT_EQ(DispatchPendingMessages(), 0u);
}

TEST(WindowMessagesTest, WindowsOfAnEndedThreadGoWithIt)
{
    HWND window;
    std::thread([&] { window = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 1; }); })
        .join();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(SendMessage(window, WM_USER, 0, 0), 0);
}

TEST(WindowMessagesTest, WakeCallbackLetsAnotherLoopDeliver)
{
    // The owner thread runs a loop of its own that only learns of messages
    // through the wake callback, as the GUI shell's event loop will.
    std::atomic<int> wakes{0};
    std::atomic<int> handled{0};
    std::promise<HWND> created;
    std::atomic<bool> quit{false};
    std::thread owner([&] {
        const HWND window = CreateMessageWindow([&](HWND, UINT, WPARAM, LPARAM) -> LRESULT {
            ++handled;
            return 0;
        });
        CEvent wake;
        wake.Create(false, false);
        SetMessageWakeCallback([&] {
            ++wakes;
            wake.Set();
        });
        created.set_value(window);
        while (!quit) {
            if (WaitForSingleObject(wake, 50) == WAIT_OBJECT_0)
                DispatchPendingMessages();
        }
        SetMessageWakeCallback({});
        DestroyWindow(window);
    });
    const HWND window = created.get_future().get();
    EXPECT_TRUE(PostMessage(window, WM_USER, 0, 0));
    EXPECT_EQ(SendMessage(window, WM_USER, 0, 0), 0);
    EXPECT_EQ(handled, 2);
    EXPECT_GE(wakes, 2);
    quit = true;
    owner.join();
}

TEST(WindowMessagesTest, MessageWaitWakesForAMessageOrAnEvent)
{
    const HWND window = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    CEvent event;
    ASSERT_TRUE(event.Create(false, false));
    CEvent* events[] = {&event};
    EXPECT_EQ(MsgWaitForMultipleObjects(events, 0), WAIT_TIMEOUT);

    std::thread([&] { PostMessage(window, WM_USER, 0, 0); }).join();
    EXPECT_EQ(MsgWaitForMultipleObjects(events, 2000), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(DispatchPendingMessages(), 1u);
    EXPECT_EQ(MsgWaitForMultipleObjects(events, 0), WAIT_TIMEOUT);

    std::thread([&] { event.Set(); }).join();
    EXPECT_EQ(MsgWaitForMultipleObjects(events, 2000), WAIT_OBJECT_0);
    DestroyWindow(window);
}
