// A press or a message performs its mapped action, end to end: stand-in HID
// reports in, the real agent in between (queue, message ports, dispatcher,
// store, launchers, NX-to-evdev translation), recorded effects out.

#include "tests/support/AAgentHarness.h"
#include "tests/support/ARunUntilIdle.h"

#include "agent/AHIDDevice.h"
#include "platform/ports/AMessagePort.h"
#include "prefs/APrefController.h"

#include <gtest/gtest.h>

#include <cstring>
#include <linux/input-event-codes.h>

namespace {

using AHandle = AStandInHIDBackend::AHandle;
using ARuns = std::vector<std::string>;

// One key stroke as the virtual keyboard sees it.
std::string Stroke(const std::string& key)
{
    return key + " down, SYN_REPORT, " + key + " up, SYN_REPORT";
}
std::string Chord(const std::string& first, const std::string& second, const std::string& key)
{
    return first + " down, SYN_REPORT, " + second + " down, SYN_REPORT, " + Stroke(key) + ", " + second +
           " up, SYN_REPORT, " + first + " up, SYN_REPORT";
}

// Waits until the last run is "good.scpt" and answers the runs before it.
ARuns RunsBeforeGood(AAgentHarness& agent, size_t from = 0)
{
    EXPECT_TRUE(agent.RunUntil([&] {
        const auto runs = agent.ScriptRuns();
        return runs.size() > from && runs.back() == "good.scpt";
    }));
    ARuns runs = agent.ScriptRuns();
    runs.erase(runs.begin(), runs.begin() + static_cast<std::ptrdiff_t>(std::min(from, runs.size())));
    if (!runs.empty())
        runs.pop_back();
    return runs;
}

AMessageData Words(std::initializer_list<uint32_t> words)
{
    AMessageData data(words.size() * 4);
    std::memcpy(data.data(), std::data(words), data.size());
    return data;
}

// The presentation record: the reference in bytes 0-3, the type in 16-19.
AMessageData PresentationRecord(uint32_t reference, uint32_t type, size_t size = 52)
{
    AMessageData data(size, 0);
    std::memcpy(data.data(), &reference, 4);
    std::memcpy(data.data() + 16, &type, 4);
    return data;
}

uint32_t ReferenceOf(ADeviceManager& manager, EDeviceType type)
{
    for (uint32_t reference = 1; reference < 64; ++reference) {
        if (const AHIDDevice* device = manager.FindHIDDevice(reference); device && device->GetDeviceType() == type)
            return reference;
    }
    return 0;
}

} // namespace

TEST(AAgentDispatch, EachMappingOfAButtonDoesItsJob)
{
    const std::string kShiftSuper3 = Chord("KEY_LEFTSHIFT", "KEY_LEFTMETA", "KEY_3");
    const std::string kSuperA = "KEY_LEFTMETA down, SYN_REPORT, " + Stroke("KEY_A") + ", KEY_LEFTMETA up, SYN_REPORT";
    struct ARow {
        const char* fRule;
        const char* fLaunchType;
        std::string fArgument;  // for "applescript", a file in the resource folder
        ARuns fRuns;
        std::string fKeys;
        std::vector<ARecordingAlerts::AAlert> fAlerts = {};
        bool fWithoutScripts = false;  // the predefined functions' scripts removed
    };
    const ARow rows[] = {
        {"the default action is the browser script", "default", "", {"SafariBack.scpt"}, ""},
        {"a script runs", "applescript", "ok.scpt", {"ok.scpt"}, ""},
        {"a failing script is dropped quietly", "applescript", "fails.scpt", {"fails.scpt"}, ""},
        {"a killed script is dropped quietly", "applescript", "killed.scpt", {"killed.scpt"}, ""},
        {"a missing script runs nothing", "applescript", "missing.scpt", {}, ""},
        {"a folder runs nothing", "applescript", "a-folder", {}, ""},
        {"a file that may not be run runs nothing", "applescript", "plain.txt", {}, ""},
        {"the empty script path runs nothing", "applescript", "", {}, ""},
        {"an application opens through the launcher", "exec", "/opt/Some App/start here",
         {"xdg-open /opt/Some App/start here"}, ""},
        {"the launcher's complaint is a Launch Error", "exec", "/nowhere/missing.app",
         {"xdg-open /nowhere/missing.app"}, "",
         {{"Launch Error", "xdg-open: file '/nowhere/missing.app' does not exist\n"}}},
        {"the empty application is handed on as it is", "exec", "", {"xdg-open "}, ""},
        {"key strokes: modifiers toggle around the key", "keystroke", "56|55|20|55|56", {}, kShiftSuper3},
        {"key strokes: one key", "keystroke", "0", {}, Stroke("KEY_A")},
        {"key strokes: a modifier left down is released at the end", "keystroke", "55|0", {}, kSuperA},
        {"key strokes: Option and an arrow", "keystroke", "58|124", {},
         "KEY_LEFTALT down, SYN_REPORT, " + Stroke("KEY_RIGHT") + ", KEY_LEFTALT up, SYN_REPORT"},
        {"key strokes: Caps Lock left on is toggled off at the end", "keystroke", "57", {},
         Stroke("KEY_CAPSLOCK") + ", " + Stroke("KEY_CAPSLOCK")},
        {"key strokes: a code without a key types nothing", "keystroke", "52", {}, ""},
        {"key strokes: the empty list plays nothing", "keystroke", "", {}, ""},
        {"function 0 ejects", "predefinedkeys", "0", {}, Stroke("KEY_EJECTCD")},
        {"a function without digits is 0", "predefinedkeys", "", {}, Stroke("KEY_EJECTCD")},
        {"function 1 is Shift-Command-3", "predefinedkeys", "1", {}, kShiftSuper3},
        {"function 2 is Command-A", "predefinedkeys", "2", {}, kSuperA},
        {"function 3 is volume up", "predefinedkeys", "3", {}, Stroke("KEY_VOLUMEUP")},
        {"function 4 is volume down", "predefinedkeys", "4", {}, Stroke("KEY_VOLUMEDOWN")},
        {"function 5 is mute", "predefinedkeys", "5", {}, Stroke("KEY_MUTE")},
        {"function 6 is F9", "predefinedkeys", "6", {}, Stroke("KEY_F9")},
        {"function 7 is F10", "predefinedkeys", "7", {}, Stroke("KEY_F10")},
        {"function 8 is F11", "predefinedkeys", "8", {}, Stroke("KEY_F11")},
        {"function 9 is F12", "predefinedkeys", "9", {}, Stroke("KEY_F12")},
        {"function 10 runs the browser's forward script", "predefinedkeys", "10", {"FirefoxForward.scpt"}, ""},
        {"function 11 runs the browser's back script", "predefinedkeys", "11", {"FirefoxBack.scpt"}, ""},
        {"function 12 runs the player's play-pause script", "predefinedkeys", "12", {"iTunesPlayPause.scpt"}, ""},
        {"function 13 runs the player's stop script", "predefinedkeys", "13", {"iTunesStop.scpt"}, ""},
        {"function 14 does nothing", "predefinedkeys", "14", {}, ""},
        {"a function number keeps its low 16 bits", "predefinedkeys", "65546", {"FirefoxForward.scpt"}, ""},
        {"function 10 without its script does nothing", "predefinedkeys", "10", {}, "", {}, true},
        {"function 13 without its script does nothing", "predefinedkeys", "13", {}, "", {}, true},
    };
    for (const ARow& row : rows) {
        SCOPED_TRACE(row.fRule);
        AAgentHarness agent;
        if (row.fWithoutScripts) {
            for (const char* name :
                 {"FirefoxForward.scpt", "FirefoxBack.scpt", "iTunesPlayPause.scpt", "iTunesStop.scpt"})
                std::filesystem::remove(agent.ResourceFolder() / name);
        }
        const std::string argument = std::string(row.fLaunchType) == "applescript" && !row.fArgument.empty()
                                         ? (agent.ResourceFolder() / row.fArgument).string()
                                         : row.fArgument;
        // Button id 5 runs "good.scpt": handled in order, it shows the first press done.
        const std::string good = (agent.ResourceFolder() / "good.scpt").string();
        agent.WriteMapping(MappingXml({{"rfmouse", 0, {{4, row.fLaunchType, argument}, {5, "applescript", good}}}}));
        agent.Start();
        const AHandle mouse = agent.AttachDevice(kProductRFMouse);
        ASSERT_TRUE(agent.Press(mouse, AAgentHarness::kButton5));
        ASSERT_TRUE(agent.Press(mouse, AAgentHarness::kButton4));
        EXPECT_EQ(RunsBeforeGood(agent), row.fRuns);
        EXPECT_EQ(agent.KeyEventsText(), row.fKeys);
        EXPECT_EQ(agent.Alerts(), row.fAlerts);
    }
}

TEST(AAgentDispatch, EachReportRuleHoldsWithoutAMapping)
{
    struct ARow {
        const char* fRule;
        const char* fDescriptor;
        std::vector<std::vector<uint8_t>> fReports;
        ARuns fRuns;  // the browser scripts: back for button id 4, forward for 5
        std::string fKeys = {};
        std::vector<AMappedDevice> fMapping = {};
    };
    const ARow rows[] = {
        {"mouse button 5 is id 4 and button 4 is id 5; releases do nothing", "device",
         {{1, 0x10, 0, 0}, {1, 0, 0, 0}, {1, 0x08, 0, 0}, {1, 0, 0, 0}}, {"SafariBack.scpt", "SafariForward.scpt"}},
        {"the left and right bracket keys are ids 4 and 5", "device", {{2, 0x2F}, {2, 0}, {2, 0x30}, {2, 0}},
         {"SafariBack.scpt", "SafariForward.scpt"}},
        {"two presses in one report are two clicks in element order", "device",
         {{1, 0x18, 0, 0}, {1, 0x08, 0, 0}, {1, 0, 0, 0}}, {"SafariForward.scpt", "SafariBack.scpt"}},
        {"only the value one is a press", "wide-button", {{2, 0, 0}, {3, 0, 0}, {0, 0, 0}, {1, 0, 0}, {0, 0, 0}},
         {"SafariBack.scpt"}},
        {"of two elements of one kind the later is watched", "two-button-sets",
         {{1, 0x10, 0, 0}, {1, 0, 0, 0}, {3, 0x08, 0, 0}, {3, 0, 0, 0}}, {"SafariForward.scpt"}},
        {"the B key types virtual key 11 and clicks nothing", "device", {{2, 0x05}, {2, 0}, {2, 0x05}, {2, 0}}, {},
         Stroke("KEY_B") + ", " + Stroke("KEY_B")},
        {"a device record without events keeps the defaults", "device", {{2, 0x2F}, {2, 0}, {2, 0x30}, {2, 0}},
         {"SafariBack.scpt", "SafariForward.scpt"}, "", {{"rfmouse", 0, {}}, {"presenter", 0, {}}}},
    };
    for (const ARow& row : rows) {
        SCOPED_TRACE(row.fRule);
        AAgentHarness agent;
        if (!row.fMapping.empty())
            agent.WriteMapping(MappingXml(row.fMapping));
        agent.Start();
        const AHandle mouse = agent.AttachDevice(kProductRFMouse, AgentDescriptor(row.fDescriptor));
        for (const auto& report : row.fReports)
            ASSERT_TRUE(agent.HID().SendReport(mouse, report));
        agent.RunUntil([&] { return agent.ScriptRuns() == row.fRuns && agent.KeyEventsText() == row.fKeys; }, 3.0);
        ASSERT_TRUE(RunUntilIdle(agent.Loop()));
        EXPECT_EQ(agent.ScriptRuns(), row.fRuns);
        EXPECT_EQ(agent.KeyEventsText(), row.fKeys);
    }
}

TEST(AAgentDispatch, APressWhileNobodyServesTheClickPortIsDropped)
{
    AAgentHarness agent;
    agent.Start();
    const AHandle mouse = agent.AttachDevice(kProductBTMouse);
    agent.Manager().UnregisterMouseClickHandler();
    ASSERT_TRUE(agent.Press(mouse, AAgentHarness::kButton5));
    ASSERT_TRUE(RunUntilIdle(agent.Loop()));
    agent.Manager().RegisterMouseClickHandler();
    ASSERT_TRUE(agent.Press(mouse, AAgentHarness::kButton4));
    EXPECT_TRUE(agent.RunUntil([&] { return !agent.ScriptRuns().empty(); }));
    EXPECT_EQ(agent.ScriptRuns(), ARuns{"SafariForward.scpt"});
}

TEST(AAgentDispatch, TheShippedBackAndForwardScriptsTypeAltArrowsThroughTheAgent)
{
    // The build's real scripts hand "58|123|58" to the build's nuvexactl,
    // which hands it to this agent's "KeyStrokePort".
    AAgentHarness agent(AAgentHarness::AResources::kBuild);
    agent.Start();
    const AHandle mouse = agent.AttachDevice(kProductBTMouse);
    const std::string back = "KEY_LEFTALT down, SYN_REPORT, " + Stroke("KEY_LEFT") + ", KEY_LEFTALT up, SYN_REPORT";
    ASSERT_TRUE(agent.Press(mouse, AAgentHarness::kButton5));
    EXPECT_TRUE(agent.RunUntil([&] { return agent.KeyEventsText() == back; })) << agent.KeyEventsText();
    const std::string forward = "KEY_LEFTALT down, SYN_REPORT, " + Stroke("KEY_RIGHT") + ", KEY_LEFTALT up, SYN_REPORT";
    ASSERT_TRUE(agent.Press(mouse, AAgentHarness::kButton4));
    EXPECT_TRUE(agent.RunUntil([&] { return agent.KeyEventsText() == back + ", " + forward; }))
        << agent.KeyEventsText();
}

TEST(AAgentDispatch, ThePresentationKeyActsByPresentationType)
{
    const std::string kAltSuperP = Chord("KEY_LEFTALT", "KEY_LEFTMETA", "KEY_P");
    const struct {
        const char* fRule;
        AMappedDevice fPresenter;
        std::string fKeys;
        ARuns fRuns;
    } rows[] = {
        {"type 0 types Option-Command-P", {"presenter", 0, {}}, kAltSuperP, {}},
        {"type 1 runs the presentation script", {"presenter", 1, {}}, "", {"PowerPointStart.scpt"}},
        {"type 2 does nothing", {"presenter", 2, {}}, "", {}},
        {"without a record it is type 0", {"btmouse", 1, {}}, kAltSuperP, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fRule);
        AAgentHarness agent;
        agent.WriteMapping(MappingXml(
            {row.fPresenter, {"rfmouse", 0, {{4, "applescript", (agent.ResourceFolder() / "good.scpt").string()}}}}));
        agent.Start();
        const AHandle presenter = agent.AttachDevice(kProductPresenter);
        const AHandle mouse = agent.AttachDevice(kProductRFMouse);
        ASSERT_TRUE(agent.Press(presenter, AAgentHarness::kKeyP));
        ASSERT_TRUE(agent.Press(mouse, AAgentHarness::kButton5));
        EXPECT_EQ(RunsBeforeGood(agent), row.fRuns);
        EXPECT_EQ(agent.KeyEventsText(), row.fKeys);
    }
}

TEST(AAgentDispatch, OnlyWellFormedMessagesFromADeviceInTheSetAreActedOn)
{
    AAgentHarness agent;
    const std::string good = (agent.ResourceFolder() / "good.scpt").string();
    agent.WriteMapping(MappingXml({{"presenter", 1, {}}, {"btmouse", 0, {{5, "applescript", good}}}}));
    agent.Start();
    const AHandle gone = agent.AttachDevice(kProductRFMouse);
    const uint32_t goneReference = ReferenceOf(agent.Manager(), kDeviceRFMouse);
    agent.HID().Remove({gone});
    ASSERT_TRUE(agent.RunUntil([&] { return agent.Manager().GetNumHIDDevices() == 0; }));
    agent.AttachDevice(kProductPresenter);
    const AHandle mouse = agent.AttachDevice(kProductBTMouse);
    const uint32_t presenter = ReferenceOf(agent.Manager(), kDevicePresenter);
    ASSERT_NE(goneReference, 0u);
    // A reference is never handed out again.
    EXPECT_NE(presenter, goneReference);
    EXPECT_NE(ReferenceOf(agent.Manager(), kDeviceBTMouse), goneReference);
    const struct {
        const char* fRule;
        int32_t fId;
        std::optional<AMessageData> fPayload;
        ARuns fRuns;
    } rows[] = {
        {"a click from a device in the set", 0, Words({4, presenter}), {"SafariBack.scpt"}},
        {"a presentation record from a device in the set", 1, PresentationRecord(presenter, kDevicePresenter),
         {"PowerPointStart.scpt"}},
        {"a reference never handed out", 0, Words({4, 999}), {}},
        {"the reference of a device gone", 0, Words({4, goneReference}), {}},
        {"the null reference", 0, Words({4, 0}), {}},
        {"a click too short", 0, AMessageData{4, 0, 0, 0, 1, 0, 0}, {}},
        {"a click too long", 0, AMessageData{4, 0, 0, 0, 1, 0, 0, 0, 0}, {}},
        {"a click without payload", 0, std::nullopt, {}},
        {"a presentation record of a stranger", 1, PresentationRecord(999, kDevicePresenter), {}},
        {"a presentation record with a forged type", 1, PresentationRecord(presenter, kDeviceBTMouse), {}},
        {"a presentation record too short", 1, PresentationRecord(presenter, kDevicePresenter, 51), {}},
        {"a presentation record too long", 1, PresentationRecord(presenter, kDevicePresenter, 53), {}},
        {"an unknown message id", 2, Words({4, presenter}), {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fRule);
        const size_t before = agent.ScriptRuns().size();
        auto port = ARemoteMessagePort::Create("MouseClickPort");
        ASSERT_NE(port, nullptr);
        EXPECT_EQ(port->SendRequest(row.fId, row.fPayload ? &*row.fPayload : nullptr, 1.0, 1.0, nullptr),
                  AMessagePortStatus::kSuccess);
        ASSERT_TRUE(agent.Press(mouse, AAgentHarness::kButton4));
        EXPECT_EQ(RunsBeforeGood(agent, before), row.fRuns);
    }
    EXPECT_EQ(agent.KeyEventsText(), "");
}

TEST(AAgentDispatch, OnlyTheReloadNotificationMakesTheNextPressUseTheNewMapping)
{
    AAgentHarness agent;
    agent.WriteMapping(MappingXml({{"rfmouse", 0, {{4, "keystroke", "0"}}}}));
    agent.Start();
    const AHandle mouse = agent.AttachDevice(kProductRFMouse);
    const auto mapped = [&] {
        return agent.Manager().GetPrefController()->GetEvent(kDeviceRFMouse, 4)->GetLaunchArg();
    };
    agent.WriteMapping(MappingXml({{"rfmouse", 0, {{4, "keystroke", "11"}}}}));
    // The same name with another object, or none, and the object as a name.
    agent.Notifications().PostNotification("NuvexaAgent", "Other");
    agent.Notifications().PostNotification("NuvexaAgent", std::nullopt);
    agent.Notifications().PostNotification("PrefChange", std::nullopt);
    agent.Barrier();
    EXPECT_EQ(mapped(), "0");
    ASSERT_TRUE(agent.Reload([&] { return mapped() == "11"; }));
    ASSERT_TRUE(agent.Press(mouse, AAgentHarness::kButton5));
    EXPECT_TRUE(agent.RunUntil([&] { return agent.KeyEventsText() == Stroke("KEY_B"); })) << agent.KeyEventsText();
}

TEST(AAgentDispatch, TenThousandPressesAndAThousandWaitingClicksAreHandledInOrder)
{
    AAgentHarness agent;
    agent.WriteMapping(MappingXml({{"btmouse", 0, {{4, "keystroke", "0"}, {5, "keystroke", "11"}}}}));
    agent.Start();
    const AHandle mouse = agent.AttachDevice(kProductBTMouse);
    const auto& events = agent.KeyEvents();  // four a press: key down, report, key up, report
    constexpr size_t kPresses = 10000, kClicks = 1000;
    // Thirty-two presses at a time: sixty-four reports, as many as hidraw
    // keeps for a reader that is held up, and eight times the device's queue.
    for (size_t sent = 0; sent < kPresses;) {
        for (const size_t end = std::min(sent + 32, kPresses); sent < end; ++sent)
            ASSERT_TRUE(agent.Press(mouse, sent % 2 == 0 ? AAgentHarness::kButton5 : AAgentHarness::kButton4));
        ASSERT_TRUE(agent.RunUntil([&] { return events.size() >= 4 * sent; })) << events.size();
    }
    // Clicks sent before the agent gets to any of them wait in the port.
    const uint32_t reference = ReferenceOf(agent.Manager(), kDeviceBTMouse);
    for (size_t i = 0; i < kClicks; ++i) {
        const AMessageData click = Words({i % 2 == 0 ? 4u : 5u, reference});
        auto port = ARemoteMessagePort::Create("MouseClickPort");
        ASSERT_NE(port, nullptr);
        ASSERT_EQ(port->SendRequest(0, &click, 1.0, 1.0, nullptr), AMessagePortStatus::kSuccess) << i;
    }
    EXPECT_TRUE(agent.RunUntil([&] { return events.size() >= 4 * (kPresses + kClicks); }, 60.0)) << events.size();
    ASSERT_EQ(events.size(), 4 * (kPresses + kClicks));
    size_t outOfOrder = 0;
    for (size_t i = 0; i < events.size(); i += 4)
        outOfOrder += events[i].fCode != ((i / 4) % 2 == 0 ? KEY_A : KEY_B) || events[i].fValue != 1 ||
                      events[i + 2].fCode != events[i].fCode || events[i + 2].fValue != 0;
    EXPECT_EQ(outOfOrder, 0u);
}
