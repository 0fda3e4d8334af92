// Sleep and wake from logind, against python3-dbusmock's logind on a private
// system bus. The lock's kind and its round trip through sleep and wake are
// checked with the whole agent (AAgentLifecycle); this checks when the lock
// goes.

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

TEST(ALogindPowerMonitor, SleepLockGoesRightAfterTheCallbackAndWithTheMonitor)
{
    AEventLoop loop;
    ARecorder recorder;
    {
        AScopedEnvironment bus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/system_bus_socket");
        EXPECT_EQ(ALogindPowerMonitor::Open(loop, ARecorder::Callback, &recorder), nullptr) << "no system bus";
        APrivateBus system(APrivateBus::AKind::kSystem);
        EXPECT_EQ(ALogindPowerMonitor::Open(loop, ARecorder::Callback, &recorder), nullptr) << "no logind on the bus";
    }
    AStandInLogind logind;
    auto monitor = ALogindPowerMonitor::Open(loop, ARecorder::Callback, &recorder);
    ASSERT_NE(monitor, nullptr);
    recorder.fMonitor = monitor.get();
    EXPECT_TRUE(logind.WaitForInhibitorCount(1));
    EXPECT_FALSE(logind.ListInhibitors().at(0).fWhy.empty());
    // logind waits for the sleep callback: the lock goes only after it.
    logind.EmitPrepareForSleep(true);
    ASSERT_TRUE(loop.RunUntil([&] { return recorder.fMessages.size() == 1; }, 5'000'000));
    EXPECT_EQ(recorder.fMessages[0], std::pair(APowerMessage::kSystemWillSleep, true));
    EXPECT_FALSE(monitor->HoldsSleepLock());
    logind.EmitPrepareForSleep(false);
    ASSERT_TRUE(loop.RunUntil([&] { return recorder.fMessages.size() == 2; }, 5'000'000));
    EXPECT_EQ(recorder.fMessages[1], std::pair(APowerMessage::kSystemHasPoweredOn, false));
    EXPECT_TRUE(logind.WaitForInhibitorCount(1));
    monitor.reset();
    EXPECT_TRUE(logind.WaitForInhibitorCount(0)) << "the monitor gives its lock back as it goes";
}
