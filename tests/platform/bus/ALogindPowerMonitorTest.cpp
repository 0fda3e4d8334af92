#include "platform/bus/ALogindPowerMonitor.h"

#include "tests/support/AStandInLogind.h"

#include <gtest/gtest.h>

// The lock's kind and its round trip through sleep and wake are checked with
// the whole agent (AAgentLifecycle); this checks when the lock goes.
TEST(ALogindPowerMonitor, SleepLockGoesRightAfterTheCallbackAndWithTheMonitor)
{
    AEventLoop loop;
    // What the monitor reported, and whether it held its lock meanwhile.
    std::pair<std::vector<std::pair<APowerMessage, bool>>, ALogindPowerMonitor*> seen;
    const auto callback = [](void* refCon, APowerMessage message) {
        auto& [messages, monitor] = *static_cast<decltype(seen)*>(refCon);
        messages.emplace_back(message, monitor != nullptr && monitor->HoldsSleepLock());
    };
    {
        AScopedEnvironment bus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/system_bus_socket");
        EXPECT_EQ(ALogindPowerMonitor::Open(loop, callback, &seen), nullptr) << "no system bus";
        APrivateBus system(APrivateBus::AKind::kSystem);
        EXPECT_EQ(ALogindPowerMonitor::Open(loop, callback, &seen), nullptr) << "no logind on the bus";
    }
    AStandInLogind logind;
    auto monitor = ALogindPowerMonitor::Open(loop, callback, &seen);
    ASSERT_NE(seen.second = monitor.get(), nullptr);
    EXPECT_TRUE(logind.WaitForInhibitorCount(1));
    EXPECT_FALSE(logind.ListInhibitors().at(0).fWhy.empty());
    // logind waits for the sleep callback: the lock goes only after it.
    logind.EmitPrepareForSleep(true);
    ASSERT_TRUE(loop.RunUntil([&] { return seen.first.size() == 1; }, 5'000'000));
    EXPECT_FALSE(monitor->HoldsSleepLock());
    logind.EmitPrepareForSleep(false);
    ASSERT_TRUE(loop.RunUntil([&] { return seen.first.size() == 2; }, 5'000'000));
    EXPECT_EQ(seen.first, (std::vector<std::pair<APowerMessage, bool>>{{APowerMessage::kSystemWillSleep, true},
                                                                       {APowerMessage::kSystemHasPoweredOn, false}}));
    EXPECT_TRUE(logind.WaitForInhibitorCount(1));
    monitor.reset();
    EXPECT_TRUE(logind.WaitForInhibitorCount(0)) << "the monitor gives its lock back as it goes";
}
