// Events: auto- and manual-reset behaviour, waits on several, and named
// events set by another process.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

#include "platform/NamedEvent.h"
#include "support/NetTest.h"

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

class NamedEventTest : public CNetTest {};

} // namespace

TEST(EventTest, AutoResetReleasesOneWaitManualResetReleasesAll)
{
    CEvent automatic;
    ASSERT_TRUE(automatic.Create(false, true));
    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT);

    CEvent manual;
    ASSERT_TRUE(manual.Create(true, false));
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
    manual.Set();
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    manual.Reset();
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
}

TEST(EventTest, OnlyOneOfManyWaitersTakesAnAutoResetEvent)
{
    CEvent event, stop;
    ASSERT_TRUE(event.Create(false, false));
    ASSERT_TRUE(stop.Create(true, false));
    std::atomic<int> taken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i) {
        waiters.emplace_back([&] {
            CEvent* events[] = {&stop, &event};
            if (WaitForMultipleObjects(events, 5000) == WAIT_OBJECT_0 + 1)
                ++taken;
        });
    }
    std::this_thread::sleep_for(50ms);
    event.Set();
    std::this_thread::sleep_for(200ms);
    stop.Set();
    for (auto& waiter : waiters)
        waiter.join();
    EXPECT_EQ(taken, 1);
}

TEST(EventTest, WaitOnSeveralReportsTheFirstSetAndTimesOut)
{
    CEvent first, second;
    ASSERT_TRUE(first.Create(true, false));
    ASSERT_TRUE(second.Create(true, false));
    CEvent* events[] = {&first, &second};
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForMultipleObjects(events, 100), WAIT_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 90ms);
    std::thread setter([&] {
        std::this_thread::sleep_for(50ms);
        second.Set();
    });
    EXPECT_EQ(WaitForMultipleObjects(events, 5000), WAIT_OBJECT_0 + 1);
    setter.join();
    CEvent invalid;
    EXPECT_EQ(WaitForSingleObject(invalid, 0), WAIT_FAILED);
}

TEST_F(NamedEventTest, HoldersOfOneNameShareItsState)
{
    CEvent watcher, setter;
    ASSERT_TRUE(watcher.Create(true, false, L"ConnectedTest"));
    ASSERT_TRUE(setter.Create(true, false, L"ConnectedTest"));
    std::thread([&] {
        std::this_thread::sleep_for(50ms);
        setter.Set();
        setter.Close();
    }).join();
    // The setter has let go; the watcher still holds the event, so it stays set.
    EXPECT_EQ(WaitForSingleObject(watcher, 2000), WAIT_OBJECT_0);
    watcher.Reset();
    EXPECT_EQ(WaitForSingleObject(watcher, 0), WAIT_TIMEOUT);

    // With no holder left, the state is gone.
    watcher.Close();
    CEvent lone;
    ASSERT_TRUE(lone.Create(true, false, L"LoneTest"));
    lone.Set();
    lone.Close();
    ASSERT_TRUE(lone.Create(true, false, L"LoneTest"));
    EXPECT_FALSE(lone.IsSet());
}

TEST_F(NamedEventTest, NamesStayInsideAPrivateFolder)
{
    CEvent event;
    ASSERT_TRUE(event.Create(true, false, L"../../escape\\\\.\\Notifications"));
    const std::string folder = GetNamedEventFolder();
    EXPECT_EQ(folder, HomePath("run/rssreader"));
    EXPECT_FALSE(fs::exists(HomePath("escape")));
    for (const auto& entry : fs::directory_iterator(folder))
        EXPECT_EQ(entry.path().filename().string().find('/'), std::string::npos);

    // A runtime folder others may enter is not trusted; a private one of our
    // own in the temporary folder is used instead.
    ASSERT_EQ(::chmod(HomePath("run").c_str(), 0755), 0);
    const char* original = std::getenv("TMPDIR");
    const std::string saved = original != nullptr ? original : "";
    fs::create_directories(HomePath("tmp"));
    setenv("TMPDIR", HomePath("tmp").c_str(), 1);
    EXPECT_EQ(GetNamedEventFolder(), HomePath("tmp/rssreader-" + std::to_string(::getuid())));
    if (original != nullptr)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");
}

TEST_F(NamedEventTest, ASignalFromOutsideReachesTheHoldersOnly)
{
    EXPECT_EQ(SignalNamedEvent(L"NeverMadeTest"), CEventSignal::NoListener);

    CEvent holder;
    ASSERT_TRUE(holder.Create(true, false, L"SignalTest"));
    EXPECT_EQ(SignalNamedEvent(L"SignalTest"), CEventSignal::Received);
    EXPECT_EQ(SignalNamedEvent(L"SignalTest"), CEventSignal::Received) << "setting a set event is no failure";
    EXPECT_EQ(WaitForSingleObject(holder, 0), WAIT_OBJECT_0);
    holder.Reset();
    EXPECT_FALSE(holder.IsSet()) << "both signals are taken by one reset";

    // The holder has gone; its FIFO stays behind and nobody reads it.
    holder.Close();
    EXPECT_EQ(SignalNamedEvent(L"SignalTest"), CEventSignal::NoListener);
    ASSERT_TRUE(holder.Create(true, false, L"SignalTest"));
    EXPECT_FALSE(holder.IsSet());

    // Something else under an event's name is left alone.
    WriteWholeFile(GetNamedEventFolder() + "/ev-PlantedTest", "");
    EXPECT_EQ(SignalNamedEvent(L"PlantedTest"), CEventSignal::Failed);
    EXPECT_EQ(ReadWholeFile(GetNamedEventFolder() + "/ev-PlantedTest"), "");
}
