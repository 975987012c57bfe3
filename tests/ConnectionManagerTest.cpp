// The connection manager and its watchers, driven through the named events
// by another process (rssreader-tool notify), and the automatic-update rules.

#include <chrono>
#include <gtest/gtest.h>
#include <vector>

#include "platform/NetworkMonitor.h"
#include "platform/Registry.h"
#include "support/NetTest.h"
#include "support/ToolRunner.h"
#include "update/ConnectionManager.h"
#include "update/UpdateTriggers.h"

using namespace std::chrono_literals;

namespace {

constexpr wchar_t kProbeUrl[] = L"http://www.example.com/";

class ConnectionManagerTest : public CNetTest {
protected:
    void SetUp() override
    {
        CNetTest::SetUp();
        m_hWindow = CreateMessageWindow([this](HWND, UINT message, WPARAM wParam, LPARAM) -> LRESULT {
            m_received.emplace_back(message, wParam);
            return 0;
        });
        ASSERT_TRUE(CConnectionManager::Instance().Init(m_hWindow));
    }

    void TearDown() override
    {
        CConnectionManager::DestroyInstance();
        DestroyWindow(m_hWindow);
        CNetTest::TearDown();
    }

    // Raises the event from another process and handles what gets posted,
    // for up to `wait`; returns the messages.
    std::vector<std::pair<UINT, WPARAM>> Notify(const std::string& which, std::chrono::milliseconds wait = 5s)
    {
        m_received.clear();
        EXPECT_EQ(RunRssReaderTool({"notify", which}).exitCode, 0);
        PumpMessagesUntil([&] { return !m_received.empty(); }, wait);
        return m_received;
    }

    static void SetDesktopCount(DWORD count)
    {
        CRegKey key;
        key.Create(HKEY_LOCAL_MACHINE, L"System\\State\\Connections\\Desktop");
        key.SetDWORDValue(L"Count", count);
    }

    HWND m_hWindow;
    std::vector<std::pair<UINT, WPARAM>> m_received;
};

using Messages = std::vector<std::pair<UINT, WPARAM>>;

} // namespace

TEST_F(ConnectionManagerTest, SyncEndIsReportedOnlyWhileConnected)
{
    CConnectionManager& manager = CConnectionManager::Instance();
    EXPECT_EQ(Notify("sync-end", 500ms), Messages{});

    ASSERT_TRUE(manager.Connect(kProbeUrl));
    EXPECT_NE(manager.GetConnection(), 0u);
    EXPECT_EQ(Notify("sync-end"), (Messages{{WM_CONNECTED_NOTIFY, 16}}));
    // The watcher goes on watching.
    EXPECT_EQ(Notify("sync-end"), (Messages{{WM_CONNECTED_NOTIFY, 16}}));
}

TEST_F(ConnectionManagerTest, NetworkLossIsReportedAndReleasesTheConnection)
{
    CConnectionManager& manager = CConnectionManager::Instance();
    ASSERT_TRUE(manager.Connect(kProbeUrl));
    EXPECT_EQ(Notify("net-disconnect"), (Messages{{WM_CONNECTION_STATUS, 32}}));
    EXPECT_EQ(manager.GetConnection(), 0u);
    EXPECT_FALSE(manager.IsConnected());
    // Nothing left to lose: nothing said.
    EXPECT_EQ(Notify("net-disconnect", 500ms), Messages{});
    // And a new connection can be had.
    EXPECT_TRUE(manager.Connect(kProbeUrl));
}

TEST_F(ConnectionManagerTest, DesktopLinkCountsAsConnectedAndItsAbsenceCostsNothing)
{
    CConnectionManager& manager = CConnectionManager::Instance();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(manager.IsConnected());
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);

    SetDesktopCount(1);
    EXPECT_TRUE(manager.IsConnected());
    EXPECT_TRUE(manager.Connect(kProbeUrl));
    EXPECT_EQ(manager.GetConnection(), 0u); // no need to ask for one
    EXPECT_EQ(Notify("sync-end"), (Messages{{WM_CONNECTED_NOTIFY, 16}}));

    SetDesktopCount(0);
    EXPECT_FALSE(manager.IsConnected());
}

TEST_F(ConnectionManagerTest, NoConnectionWithoutANetwork)
{
    CConnectionManager& manager = CConnectionManager::Instance();
    ASSERT_TRUE(manager.Connect(kProbeUrl));
    ConnMgrSetNetworkAvailableForTesting(false);
    EXPECT_FALSE(manager.IsConnected());
    EXPECT_FALSE(manager.Connect(kProbeUrl));
    EXPECT_EQ(manager.GetConnection(), 0u);
    EXPECT_FALSE(manager.Connect(L""));
    ConnMgrSetNetworkAvailableForTesting(true);
    EXPECT_TRUE(manager.Connect(kProbeUrl));
}

TEST_F(ConnectionManagerTest, ShutdownStopsTheWatchersPromptly)
{
    ASSERT_TRUE(CConnectionManager::Instance().Connect(kProbeUrl));
    const auto started = std::chrono::steady_clock::now();
    CConnectionManager::DestroyInstance();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    EXPECT_EQ(Notify("sync-end", 300ms), Messages{});
}

TEST(NetworkMonitorTest, StartsAndStopsPromptly)
{
    CNetworkMonitor monitor;
    if (!monitor.Start([] {}))
        GTEST_SKIP() << "no route netlink here";
    EXPECT_TRUE(monitor.IsRunning());
    EXPECT_FALSE(monitor.Start([] {}));
    EXPECT_TRUE(CNetworkMonitor::HasDefaultRoute().has_value());
    const auto started = std::chrono::steady_clock::now();
    monitor.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
    EXPECT_FALSE(monitor.IsRunning());
}

class UpdateTriggersTest : public CTempHomeTest {};

TEST_F(UpdateTriggersTest, TimerStartsAnUpdateOnceTheIntervalHasPassedAndNothingIsInTheWay)
{
    SetCurrentTimeForTesting(UtcTimePoint(2026, 3, 1, 12, 0));
    CSetting& setting = CSetting::Instance();
    setting.SetUpdateMethod(CSetting::kUpdateAutomatic);
    setting.SetUpdateInterval(0); // 1 hour
    setting.SetLastUpdatedNow();
    const CTimerTickState idle{false, true, false};

    SetCurrentTimeForTesting(UtcTimePoint(2026, 3, 1, 12, 59, 55));
    EXPECT_FALSE(ShouldUpdateOnTimer(setting, idle));
    SetCurrentTimeForTesting(UtcTimePoint(2026, 3, 1, 13, 0, 5));
    EXPECT_TRUE(ShouldUpdateOnTimer(setting, idle));
    EXPECT_FALSE(ShouldUpdateOnTimer(setting, {true, true, false}));  // an update holds the lock
    EXPECT_FALSE(ShouldUpdateOnTimer(setting, {false, false, false})); // the tree is not there yet
    EXPECT_FALSE(ShouldUpdateOnTimer(setting, {false, true, true}));   // a dialog of the view is open

    // A run moves the baseline: the next one is an interval away.
    setting.SetLastUpdatedNow();
    EXPECT_FALSE(ShouldUpdateOnTimer(setting, idle));
    setting.SetUpdateMethod(CSetting::kUpdateManual);
    SetCurrentTimeForTesting(UtcTimePoint(2026, 3, 2, 12, 0));
    EXPECT_FALSE(ShouldUpdateOnTimer(setting, idle));
}

TEST_F(UpdateTriggersTest, OnlyAnAutomaticRunThatBroughtPagesIsToldAsANotice)
{
    auto result = [](int newPages, CFeedOutcome outcome = CFeedOutcome::Updated) {
        CFeedUpdateResult one;
        one.outcome = outcome;
        one.newPages = newPages;
        return one;
    };
    CSetting& setting = CSetting::Instance();
    EXPECT_EQ(setting.GetNotifyNewPages(), 1u) << "on unless turned off";
    const std::vector<CFeedUpdateResult> three{result(2), result(0), result(5), result(0, CFeedOutcome::Failed)};
    const auto notice = NewPagesNotice(setting, true, three);
    ASSERT_TRUE(notice.has_value());
    EXPECT_EQ(notice->Text(), L"7 new pages in 2 feeds");
    EXPECT_EQ(NewPagesNotice(setting, true, {result(3)})->Text(), L"3 new pages in 1 feed");
    EXPECT_EQ(NewPagesNotice(setting, true, {result(0), result(1)})->Text(), L"1 new page in 1 feed");

    EXPECT_FALSE(NewPagesNotice(setting, false, three)) << "the user who asked sees the dialog";
    EXPECT_FALSE(NewPagesNotice(setting, true, {result(0), result(0, CFeedOutcome::Skipped)}));
    setting.SetNotifyNewPages(0);
    EXPECT_FALSE(NewPagesNotice(setting, true, three));
}
