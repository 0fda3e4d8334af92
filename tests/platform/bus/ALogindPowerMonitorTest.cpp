// Sleep and wake from logind, against python3-dbusmock's logind on a private
// system bus.

#include "platform/bus/ALogindPowerMonitor.h"

#include "tests/support/AStandInLogind.h"
#include "tests/support/ATestPaths.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct ARecorder {
    std::vector<APowerMessage> fMessages;
    std::vector<bool> fLockHeldDuringCallback;
    ALogindPowerMonitor* fMonitor = nullptr;

    static void Callback(void* refCon, APowerMessage message)
    {
        auto* self = static_cast<ARecorder*>(refCon);
        self->fMessages.push_back(message);
        self->fLockHeldDuringCallback.push_back(self->fMonitor != nullptr && self->fMonitor->HoldsSleepLock());
    }
};

constexpr uint64_t kWaitUsec = 5'000'000;

} // namespace

TEST(ALogindPowerMonitor, WithoutSystemBusThereIsNoMonitor)
{
    ATemporaryFolder folder;
    AScopedEnvironment bus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (folder.Path() / "none").string());
    AEventLoop loop;
    ARecorder recorder;
    EXPECT_EQ(ALogindPowerMonitor::Open(loop, ARecorder::Callback, &recorder), nullptr);
}

TEST(ALogindPowerMonitor, WithoutLogindOnTheSystemBusThereIsNoMonitor)
{
    APrivateBus system(APrivateBus::AKind::kSystem);
    AEventLoop loop;
    ARecorder recorder;
    EXPECT_EQ(ALogindPowerMonitor::Open(loop, ARecorder::Callback, &recorder), nullptr);
}

TEST(ALogindPowerMonitor, HoldsOneDelayLockWhileSetUpAndGivesItBackWhenDestroyed)
{
    AStandInLogind logind;
    AEventLoop loop;
    ARecorder recorder;
    auto monitor = ALogindPowerMonitor::Open(loop, ARecorder::Callback, &recorder);
    ASSERT_NE(monitor, nullptr);
    EXPECT_TRUE(monitor->HoldsSleepLock());
    const auto inhibitors = logind.ListInhibitors();
    ASSERT_EQ(inhibitors.size(), 1u);
    EXPECT_EQ(inhibitors[0].fWhat, "sleep");
    EXPECT_EQ(inhibitors[0].fWho, "Nuvexa Device Controller");
    EXPECT_EQ(inhibitors[0].fMode, "delay");
    EXPECT_FALSE(inhibitors[0].fWhy.empty());

    monitor.reset();
    EXPECT_TRUE(logind.WaitForInhibitorCount(0));
}

TEST(ALogindPowerMonitor, SleepIsAcknowledgedAfterTheCallbackAndWakeTakesANewLock)
{
    AStandInLogind logind;
    AEventLoop loop;
    ARecorder recorder;
    auto monitor = ALogindPowerMonitor::Open(loop, ARecorder::Callback, &recorder);
    ASSERT_NE(monitor, nullptr);
    recorder.fMonitor = monitor.get();

    logind.EmitPrepareForSleep(true);
    ASSERT_TRUE(loop.RunUntil([&] { return recorder.fMessages.size() == 1; }, kWaitUsec));
    EXPECT_EQ(recorder.fMessages[0], APowerMessage::kSystemWillSleep);
    // logind waited for the callback: the lock went only after it.
    EXPECT_TRUE(recorder.fLockHeldDuringCallback[0]);
    EXPECT_FALSE(monitor->HoldsSleepLock());
    EXPECT_TRUE(logind.WaitForInhibitorCount(0));

    logind.EmitPrepareForSleep(false);
    ASSERT_TRUE(loop.RunUntil([&] { return recorder.fMessages.size() == 2; }, kWaitUsec));
    EXPECT_EQ(recorder.fMessages[1], APowerMessage::kSystemHasPoweredOn);
    EXPECT_TRUE(monitor->HoldsSleepLock());
    EXPECT_TRUE(logind.WaitForInhibitorCount(1));
    EXPECT_EQ(logind.CountInhibitCalls(), 2u);
}
