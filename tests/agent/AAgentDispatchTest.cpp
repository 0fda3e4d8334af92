// A press on a device performs its mapped action, end to end: stand-in HID
// reports in, the real agent in between (queue, message port, dispatcher,
// store, launchers, NX-to-evdev translation), recorded effects out.

#include "tests/support/AAgentHarness.h"

#include "platform/ports/AMessagePort.h"
#include "prefs/APrefController.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using AHandle = AStandInHIDBackend::AHandle;

// Key strokes as the virtual keyboard sees them.
const std::string kShiftSuper3 =
    "KEY_LEFTSHIFT down, SYN_REPORT, KEY_LEFTMETA down, SYN_REPORT, KEY_3 down, SYN_REPORT, KEY_3 up, SYN_REPORT, "
    "KEY_LEFTMETA up, SYN_REPORT, KEY_LEFTSHIFT up, SYN_REPORT";
const std::string kAltSuperP =
    "KEY_LEFTALT down, SYN_REPORT, KEY_LEFTMETA down, SYN_REPORT, KEY_P down, SYN_REPORT, KEY_P up, SYN_REPORT, "
    "KEY_LEFTMETA up, SYN_REPORT, KEY_LEFTALT up, SYN_REPORT";
const std::string kKeyA = "KEY_A down, SYN_REPORT, KEY_A up, SYN_REPORT";

std::vector<std::string> Runs(std::initializer_list<const char*> names)
{
    return {names.begin(), names.end()};
}

} // namespace

TEST(AAgentDispatch, WithoutAMappingButtons4And5RunTheBrowserScriptsOnEveryDeviceType)
{
    for (const char* mapping : {"", "record without events", "default mappings"}) {
        AAgentHarness agent;
        if (std::string(mapping) == "record without events")
            agent.WriteMapping(MappingXml({{"rfmouse", 0, {}}, {"btmouse", 0, {}}, {"presenter", 0, {}}}));
        else if (std::string(mapping) == "default mappings")
            agent.WriteMapping(MappingXml({{"presenter", 0, {{4, "default", ""}, {5, "default", ""}}}}));
        agent.Start();
        const AHandle rf = agent.AttachDevice(kProductRFMouse);
        const AHandle presenter = agent.AttachDevice(kProductPresenter);
        ASSERT_TRUE(agent.Press(rf, AAgentHarness::kButton5));         // button id 4
        ASSERT_TRUE(agent.Press(rf, AAgentHarness::kButton4));         // button id 5
        ASSERT_TRUE(agent.Press(presenter, AAgentHarness::kBracketLeft));   // 4
        ASSERT_TRUE(agent.Press(presenter, AAgentHarness::kBracketRight));  // 5
        const auto expected = Runs({"SafariBack.scpt", "SafariForward.scpt", "SafariBack.scpt", "SafariForward.scpt"});
        EXPECT_TRUE(agent.RunUntil([&] { return agent.ScriptRuns().size() >= expected.size(); })) << mapping;
        EXPECT_EQ(agent.ScriptRuns(), expected) << mapping;
    }
}

TEST(AAgentDispatch, TheShippedBackAndForwardScriptsTypeAltLeftAndAltRightThroughTheAgent)
{
    // The build's real scripts, which hand "58|123|58" to the build's
    // nuvexactl, which hands it to this agent's "KeyStrokePort".
    AAgentHarness agent(AAgentHarness::AKeyboard::kEvdev, AAgentHarness::AResources::kBuild);
    agent.Start();
    const AHandle mouse = agent.AttachDevice(kProductBTMouse);
    ASSERT_TRUE(agent.Press(mouse, AAgentHarness::kButton5));
    const std::string back =
        "KEY_LEFTALT down, SYN_REPORT, KEY_LEFT down, SYN_REPORT, KEY_LEFT up, SYN_REPORT, KEY_LEFTALT up, SYN_REPORT";
    EXPECT_TRUE(agent.RunUntil([&] { return agent.KeyEventsText() == back; })) << agent.KeyEventsText();
    ASSERT_TRUE(agent.Press(mouse, AAgentHarness::kButton4));
    const std::string forward = back + ", " +
        "KEY_LEFTALT down, SYN_REPORT, KEY_RIGHT down, SYN_REPORT, KEY_RIGHT up, SYN_REPORT, KEY_LEFTALT up, SYN_REPORT";
    EXPECT_TRUE(agent.RunUntil([&] { return agent.KeyEventsText() == forward; })) << agent.KeyEventsText();
}

// Runs the press of button id 4 (mapped as given) and then of button id 5
// (mapped to a script that records "good.sh"), and returns everything run
// once the second press has been handled: in-order handling makes the second
// press the sign that the first one is done.
std::vector<std::string> PressThenGood(AAgentHarness& agent, const std::string& launchType,
                                       const std::string& argument, AHandle* deviceOut = nullptr)
{
    agent.WriteScript("good.sh");
    const std::string good = (agent.ResourceFolder() / "good.sh").string();
    agent.WriteMapping(MappingXml({{"rfmouse", 0, {{4, launchType, argument}, {5, "applescript", good}}}}));
    agent.Start();
    const AHandle mouse = agent.AttachDevice(kProductRFMouse);
    if (deviceOut != nullptr)
        *deviceOut = mouse;
    EXPECT_TRUE(agent.Press(mouse, AAgentHarness::kButton5));
    EXPECT_TRUE(agent.Press(mouse, AAgentHarness::kButton4));
    EXPECT_TRUE(agent.RunUntil([&] {
        const auto runs = agent.ScriptRuns();
        return !runs.empty() && runs.back() == "good.sh";
    }));
    auto runs = agent.ScriptRuns();
    if (!runs.empty())
        runs.pop_back();
    return runs;
}

TEST(AAgentDispatch, AScriptMappingRunsTheScriptAndEveryFailureIsDroppedWithoutHarm)
{
    const struct {
        const char* fCase;
        const char* fFile;  // in the resource folder; null for the empty path
        std::vector<std::string> fRuns;
    } cases[] = {
        {"runs", "ok.sh", {"ok.sh"}},
        {"fails with status and message", "fails.sh", {"fails.sh"}},
        {"killed by a signal", "killed.sh", {"killed.sh"}},
        {"missing file", "missing.sh", {}},
        {"a folder", "a-folder", {}},
        {"not executable", "plain.txt", {}},
        {"empty path", nullptr, {}},
    };
    for (const auto& c : cases) {
        AAgentHarness agent;
        agent.WriteScript("ok.sh");
        agent.WriteScript("fails.sh", "echo 'it went wrong' >&2; exit 3");
        agent.WriteScript("killed.sh", "kill -KILL $$");
        WriteWholeFile(agent.ResourceFolder() / "plain.txt", "echo never\n");
        std::filesystem::create_directory(agent.ResourceFolder() / "a-folder");
        const std::string argument = c.fFile != nullptr ? (agent.ResourceFolder() / c.fFile).string() : "";
        EXPECT_EQ(PressThenGood(agent, "applescript", argument), c.fRuns) << c.fCase;
        EXPECT_TRUE(agent.Alerts().empty()) << c.fCase;
    }
}

TEST(AAgentDispatch, AnApplicationMappingOpensItThroughTheDesktopLauncher)
{
    {
        AAgentHarness agent;
        EXPECT_EQ(PressThenGood(agent, "exec", "/opt/Some App/start here"),
                  std::vector<std::string>{"xdg-open /opt/Some App/start here"});
        EXPECT_TRUE(agent.Alerts().empty());
    }
    {
        // The launcher's complaint reaches the user as "Launch Error".
        AAgentHarness agent;
        EXPECT_EQ(PressThenGood(agent, "exec", "/nowhere/missing.app"),
                  std::vector<std::string>{"xdg-open /nowhere/missing.app"});
        ASSERT_EQ(agent.Alerts().size(), 1u);
        EXPECT_EQ(agent.Alerts()[0].fTitle, "Launch Error");
        EXPECT_EQ(agent.Alerts()[0].fMessage, "xdg-open: file '/nowhere/missing.app' does not exist\n");
    }
    {
        // The empty argument is handed to the launcher as it is.
        AAgentHarness agent;
        EXPECT_EQ(PressThenGood(agent, "exec", ""), std::vector<std::string>{"xdg-open "});
    }
}

TEST(AAgentDispatch, KeyStrokeMappingsPlayTheirKeysAndAnEmptyListPlaysNothing)
{
    const struct {
        const char* fList;
        std::string fKeys;
    } cases[] = {
        {"56|55|20|55|56", kShiftSuper3},
        {"0", kKeyA},
        // Command left down is released when the action ends.
        {"55|0", "KEY_LEFTMETA down, SYN_REPORT, " + kKeyA + ", KEY_LEFTMETA up, SYN_REPORT"},
        {"", ""},
    };
    for (const auto& c : cases) {
        AAgentHarness agent;
        PressThenGood(agent, "keystroke", c.fList);
        EXPECT_EQ(agent.KeyEventsText(), c.fKeys) << c.fList;
    }
}

TEST(AAgentDispatch, EachPredefinedFunctionDoesItsJob)
{
    const struct {
        const char* fArgument;
        std::string fKeys;
        std::vector<std::string> fRuns;
    } cases[] = {
        {"0", "KEY_EJECTCD down, SYN_REPORT, KEY_EJECTCD up, SYN_REPORT", {}},
        {"", "KEY_EJECTCD down, SYN_REPORT, KEY_EJECTCD up, SYN_REPORT", {}},  // no digits read as 0
        {"1", kShiftSuper3, {}},
        {"2", "KEY_LEFTMETA down, SYN_REPORT, " + kKeyA + ", KEY_LEFTMETA up, SYN_REPORT", {}},
        {"3", "KEY_VOLUMEUP down, SYN_REPORT, KEY_VOLUMEUP up, SYN_REPORT", {}},
        {"4", "KEY_VOLUMEDOWN down, SYN_REPORT, KEY_VOLUMEDOWN up, SYN_REPORT", {}},
        {"5", "KEY_MUTE down, SYN_REPORT, KEY_MUTE up, SYN_REPORT", {}},
        {"6", "KEY_F9 down, SYN_REPORT, KEY_F9 up, SYN_REPORT", {}},
        {"7", "KEY_F10 down, SYN_REPORT, KEY_F10 up, SYN_REPORT", {}},
        {"8", "KEY_F11 down, SYN_REPORT, KEY_F11 up, SYN_REPORT", {}},
        {"9", "KEY_F12 down, SYN_REPORT, KEY_F12 up, SYN_REPORT", {}},
        {"10", "", {"FirefoxForward.scpt"}},
        {"11", "", {"FirefoxBack.scpt"}},
        {"12", "", {"iTunesPlayPause.scpt"}},
        {"13", "", {"iTunesStop.scpt"}},
        {"14", "", {}},
        {"65546", "", {"FirefoxForward.scpt"}},  // the low 16 bits: 10
    };
    for (const auto& c : cases) {
        AAgentHarness agent;
        EXPECT_EQ(PressThenGood(agent, "predefinedkeys", c.fArgument), c.fRuns) << c.fArgument;
        EXPECT_EQ(agent.KeyEventsText(), c.fKeys) << c.fArgument;
    }
}

TEST(AAgentDispatch, PredefinedScriptsRunOnlyWhenPresent)
{
    for (const char* number : {"10", "11", "12", "13"}) {
        AAgentHarness agent;
        for (const char* name : {"FirefoxForward.scpt", "FirefoxBack.scpt", "iTunesPlayPause.scpt", "iTunesStop.scpt"})
            std::filesystem::remove(agent.ResourceFolder() / name);
        EXPECT_EQ(PressThenGood(agent, "predefinedkeys", number), std::vector<std::string>{}) << number;
        EXPECT_EQ(agent.KeyEventsText(), "") << number;
    }
}

TEST(AAgentDispatch, ThePresentationKeyActsByPresentationType)
{
    const struct {
        const char* fCase;
        std::vector<AMappedDevice> fMapping;
        std::string fKeys;
        std::vector<std::string> fRuns;
    } cases[] = {
        {"type 0", {{"presenter", 0, {}}}, kAltSuperP, {}},
        {"type 1", {{"presenter", 1, {}}}, "", {"PowerPointStart.scpt"}},
        {"type 2", {{"presenter", 2, {}}}, "", {}},
        {"no record", {{"btmouse", 1, {}}}, kAltSuperP, {}},
    };
    for (const auto& c : cases) {
        AAgentHarness agent;
        agent.WriteScript("good.sh");
        auto mapping = c.fMapping;
        mapping.push_back({"rfmouse", 0, {{4, "applescript", (agent.ResourceFolder() / "good.sh").string()}}});
        agent.WriteMapping(MappingXml(mapping));
        agent.Start();
        const AHandle presenter = agent.AttachDevice(kProductPresenter);
        const AHandle mouse = agent.AttachDevice(kProductRFMouse);
        ASSERT_TRUE(agent.Press(presenter, AAgentHarness::kKeyP));
        ASSERT_TRUE(agent.Press(mouse, AAgentHarness::kButton5));
        ASSERT_TRUE(agent.RunUntil([&] {
            const auto runs = agent.ScriptRuns();
            return !runs.empty() && runs.back() == "good.sh";
        })) << c.fCase;
        auto runs = agent.ScriptRuns();
        runs.pop_back();
        EXPECT_EQ(runs, c.fRuns) << c.fCase;
        EXPECT_EQ(agent.KeyEventsText(), c.fKeys) << c.fCase;
    }
}
