// Sleep and wake from logind, against python3-dbusmock's logind on a private
// system bus.

#include "platform/bus/ALogindPowerMonitor.h"

#include "tests/support/AStandInLogind.h"

#include <gtest/gtest.h>

namespace {

// What the monitor reported, and whether it held its lock meanwhile.
struct ARecorder {
    std::vector<std::pair<APowerMessage, bool>> fMessages;
    ALogindPowerMonitor* fMonitor = nullptr;

    static void Callback(void* refCon, APowerMessage message)
    {
        auto* self = static_cast<ARecorder*>(refCon);
        self->fMessages.emplace_back(message, self->fMonitor != nullptr && self->fMonitor->HoldsSleepLock());
    }
};

} // namespace

TEST(ALogindPowerMonitor, WithoutLogindThereIsNoMonitor)
{
    AEventLoop loop;
    ARecorder recorder;
    {
        AScopedEnvironment bus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/system_bus_socket");
        EXPECT_EQ(ALogindPowerMonitor::Open(loop, ARecorder::Callback, &recorder), nullptr) << "no system bus";
    }
    APrivateBus system(APrivateBus::AKind::kSystem);
    EXPECT_EQ(ALogindPowerMonitor::Open(loop, ARecorder::Callback, &recorder), nullptr) << "no logind on the bus";
}

TEST(ALogindPowerMonitor, HoldsADelayLockThatSleepReleasesAfterTheCallbackAndWakeTakesAgain)
{
    AStandInLogind logind;
    AEventLoop loop;
    ARecorder recorder;
    auto monitor = ALogindPowerMonitor::Open(loop, ARecorder::Callback, &recorder);
    ASSERT_NE(monitor, nullptr);
    recorder.fMonitor = monitor.get();
    const auto inhibitors = logind.ListInhibitors();
    ASSERT_EQ(inhibitors.size(), 1u);
    EXPECT_EQ(inhibitors[0].fWhat + '|' + inhibitors[0].fWho + '|' + inhibitors[0].fMode, "sleep|Nuvexa Device Controller|delay");
    EXPECT_FALSE(inhibitors[0].fWhy.empty());

    // logind waits for the sleep callback: the lock goes only after it.
    logind.EmitPrepareForSleep(true);
    ASSERT_TRUE(loop.RunUntil([&] { return recorder.fMessages.size() == 1; }, 5'000'000));
    EXPECT_EQ(recorder.fMessages[0], std::pair(APowerMessage::kSystemWillSleep, true));
    EXPECT_FALSE(monitor->HoldsSleepLock());
    EXPECT_TRUE(logind.WaitForInhibitorCount(0));

    logind.EmitPrepareForSleep(false);
    ASSERT_TRUE(loop.RunUntil([&] { return recorder.fMessages.size() == 2; }, 5'000'000));
    EXPECT_EQ(recorder.fMessages[1], std::pair(APowerMessage::kSystemHasPoweredOn, false));
    EXPECT_TRUE(monitor->HoldsSleepLock());
    EXPECT_TRUE(logind.WaitForInhibitorCount(1));
    EXPECT_EQ(logind.CountInhibitCalls(), 2u);
    // Destroying the monitor gives its lock back.
    monitor.reset();
    EXPECT_TRUE(logind.WaitForInhibitorCount(0));
}
