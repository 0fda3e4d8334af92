// The agent's lifetime: Setup and Detach (twice in a row, and again), sleep
// and wake through a stand-in logind, and a store that cannot be read.

#include "tests/support/AAgentHarness.h"
#include "tests/support/AStandInLogind.h"

#include "platform/bus/ALogindPowerMonitor.h"
#include "platform/ports/AMessagePort.h"
#include "prefs/APrefController.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

using AHandle = AStandInHIDBackend::AHandle;

bool ServesPorts()
{
    return ARemoteMessagePort::Create("MouseListPort") != nullptr &&
           ARemoteMessagePort::Create("MouseClickPort") != nullptr &&
           ARemoteMessagePort::Create("KeyStrokePort") != nullptr;
}

bool ServesNoPort()
{
    return ARemoteMessagePort::Create("MouseListPort") == nullptr &&
           ARemoteMessagePort::Create("MouseClickPort") == nullptr &&
           ARemoteMessagePort::Create("KeyStrokePort") == nullptr;
}

size_t CountOpenDescriptors()
{
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                             std::filesystem::directory_iterator()));
}

// Counts "NuvexaPreferences" on a connection of its own.
struct ADeviceChangeCounter {
    explicit ADeviceChangeCounter(AEventLoop& loop) : fCenter(&loop)
    {
        fCenter.AddObserver(
            this, [](ADistributedNotificationCenter*, void* self, std::string_view, std::string_view) {
                ++static_cast<ADeviceChangeCounter*>(self)->fCount;
            },
            "NuvexaPreferences", std::nullopt);
    }
    ADistributedNotificationCenter fCenter;
    int fCount = 0;
};

const std::string kKeyA = "KEY_A down, SYN_REPORT, KEY_A up, SYN_REPORT";

} // namespace

TEST(AAgentLifecycle, DetachGivesEverythingUpOnceAndSetupBuildsItAgain)
{
    AAgentHarness agent;
    agent.WriteMapping(MappingXml({{"rfmouse", 0, {{4, "keystroke", "0"}}}}));
    agent.Start();
    const AHandle first = agent.AttachDevice(kProductRFMouse);
    const AHandle second = agent.AttachDevice(kProductPresenter);
    EXPECT_TRUE(ServesPorts());
    EXPECT_NE(agent.Manager().GetIOHIDSystemPort(), nullptr);
    // Setup again while set up opens nothing twice.
    EXPECT_TRUE(agent.Manager().Setup());
    EXPECT_EQ(agent.Manager().GetNumHIDDevices(), 2);
    EXPECT_EQ(agent.CountOpenedKeyboards(), 1);

    EXPECT_TRUE(agent.Manager().Detach());
    EXPECT_TRUE(agent.Manager().Detach());
    EXPECT_EQ(agent.Manager().GetNumHIDDevices(), 0);
    EXPECT_EQ(agent.HID().GetOpenConnectionCount(first), 0u);
    EXPECT_EQ(agent.HID().GetOpenConnectionCount(second), 0u);
    EXPECT_EQ(agent.Manager().GetIOHIDSystemPort(), nullptr);
    EXPECT_TRUE(ServesNoPort());
    // The store stays.
    ASSERT_NE(agent.Manager().GetPrefController(), nullptr);
    EXPECT_NE(agent.Manager().GetDevice(kDeviceRFMouse), nullptr);

    // Every registration pair is safe twice.
    ADeviceManager& manager = agent.Manager();
    manager.RegisterPrefListHandler();
    manager.RegisterPrefListHandler();
    EXPECT_NE(ARemoteMessagePort::Create("MouseListPort"), nullptr);
    manager.UnregisterPrefListHandler();
    manager.UnregisterPrefListHandler();
    manager.RegisterKeyStrokeHandler();
    manager.UnregisterKeyStrokeHandler();
    manager.UnregisterKeyStrokeHandler();
    manager.RegisterMouseClickHandler();
    manager.UnregisterMouseClickHandler();
    manager.UnregisterMouseClickHandler();
    manager.RegisterIOHIDSystemPort();
    manager.RegisterIOHIDSystemPort();
    EXPECT_EQ(agent.CountOpenedKeyboards(), 2);
    manager.UnregisterIOHIDSystemPort();
    manager.UnregisterIOHIDSystemPort();
    manager.RegisterPrefNotification();
    manager.UnregisterPrefNotification();
    manager.UnregisterPrefNotification();
    EXPECT_TRUE(ServesNoPort());

    // Set up again from scratch: the devices present are opened anew and
    // presses act again.
    EXPECT_TRUE(manager.Setup());
    EXPECT_EQ(manager.GetNumHIDDevices(), 2);
    EXPECT_TRUE(ServesPorts());
    ASSERT_TRUE(agent.Press(first, AAgentHarness::kButton5));
    EXPECT_TRUE(agent.RunUntil([&] { return agent.KeyEventsText() == kKeyA; })) << agent.KeyEventsText();
}

TEST(AAgentLifecycle, WhileDetachedTheReloadNotificationIsNotObserved)
{
    AAgentHarness agent;
    agent.WriteMapping(MappingXml({{"rfmouse", 0, {{4, "keystroke", "0"}}}}));
    agent.Start();
    agent.Manager().Detach();
    agent.WriteMapping(MappingXml({{"rfmouse", 0, {{4, "keystroke", "11"}}}}));
    ADistributedNotificationCenter observer(&agent.Loop());
    bool barrier = false;
    observer.AddObserver(
        &barrier, [](ADistributedNotificationCenter*, void* flag, std::string_view, std::string_view) {
            *static_cast<bool*>(flag) = true;
        },
        "Barrier", std::nullopt);
    agent.Notifications().PostNotification("NuvexaAgent", "PrefChange");
    agent.Notifications().PostNotification("Barrier", std::nullopt);
    ASSERT_TRUE(agent.RunUntil([&] { return barrier; }));
    EXPECT_EQ(agent.Manager().GetPrefController()->GetEvent(kDeviceRFMouse, 4)->GetLaunchArg(), "0");
}

TEST(AAgentLifecycle, SleepClosesEverythingAndWakeOpensItAgain)
{
    AStandInLogind logind;
    AAgentHarness agent;
    agent.WriteMapping(MappingXml({{"rfmouse", 0, {{4, "keystroke", "0"}}}}));
    ADeviceChangeCounter changes(agent.Loop());
    agent.Start([&](ADeviceManager& manager) -> std::unique_ptr<APowerMonitor> {
        return ALogindPowerMonitor::Open(agent.Loop(), ADeviceManager::PowerManagementCallback, &manager);
    });
    const AHandle mouse = agent.AttachDevice(kProductRFMouse);
    agent.AttachDevice(kProductPresenter);
    ASSERT_TRUE(agent.RunUntil([&] { return changes.fCount == 2; }));  // one per arrival
    ASSERT_TRUE(logind.WaitForInhibitorCount(1));
    const auto locks = logind.ListInhibitors();
    ASSERT_EQ(locks.size(), 1u);
    EXPECT_EQ(locks[0].fWhat, "sleep");
    EXPECT_EQ(locks[0].fMode, "delay");
    EXPECT_EQ(locks[0].fWho, "Nuvexa Device Controller");

    logind.EmitPrepareForSleep(true);
    ASSERT_TRUE(agent.RunUntil([&] { return changes.fCount == 3; }));
    EXPECT_EQ(agent.Manager().GetNumHIDDevices(), 0);
    EXPECT_EQ(agent.HID().GetOpenConnectionCount(mouse), 0u);
    EXPECT_TRUE(ServesNoPort());
    EXPECT_TRUE(logind.WaitForInhibitorCount(0));  // the acknowledgement

    logind.EmitPrepareForSleep(false);
    ASSERT_TRUE(agent.RunUntil([&] { return agent.Manager().GetNumHIDDevices() == 2 && changes.fCount == 4; }));
    EXPECT_TRUE(ServesPorts());
    EXPECT_TRUE(logind.WaitForInhibitorCount(1));
    EXPECT_EQ(logind.CountInhibitCalls(), 2u);
    ASSERT_TRUE(agent.Press(mouse, AAgentHarness::kButton5));
    EXPECT_TRUE(agent.RunUntil([&] { return agent.KeyEventsText() == kKeyA; })) << agent.KeyEventsText();
}

TEST(AAgentLifecycle, AHundredSleepsLeakNoDescriptor)
{
    AStandInLogind logind;
    AAgentHarness agent;
    agent.Start([&](ADeviceManager& manager) -> std::unique_ptr<APowerMonitor> {
        return ALogindPowerMonitor::Open(agent.Loop(), ADeviceManager::PowerManagementCallback, &manager);
    });
    agent.AttachDevice(kProductRFMouse);
    agent.AttachDevice(kProductBTMouse);
    const auto cycle = [&] {
        logind.EmitPrepareForSleep(true);
        if (!agent.RunUntil([&] { return agent.Manager().GetNumHIDDevices() == 0; }))
            return false;
        logind.EmitPrepareForSleep(false);
        return agent.RunUntil([&] { return agent.Manager().GetNumHIDDevices() == 2; });
    };
    ASSERT_TRUE(cycle());  // anything made once, on the first cycle, is made before counting
    const size_t before = CountOpenDescriptors();
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(cycle()) << i;
    EXPECT_EQ(CountOpenDescriptors(), before);
    EXPECT_TRUE(logind.WaitForInhibitorCount(1));
    EXPECT_EQ(logind.CountInhibitCalls(), 102u);
}

TEST(AAgentLifecycle, AStoreThatCannotBeReadLeavesDefaultsAndIsReportedOncePerFailure)
{
    AAgentHarness agent;
    WriteWholeFile(agent.ConfigFolder() / "Nuvexa", "a file where the folder belongs");
    agent.Start();
    EXPECT_EQ(agent.Manager().GetPrefController(), nullptr);
    ASSERT_EQ(agent.Alerts().size(), 1u);
    EXPECT_EQ(agent.Alerts()[0].fTitle, "Nuvexa Device Controller");
    EXPECT_NE(agent.Alerts()[0].fMessage.find("Could not locate config file"), std::string::npos);

    // The defaults apply.
    const AHandle mouse = agent.AttachDevice(kProductRFMouse);
    ASSERT_TRUE(agent.Press(mouse, AAgentHarness::kButton5));
    ASSERT_TRUE(agent.RunUntil([&] { return agent.ScriptRuns() == std::vector<std::string>{"SafariBack.scpt"}; }));

    // Failing again the same way: quiet.
    agent.Manager().ReloadPreferences();
    agent.Manager().ReloadPreferences();
    EXPECT_EQ(agent.Alerts().size(), 1u);

    // Repaired: the store is made on the next reload and its mapping acts.
    std::filesystem::remove(agent.ConfigFolder() / "Nuvexa");
    agent.WriteMapping(MappingXml({{"rfmouse", 0, {{4, "keystroke", "0"}}}}));
    ASSERT_TRUE(agent.Reload([&] { return agent.Manager().GetPrefController() != nullptr; }));
    ASSERT_TRUE(agent.Press(mouse, AAgentHarness::kButton5));
    EXPECT_TRUE(agent.RunUntil([&] { return agent.KeyEventsText() == kKeyA; }));

    // A file that is not XML empties the store and is reported; the same
    // failure again stays quiet; after a good load it is heard again.
    agent.WriteMapping("this is not XML <");
    agent.Manager().ReloadPreferences();
    EXPECT_EQ(agent.Manager().GetDevice(kDeviceRFMouse), nullptr);
    agent.Manager().ReloadPreferences();
    ASSERT_EQ(agent.Alerts().size(), 2u);
    agent.WriteMapping(MappingXml({}));
    agent.Manager().ReloadPreferences();
    agent.WriteMapping("this is not XML <");
    agent.Manager().ReloadPreferences();
    EXPECT_EQ(agent.Alerts().size(), 3u);
}
