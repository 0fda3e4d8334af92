// The whole agent: in this process, on the harness (stand-in HID reports in,
// the real agent in between - queue, message ports, dispatcher, store,
// launchers, NX-to-evdev translation - recorded effects out), and as the real
// nuvexa-agent program.
//   - a press or a message performs its mapped action (the cases of
//     tests/fixtures/agent/presses.txt, among them a store that cannot be
//     read and two devices of one type);
//   - Setup and Detach, sleep and wake through python3-dbusmock's logind,
//     devices arriving and leaving, and the device list it serves;
//   - the program in a private session (no devices, no /dev/uinput, no logind
//     there: it must run all the same), asked by the real nuvexactl,
//     interrupted and stopped.

#include "tests/support/AAgentHarness.h"
#include "tests/support/AChildProgram.h"
#include "tests/support/ARunUntilIdle.h"
#include "tests/support/AStandInLogind.h"

#include "platform/bus/ALogindPowerMonitor.h"
#include "platform/ports/AMessagePort.h"
#include "prefs/APrefController.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>

namespace {

using AHandle = AStandInHIDBackend::AHandle;

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

// Hex bytes, "00*12" a byte twelve times.
AMessageData Bytes(const std::string& text)
{
    AMessageData bytes;
    std::istringstream tokens(text);
    for (std::string token; tokens >> token;) {
        const size_t star = token.find('*');
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

// Asks "MouseListPort" from another thread while the agent's loop runs here.
std::string RequestDeviceList(AAgentHarness& agent, int32_t messageId = 0, const AMessageData* payload = nullptr)
{
    std::optional<AMessageData> reply;
    std::atomic<bool> done = false;
    std::thread client([&] {
        if (auto port = ARemoteMessagePort::Create("MouseListPort"))
            port->SendRequest(messageId, payload, 1.0, 1.0, &reply);
        done = true;
    });
    for (int i = 0; i < 1000 && !done; ++i)  // nothing on the loop hears the client finish
        agent.Loop().RunOnce(5'000);
    client.join();
    return reply ? std::string(reply->begin(), reply->end()) : "(no reply)";
}

// The served device list's types, in order, as "0 2 -1".
std::string Types(AAgentHarness& agent)
{
    const std::string text = RequestDeviceList(agent);
    std::string types;
    for (size_t at = text.find("type=\""); at != std::string::npos; at = text.find("type=\"", at + 1))
        types += (types.empty() ? "" : " ") + text.substr(at + 6, text.find('"', at + 6) - at - 6);
    return types;
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
    const std::set<std::string> mappingKinds = {"device", "event", "without", "resources"};
    const auto isMapping = [&](const std::string& line) { return mappingKinds.contains(std::get<0>(Words(line))); };
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
        std::string runs;
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
            } else if (kind == "detach") {
                const size_t count = agent.Manager().GetNumHIDDevices();
                agent.HID().Remove({devices.at(type)});
                ASSERT_TRUE(agent.RunUntil([&] { return agent.Manager().GetNumHIDDevices() == count - 1; }));
            } else if (kind == "press") {
                ASSERT_TRUE(agent.Press(devices.at(type), inputs.at(rest)));
            } else if (kind == "report") {
                ASSERT_TRUE(agent.HID().SendReport(devices.at(type), Bytes(rest)));
            } else if (kind == "send") {
                const AMessageData payload = Bytes(rest);
                const auto port = ARemoteMessagePort::Create("MouseClickPort");
                ASSERT_NE(port, nullptr);
                EXPECT_EQ(port->SendRequest(std::stoi(type), rest.empty() ? nullptr : &payload, 1.0, 1.0, nullptr),
                          AMessagePortStatus::kSuccess);
            } else if (kind == "click-port") {  // once the presses before are handled
                ASSERT_TRUE(RunUntilIdle(agent.Loop()));
                type == "off" ? agent.Manager().UnregisterMouseClickHandler()
                              : agent.Manager().RegisterMouseClickHandler();
            } else if (kind == "run") {
                runs += line->substr(4) + "\n";
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

TEST(AAgentLifecycle, DetachAndSleepGiveEverythingUpAndSetupAndWakeBuildItAgainLeakingNothing)
{
    AStandInLogind logind;
    AAgentHarness agent;
    agent.WriteMapping(MappingXml({{"rfmouse", 0, {{4, "keystroke", "0"}}}}));
    agent.Start([&agent](ADeviceManager& manager) -> std::unique_ptr<APowerMonitor> {
        return ALogindPowerMonitor::Open(agent.Loop(), ADeviceManager::PowerManagementCallback, &manager);
    });
    ADeviceManager& manager = agent.Manager();
    const auto mapped = [&] { return manager.GetPrefController()->GetEvent(kDeviceRFMouse, 4)->GetLaunchArg(); };
    const AHandle mouse = agent.AttachDevice(kProductRFMouse);
    const AHandle presenter = agent.AttachDevice(kProductPresenter);
    EXPECT_EQ(agent.Barrier(), 2);  // a device change for each arrival
    ASSERT_TRUE(logind.WaitForInhibitorCount(1));
    const auto locks = logind.ListInhibitors();
    EXPECT_EQ(locks.at(0).fWhat + " " + locks[0].fMode + " " + locks[0].fWho, "sleep delay Nuvexa Device Controller");
    EXPECT_EQ(CountServedAgentPorts(), 3);
    const AEventSystemPort keyboard = manager.GetIOHIDSystemPort();
    EXPECT_TRUE(manager.Setup());  // again while set up: every registration safe twice, nothing opened twice
    EXPECT_EQ(manager.GetNumHIDDevices(), 2);
    EXPECT_EQ(manager.GetIOHIDSystemPort(), keyboard);
    EXPECT_EQ(CountServedAgentPorts(), 3);
    // Only the reload notification reloads: not its name with another object
    // or none, nor its object as a name.
    agent.WriteMapping(MappingXml({{"rfmouse", 0, {{4, "keystroke", "11"}}}}));
    agent.Notifications().PostNotification("NuvexaAgent", "Other");
    agent.Notifications().PostNotification("NuvexaAgent", std::nullopt);
    agent.Notifications().PostNotification("PrefChange", std::nullopt);
    agent.Barrier();
    EXPECT_EQ(mapped(), "0");

    EXPECT_TRUE(manager.Detach());
    EXPECT_TRUE(manager.Detach());
    EXPECT_EQ(manager.GetNumHIDDevices(), 0);
    EXPECT_EQ(agent.HID().GetOpenConnectionCount(mouse) + agent.HID().GetOpenConnectionCount(presenter), 0u);
    EXPECT_EQ(manager.GetIOHIDSystemPort(), nullptr);
    EXPECT_EQ(CountServedAgentPorts(), 0);
    ASSERT_NE(manager.GetPrefController(), nullptr);  // the store stays
    // While detached the reload notification is not observed.
    agent.Notifications().PostNotification("NuvexaAgent", "PrefChange");
    agent.Barrier();
    EXPECT_EQ(mapped(), "0");

    // Set up from scratch: the devices present are opened anew, and the
    // reload notification makes the next press use the new mapping.
    EXPECT_TRUE(manager.Setup());
    EXPECT_EQ(manager.GetNumHIDDevices(), 2);
    EXPECT_EQ(CountServedAgentPorts(), 3);
    agent.Notifications().PostNotification("NuvexaAgent", "PrefChange");
    ASSERT_TRUE(agent.RunUntil([&] { return mapped() == "11"; }));
    EXPECT_EQ(agent.Barrier(), 1);

    // Sleep and wake do the same, every time.
    const auto openDescriptors = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
    std::ptrdiff_t descriptors = 0;  // once the first cycle has made what it keeps
    for (int i = 0; i < 100; ++i) {
        SCOPED_TRACE(i);
        logind.EmitPrepareForSleep(true);
        ASSERT_TRUE(agent.RunUntil([&] { return manager.GetNumHIDDevices() == 0; }));
        EXPECT_EQ(agent.HID().GetOpenConnectionCount(mouse), 0u);
        EXPECT_EQ(CountServedAgentPorts(), 0);
        if (i == 0) {
            EXPECT_EQ(agent.Barrier(), 1);
            EXPECT_TRUE(logind.WaitForInhibitorCount(0));  // the acknowledgement
        }
        logind.EmitPrepareForSleep(false);
        ASSERT_TRUE(agent.RunUntil([&] { return manager.GetNumHIDDevices() == 2; }));
        EXPECT_EQ(CountServedAgentPorts(), 3);
        if (i == 0) {
            EXPECT_EQ(agent.Barrier(), 1);
            descriptors = openDescriptors();
        }
    }
    EXPECT_EQ(openDescriptors(), descriptors);
    EXPECT_TRUE(logind.WaitForInhibitorCount(1));
    EXPECT_EQ(logind.CountInhibitCalls(), 101u);
    ASSERT_TRUE(agent.Press(mouse, AAgentHarness::kButton5));
    EXPECT_TRUE(agent.RunUntil([&] { return Keys(agent.KeyEventsText()) == "KEY_B"; })) << agent.KeyEventsText();
}

TEST(AAgentDevices, DevicesArriveAndLeaveInEveryOrderAndOnlyThoseThatCanActJoin)
{
    AAgentHarness agent;
    const auto add = [&](uint32_t pid) { return agent.HID().AddDevice(kVendorID, pid, AgentDescriptor("device")); };
    const auto batch = [&](const std::vector<AHandle>& devices, bool arrival) {
        arrival ? agent.HID().Arrive(devices) : agent.HID().Remove(devices);
        EXPECT_TRUE(RunUntilIdle(agent.Loop()));  // the batch delivered
        return agent.Barrier();  // the device changes posted for the batch
    };
    // Attached before the start: opened by Setup, with one change.
    const std::vector<AHandle> devices = {add(kProductRFMouse), add(kProductBTMouse), add(kProductPresenter)};
    agent.HID().Arrive({devices[0], devices[2]});
    agent.Start();
    // Of another maker, or without vendor or product: of unknown type.
    for (const AHIDService& service :
         {AHIDService{"", kVendorID + 1, 1001}, AHIDService{"", std::nullopt, 1001}, AHIDService{"", kVendorID, {}}})
        EXPECT_EQ(agent.Manager().QueryDeviceType(service), kDeviceUnknown);
    // Whatever the request, the list names every open device in arrival order.
    const AMessageData payload{'h', 'e', 'l', 'l', 'o'};
    EXPECT_EQ(RequestDeviceList(agent, 7, &payload), "<?xml version=\"1.0\"?>\n<devicelist>\n"
                                                     "    <device type=\"0\" />\n    <device type=\"2\" />\n"
                                                     "</devicelist>\n");
    EXPECT_EQ(agent.Barrier(), 1);
    EXPECT_EQ(batch({devices[0], devices[2]}, false), 1);
    EXPECT_EQ(RequestDeviceList(agent, -1), "<?xml version=\"1.0\"?>\n<devicelist />\n");
    // Without its manager the handler answers nothing.
    EXPECT_EQ(ADeviceManager::PrefListHandler(nullptr, 0, nullptr, nullptr), std::nullopt);

    std::vector<size_t> order = {0, 1, 2};  // the devices' types are their indexes
    do {
        SCOPED_TRACE(testing::PrintToString(order));
        std::vector<size_t> present;
        for (const size_t index : order) {
            EXPECT_EQ(batch({devices[index]}, true), 1);
            present.push_back(index);
        }
        // Leave in the next order of arrival rotated, so every device leaves from every position.
        std::vector<size_t> leaving = order;
        std::rotate(leaving.begin(), leaving.begin() + 1, leaving.end());
        for (const size_t index : leaving) {
            std::string expected;
            for (const size_t other : present)
                expected += (expected.empty() ? "" : " ") + std::to_string(other);
            EXPECT_EQ(Types(agent), expected);
            EXPECT_EQ(batch({devices[index]}, false), 1);
            present.erase(std::find(present.begin(), present.end(), index));
        }
    } while (std::next_permutation(order.begin(), order.end()));

    // Who joins: another product with X and Y as type -1, and so does a
    // known product whose properties cannot be read; one batch, one change.
    const AHandle other = add(4242), unreadable = add(kProductRFMouse);
    agent.HID().Faults(unreadable).fPropertiesUnreadable = true;
    EXPECT_EQ(batch({other, unreadable}, true), 1);
    EXPECT_EQ(batch({other}, true), 0);  // reported again: still one entry
    // Not added, nothing posted: no axes, elements unreadable, open failing.
    const AHandle keyboard = agent.HID().AddDevice(kVendorID, kProductPresenter, AgentDescriptor("keyboard-only"));
    const AHandle noElements = add(kProductPresenter), closed = add(kProductPresenter);
    agent.HID().Faults(noElements).fCopyElementsFails = true;
    agent.HID().Faults(closed).fOpenFails = true;
    EXPECT_EQ(batch({keyboard, noElements, closed}, true), 0);
    EXPECT_EQ(agent.HID().GetOpenConnectionCount(keyboard) + agent.HID().GetOpenConnectionCount(noElements) +
                  agent.HID().GetOpenConnectionCount(closed), 0u);
    EXPECT_EQ(batch({keyboard, noElements}, false), 0);
    EXPECT_EQ(Types(agent), "-1 -1");
    // Reported again once it can be opened (udev's "change" after access was granted), it joins.
    agent.HID().Faults(closed).fOpenFails = false;
    EXPECT_EQ(batch({closed}, true), 1);
    EXPECT_EQ(Types(agent), "-1 -1 2");
    EXPECT_EQ(batch({other, closed, keyboard}, false), 1);
    EXPECT_EQ(Types(agent), "-1");
}

TEST(AAgentProcess, RefusesBadOptionsAndASecondAgentAndRunsWithAStoreItCannotCreateUntilInterruptedOrTerminated)
{
    AAgentSession session;
    // No system bus: the agent runs without sleep and wake handling.
    AScopedEnvironment systemBus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (session.Root() / "none").string());
    const AProgramResult bogus = RunProgram(BuildBinaryPath("nuvexa-agent"), {"--bogus"});
    EXPECT_EQ(bogus.fStatus, 2);
    EXPECT_NE(bogus.fStderr.find("unknown option '--bogus'"), std::string::npos);
    EXPECT_EQ(CountServedAgentPorts(), 0);
    WriteWholeFile(session.ConfigFolder() / "Nuvexa", "a file where the folder belongs");
    for (const auto& [signal, output] : {std::pair{SIGINT, "\nInterrupted...\n"}, {SIGTERM, ""}}) {
        SCOPED_TRACE(strsignal(signal));
        // Ready once its device list port answers.
        AChildProgram agent(BuildBinaryPath("nuvexa-agent"), {});
        ASSERT_TRUE(WaitFor([&] { return !agent.IsRunning() || ARemoteMessagePort::Create("MouseListPort"); }) &&
                    agent.IsRunning())
            << agent.Stderr();
        const AProgramResult second = RunProgram(BuildBinaryPath("nuvexa-agent"), {}, {}, 10.0);
        EXPECT_EQ(second.fStatus, 3);
        EXPECT_NE(second.fStderr.find("another agent is already running"), std::string::npos) << second.fStderr;
        // The first still serves the real nuvexactl.
        const AProgramResult devices = RunProgram(BuildBinaryPath("nuvexactl"), {"devices", "--json"});
        EXPECT_EQ(devices.fStatus, 0) << devices.fStderr;
        EXPECT_EQ(devices.fStdout, "{\"devices\":[]}\n");
        // With no notification service on this bus the report is on standard error.
        EXPECT_TRUE(WaitFor([&] {
            return agent.Stderr().find("nuvexa-agent: cannot read the button mappings: PrefController: Could not "
                                       "locate config file") != std::string::npos;
        })) << agent.Stderr();
        agent.Signal(signal);
        EXPECT_EQ(agent.Wait(10.0), 0);
        EXPECT_EQ(agent.Stdout(), output);
        EXPECT_EQ(CountServedAgentPorts(), 0);  // every port name given up
    }
}
