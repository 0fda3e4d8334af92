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
#include <regex>
#include <sstream>
#include <tuple>

namespace {

using AHandle = AStandInHIDBackend::AHandle;
using ARuns = std::vector<std::string>;

// The cases of tests/fixtures/agent/presses.txt: each its rule and lines,
// its setup's first.
std::vector<std::pair<std::string, std::vector<std::string>>> ReadCases()
{
    std::vector<std::pair<std::string, std::vector<std::string>>> cases;
    std::vector<std::string> setup;
    std::vector<std::string>* adding = &setup;
    std::istringstream text(ReadWholeFile(FixturePath("agent/presses.txt")));
    for (std::string line; std::getline(text, line);) {
        if (line.starts_with("setup ")) {
            setup.clear();
            adding = &setup;
        } else if (line.starts_with("case ")) {
            adding = &cases.emplace_back(line.substr(5), setup).second;
        } else if (!line.empty() && line[0] != '#') {
            adding->push_back(line);
        }
    }
    return cases;
}

// The typed keys, as the fixture writes them: "+KEY_A" a key down, "-KEY_A"
// a key up, "KEY_A" both, each with its report.
std::string Keys(const std::string& events)
{
    std::string keys = std::regex_replace(events, std::regex("(\\w+) down, SYN_REPORT, \\1 up, SYN_REPORT"), "$1");
    keys = std::regex_replace(keys, std::regex("(\\w+) down, SYN_REPORT"), "+$1");
    keys = std::regex_replace(keys, std::regex("(\\w+) up, SYN_REPORT"), "-$1");
    return std::regex_replace(keys, std::regex(", "), " ");
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

// A line's kind, its second word, and the rest.
std::tuple<std::string, std::string, std::string> Words(const std::string& line)
{
    std::istringstream in(line);
    std::string kind, type, rest;
    in >> kind >> type;
    std::getline(in >> std::ws, rest);
    return {kind, type, rest};
}

// The reference the agent handed the newest open device of the product, 0 when none is open.
uint32_t ReferenceOf(ADeviceManager& manager, uint32_t product)
{
    const EDeviceType type = manager.QueryDeviceType({"", kVendorID, product});
    uint32_t newest = 0;
    for (uint32_t reference = 1; reference < 64; ++reference) {
        if (const AHIDDevice* device = manager.FindHIDDevice(reference); device && device->GetDeviceType() == type)
            newest = reference;
    }
    return newest;
}

// Puts the store in the state: "mapping" (the case's), "not-xml",
// "file-for-folder" (a file where its folder belongs) or "folder-for-file".
void PutStore(AAgentHarness& agent, const std::string& state, const std::string& mapping)
{
    const std::filesystem::path folder = agent.ConfigFolder() / "Nuvexa";
    std::filesystem::remove_all(folder);
    if (state == "file-for-folder")
        WriteWholeFile(folder, "a file where the folder belongs");
    else if (state == "folder-for-file")
        std::filesystem::create_directories(folder / "mapping.xml");
    else
        agent.WriteMapping(state == "not-xml" ? "this is not XML <" : mapping);
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
    const auto isMapping = [](const std::string& line) {
        return line.starts_with("device ") || line.starts_with("event ") || line.starts_with("without ") ||
               line == "resources build";
    };
    const auto cases = ReadCases();
    ASSERT_FALSE(cases.empty());
    for (auto [rule, lines] : cases) {
        SCOPED_TRACE(rule);
        // What the mapping and the resources hold comes before the agent starts.
        const auto actions = std::stable_partition(lines.begin(), lines.end(), isMapping);
        const bool built = std::find(lines.begin(), actions, "resources build") != actions;
        AAgentHarness agent(built ? AAgentHarness::AResources::kBuild : AAgentHarness::AResources::kStandIn);
        std::vector<AMappedDevice> mapping;
        std::map<std::string, AHandle> devices;
        std::map<std::string, uint32_t> references;
        ARuns runs;
        std::string keys;
        std::vector<ARecordingAlerts::AAlert> alerts;
        for (auto line = lines.begin(); line != actions; ++line) {
            const auto [kind, type, rest] = Words(*line);
            auto record = std::find_if(mapping.begin(), mapping.end(), [&](auto& d) { return d.fType == type; });
            if (record == mapping.end() && (kind == "device" || kind == "event"))
                record = mapping.insert(mapping.end(), AMappedDevice{type, 0, {}});
            if (kind == "device") {
                record->fPresentationType = std::stoi(rest);
            } else if (kind == "event") {
                auto [id, launchType, argument] = Words(rest);
                if (argument.starts_with("@/"))
                    argument = (agent.ResourceFolder() / argument.substr(2)).string();
                record->fEvents.push_back({std::stoi(id), launchType, argument});
            } else if (kind == "without") {
                std::filesystem::remove(agent.ResourceFolder() / type);
            }
        }
        // Where the case puts the store itself, or starts the agent, it does so in its place.
        if (!mapping.empty() && std::find_if(actions, lines.end(), [](auto& l) { return l.starts_with("config "); }) ==
                                    lines.end())
            agent.WriteMapping(MappingXml(mapping));
        if (std::find(actions, lines.end(), "start") == lines.end())
            agent.Start();
        for (auto line = actions; line != lines.end(); ++line) {
            const auto [kind, type, rest] = Words(*line);
            const std::string product = type.substr(0, type.find('#'));  // "btmouse#2" a second one
            if (kind == "start") {
                agent.Start();
            } else if (kind == "config") {
                PutStore(agent, type, MappingXml(mapping));
            } else if (kind == "reload") {  // once the presses before are handled
                ASSERT_TRUE(RunUntilIdle(agent.Loop()));
                agent.Manager().ReloadPreferences();
            } else if (kind == "attach") {
                const auto descriptor = AgentDescriptor(rest.empty() ? "device" : rest);
                devices[type] = agent.AttachDevice(products.at(product), descriptor);
                references[type] = ReferenceOf(agent.Manager(), products.at(product));
            } else if (kind == "detach") {
                const size_t count = agent.Manager().GetNumHIDDevices();
                agent.HID().Remove({devices.at(type)});
                ASSERT_TRUE(agent.RunUntil([&] { return agent.Manager().GetNumHIDDevices() == count - 1; }));
            } else if (kind == "press") {
                ASSERT_TRUE(agent.Press(devices.at(type), inputs.at(rest)));
            } else if (kind == "report") {
                ASSERT_TRUE(agent.HID().SendReport(devices.at(type), Bytes(rest, references)));
            } else if (kind == "send") {
                const AMessageData payload = Bytes(rest, references);
                const auto port = ARemoteMessagePort::Create("MouseClickPort");
                ASSERT_NE(port, nullptr);
                EXPECT_EQ(port->SendRequest(std::stoi(type), rest.empty() ? nullptr : &payload, 1.0, 1.0, nullptr),
                          AMessagePortStatus::kSuccess);
            } else if (kind == "click-port") {  // once the presses before are handled
                ASSERT_TRUE(RunUntilIdle(agent.Loop()));
                type == "off" ? agent.Manager().UnregisterMouseClickHandler()
                              : agent.Manager().RegisterMouseClickHandler();
            } else if (kind == "run") {
                runs.push_back(line->substr(4));
            } else if (kind == "keys") {
                keys = line->substr(5);
            } else if (kind == "alert") {
                const size_t bar = line->find(" | ");
                std::string message = line->substr(bar + 3);
                if (message.ends_with("\\n"))
                    message.replace(message.size() - 2, 2, "\n");
                alerts.push_back({line->substr(6, bar - 6), message});
            } else {
                ADD_FAILURE() << "an unknown line: " << *line;
            }
        }
        // Handled in order: once the last run has happened, everything before it has.
        agent.RunUntil([&] { return agent.ScriptRuns() == runs && Keys(agent.KeyEventsText()) == keys; }, 3.0);
        ASSERT_TRUE(RunUntilIdle(agent.Loop()));
        EXPECT_EQ(agent.ScriptRuns(), runs);
        EXPECT_EQ(Keys(agent.KeyEventsText()), keys);
        EXPECT_EQ(agent.Alerts(), alerts);
    }
}
