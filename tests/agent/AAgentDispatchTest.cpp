// A press or a message performs its mapped action, end to end: stand-in HID
// reports in, the real agent in between (queue, message ports, dispatcher,
// store, launchers, NX-to-evdev translation), recorded effects out.

#include "tests/support/AAgentHarness.h"
#include "tests/support/ARunUntilIdle.h"

#include "agent/AHIDDevice.h"
#include "platform/ports/AMessagePort.h"
#include "prefs/APrefController.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <linux/input-event-codes.h>
#include <map>
#include <sstream>

namespace {

using AHandle = AStandInHIDBackend::AHandle;
using ARuns = std::vector<std::string>;

// The cases of tests/fixtures/agent/presses.txt: each its rule and lines,
// its setup's first.
std::vector<std::pair<std::string, std::vector<std::string>>> ReadCases()
{
    std::vector<std::pair<std::string, std::vector<std::string>>> cases;
    std::vector<std::string> setup;
    bool inCase = false;
    std::istringstream text(ReadWholeFile(FixturePath("agent/presses.txt")));
    for (std::string line; std::getline(text, line);) {
        if (line.starts_with("setup "))
            setup.clear(), inCase = false;
        else if (line.starts_with("case "))
            cases.emplace_back(line.substr(5), setup), inCase = true;
        else if (!line.empty() && line[0] != '#')
            (inCase ? cases.back().second : setup).push_back(line);
    }
    return cases;
}

// "+KEY_A" a key down, "-KEY_A" a key up, "KEY_A" both, each with its report.
std::string KeysText(const std::string& keys)
{
    std::istringstream words(keys);
    std::string text;
    for (std::string key; words >> key;) {
        const std::string down = key.substr(key[0] == '+' || key[0] == '-') + " down, SYN_REPORT";
        const std::string up = down.substr(0, down.find(' ')) + " up, SYN_REPORT";
        text += (text.empty() ? "" : ", ") + (key[0] == '+' ? down : key[0] == '-' ? up : down + ", " + up);
    }
    return text;
}

// The presentation record: the reference in bytes 0-3, the type in 16-19.
AMessageData PresentationRecord(uint32_t reference, uint32_t type, size_t size = 52)
{
    AMessageData data(size, 0);
    std::memcpy(data.data(), &reference, 4);
    std::memcpy(data.data() + 16, &type, 4);
    return data;
}

AMessageData Click(uint32_t id, uint32_t reference)
{
    AMessageData data(8);
    std::memcpy(data.data(), &id, 4);
    std::memcpy(data.data() + 4, &reference, 4);
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

// Waits until the last run is "good.scpt" and answers the runs from `from` before it.
ARuns RunsBeforeGood(AAgentHarness& agent, size_t from)
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

} // namespace

TEST(AAgentDispatch, EachPressCaseOfTheFixtureHasItsEffects)
{
    const std::map<std::string, uint32_t> products = {
        {"rfmouse", kProductRFMouse}, {"btmouse", kProductBTMouse}, {"presenter", kProductPresenter}};
    const std::map<std::string, AAgentHarness::AInput> inputs = {
        {"button5", AAgentHarness::kButton5},         {"button4", AAgentHarness::kButton4},
        {"bracketleft", AAgentHarness::kBracketLeft}, {"bracketright", AAgentHarness::kBracketRight},
        {"B", AAgentHarness::kKeyB},                  {"P", AAgentHarness::kKeyP}};
    const auto cases = ReadCases();
    ASSERT_FALSE(cases.empty());
    for (const auto& [rule, lines] : cases) {
        SCOPED_TRACE(rule);
        const bool built = std::find(lines.begin(), lines.end(), "resources build") != lines.end();
        AAgentHarness agent(built ? AAgentHarness::AResources::kBuild : AAgentHarness::AResources::kStandIn);
        std::vector<AMappedDevice> mapping;
        const auto record = [&](const std::string& type) -> AMappedDevice& {
            const auto found = std::find_if(mapping.begin(), mapping.end(), [&](auto& d) { return d.fType == type; });
            return found != mapping.end() ? *found : mapping.emplace_back(AMappedDevice{type, 0, {}});
        };
        std::map<std::string, AHandle> devices;
        ARuns runs;
        std::string keys;
        std::vector<ARecordingAlerts::AAlert> alerts;
        for (const bool started : {false, true}) {
            for (const std::string& line : lines) {
                std::istringstream words(line);
                std::string kind, type, rest;
                words >> kind >> type;
                std::getline(words >> std::ws, rest);
                if (!started && kind == "device") {
                    record(type).fPresentationType = std::stoi(rest);
                } else if (!started && kind == "event") {
                    std::istringstream fields(rest);
                    int id = 0;
                    std::string launchType, argument;
                    std::getline(fields >> id >> launchType >> std::ws, argument);
                    if (argument.starts_with("@/"))
                        argument = (agent.ResourceFolder() / argument.substr(2)).string();
                    record(type).fEvents.push_back({id, launchType, argument});
                } else if (!started && kind == "without") {
                    std::filesystem::remove(agent.ResourceFolder() / type);
                } else if (started && kind == "attach") {
                    const auto descriptor = AgentDescriptor(rest.empty() ? "device" : rest);
                    devices[type] = agent.AttachDevice(products.at(type), descriptor);
                } else if (started && kind == "press") {
                    ASSERT_TRUE(agent.Press(devices.at(type), inputs.at(rest)));
                } else if (started && kind == "report") {
                    std::vector<uint8_t> report;
                    std::istringstream bytes(rest);
                    for (unsigned byte; bytes >> std::hex >> byte;)
                        report.push_back(static_cast<uint8_t>(byte));
                    ASSERT_TRUE(agent.HID().SendReport(devices.at(type), report));
                } else if (started && kind == "click-port") {  // once the presses before are handled
                    ASSERT_TRUE(RunUntilIdle(agent.Loop()));
                    type == "off" ? agent.Manager().UnregisterMouseClickHandler()
                                  : agent.Manager().RegisterMouseClickHandler();
                } else if (started && kind == "run") {
                    runs.push_back(line.substr(4));
                } else if (started && kind == "keys") {
                    keys = KeysText(line.substr(5));
                } else if (started && kind == "alert") {
                    const size_t bar = line.find(" | ");
                    std::string message = line.substr(bar + 3);
                    if (message.ends_with("\\n"))
                        message.replace(message.size() - 2, 2, "\n");
                    alerts.push_back({line.substr(6, bar - 6), message});
                }
            }
            if (!started && !mapping.empty())
                agent.WriteMapping(MappingXml(mapping));
            if (!started)
                agent.Start();
        }
        // Handled in order: once the last run has happened, everything before it has.
        agent.RunUntil([&] { return agent.ScriptRuns() == runs && agent.KeyEventsText() == keys; }, 3.0);
        ASSERT_TRUE(RunUntilIdle(agent.Loop()));
        EXPECT_EQ(agent.ScriptRuns(), runs);
        EXPECT_EQ(agent.KeyEventsText(), keys);
        EXPECT_EQ(agent.Alerts(), alerts);
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
        {"a click from a device in the set", 0, Click(4, presenter), {"SafariBack.scpt"}},
        {"a presentation record from a device in the set", 1, PresentationRecord(presenter, kDevicePresenter),
         {"PowerPointStart.scpt"}},
        {"a reference never handed out", 0, Click(4, 999), {}},
        {"the reference of a device gone", 0, Click(4, goneReference), {}},
        {"the null reference", 0, Click(4, 0), {}},
        {"a click too short", 0, AMessageData{4, 0, 0, 0, 1, 0, 0}, {}},
        {"a click too long", 0, AMessageData{4, 0, 0, 0, 1, 0, 0, 0, 0}, {}},
        {"a click without payload", 0, std::nullopt, {}},
        {"a presentation record of a stranger", 1, PresentationRecord(999, kDevicePresenter), {}},
        {"a presentation record with a forged type", 1, PresentationRecord(presenter, kDeviceBTMouse), {}},
        {"a presentation record too short", 1, PresentationRecord(presenter, kDevicePresenter, 51), {}},
        {"a presentation record too long", 1, PresentationRecord(presenter, kDevicePresenter, 53), {}},
        {"an unknown message id", 2, Click(4, presenter), {}},
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
    EXPECT_TRUE(agent.RunUntil([&] { return agent.KeyEventsText() == KeysText("KEY_B"); })) << agent.KeyEventsText();
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
        const AMessageData click = Click(i % 2 == 0 ? 4 : 5, reference);
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
