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
    const std::string kinds = " setup case device event without resources attach detach press report send "
                              "click-port run keys alert ";
    for (std::string line; std::getline(text, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        EXPECT_NE(kinds.find(" " + line.substr(0, line.find(' ')) + " "), std::string::npos) << line;
        if (line.starts_with("setup "))
            setup.clear(), inCase = false;
        else if (line.starts_with("case "))
            cases.emplace_back(line.substr(5), setup), inCase = true;
        else
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

// Hex bytes, "00*12" a byte twelve times, "@rfmouse" the 4-byte reference of
// that device.
AMessageData Bytes(const std::string& text, const std::map<std::string, uint32_t>& references)
{
    AMessageData bytes;
    std::istringstream tokens(text);
    for (std::string token; tokens >> token;) {
        const uint32_t reference = token[0] == '@' ? references.at(token.substr(1)) : 0;
        const auto* at = reinterpret_cast<const uint8_t*>(&reference);
        const size_t star = token.find('*');
        if (token[0] == '@')
            bytes.insert(bytes.end(), at, at + 4);
        else
            bytes.insert(bytes.end(), star == std::string::npos ? 1 : std::stoul(token.substr(star + 1)),
                         static_cast<uint8_t>(std::stoul(token.substr(0, 2), nullptr, 16)));
    }
    return bytes;
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
        std::map<std::string, uint32_t> references;
        const auto referenceOf = [&](const std::string& type) {
            return ReferenceOf(agent.Manager(), agent.Manager().QueryDeviceType({"", kVendorID, products.at(type)}));
        };
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
                    references[type] = referenceOf(type);
                } else if (started && kind == "detach") {
                    agent.HID().Remove({devices.at(type)});
                    ASSERT_TRUE(agent.RunUntil([&] { return referenceOf(type) == 0; }));
                } else if (started && kind == "press") {
                    ASSERT_TRUE(agent.Press(devices.at(type), inputs.at(rest)));
                } else if (started && kind == "report") {
                    ASSERT_TRUE(agent.HID().SendReport(devices.at(type), Bytes(rest, references)));
                } else if (started && kind == "send") {
                    const AMessageData payload = Bytes(rest, references);
                    const auto port = ARemoteMessagePort::Create("MouseClickPort");
                    ASSERT_NE(port, nullptr);
                    EXPECT_EQ(port->SendRequest(std::stoi(type), rest.empty() ? nullptr : &payload, 1.0, 1.0, nullptr),
                              AMessagePortStatus::kSuccess);
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
