// The two launchers of the agent's actions, where the whole agent cannot
// reach (tests/fixtures/agent/presses.txt has the rest): ExecAppleScript
// raises AppleScriptEvent with the reason a script failed; ExecTask shows
// what the desktop launcher said, or that there was none, as an alert.

#include "agent/ExecAppleScript.h"
#include "agent/ExecTask.h"

#include "prefs/AException.h"
#include "tests/support/AAgentHarness.h"
#include "tests/support/AStandInPrograms.h"

#include <gtest/gtest.h>

#include <csignal>

using namespace std::chrono_literals;
using AAlerts = std::vector<ARecordingAlerts::AAlert>;

namespace {

// The reason ExecAppleScript raised, or nothing when it returned normally.
std::optional<std::string> FailureOf(const std::string* path)
{
    try {
        ExecAppleScript(path);
    } catch (const AException& failure) {
        EXPECT_EQ(failure.GetName(), "AppleScriptEvent");
        return failure.GetReason();
    }
    return std::nullopt;
}

// A folder first on PATH for stand-in launchers.
class ExecTaskTest : public ::testing::Test {
protected:
    std::filesystem::path Tool(const std::string& name) const { return fFolder.Path() / name; }
    std::filesystem::path Record() const { return fFolder.Path() / "record"; }

    ATemporaryFolder fFolder;
    AScopedEnvironment fPath{"PATH", fFolder.Path().string() + ":" + getenv("PATH")};
    ARecordingAlerts fAlerts;
};

} // namespace

TEST(ExecAppleScript, EachFailureRaisesAppleScriptEventWithItsReason)
{
    for (const auto& [rule, name, reason] : ReadFixtureRows("agent/script-failures.txt")) {
        const std::string path = name == "(empty)" ? "" : FixturePath("agent/scripts/" + name).string();
        EXPECT_EQ(FailureOf(name == "(absent)" ? nullptr : &path), reason) << rule;
    }
}

TEST(ExecAppleScript, ACleanScriptRunsToItsEndWithoutArgumentsOrInputAndAfreshEachTime)
{
    ATemporaryFolder folder;
    AScopedEnvironment record("NUVEXA_RUN_LOG", (folder.Path() / "record").string());
    const std::string clean = FixturePath("agent/scripts/clean %d.scpt").string();
    EXPECT_EQ(FailureOf(&clean), std::nullopt);
    EXPECT_EQ(ReadWholeFile(folder.Path() / "record"), "0\nno input\n");
    const std::string script = (folder.Path() / "changing.scpt").string();
    for (const char* text : {"first", "second"}) {
        WriteExecutable(script, std::string("#!/bin/sh\necho ") + text + " > \"$NUVEXA_RUN_LOG\"\n");
        ExecAppleScript(script);
        EXPECT_EQ(ReadWholeFile(folder.Path() / "record"), text + std::string("\n"));
    }
}

TEST_F(ExecTaskTest, WithoutARunnableLauncherItIsALaunchErrorAndTheAbsentPathRunsNothing)
{
    AScopedEnvironment onlyOurs("PATH", fFolder.Path().string());
    const std::string path = "/a.txt";
    ExecTask(&path, fAlerts);  // no launcher at all
    WriteWholeFile(Tool("xdg-open"), "#!/bin/sh\n");  // present but not executable
    ExecTask(&path, fAlerts);
    WriteRecorder(Tool("xdg-open"), Record(), "would complain");
    ExecTask(nullptr, fAlerts);
    EXPECT_FALSE(std::filesystem::exists(Record()));
    EXPECT_EQ(fAlerts.fAlerts, (AAlerts{{"Launch Error", ""}, {"Launch Error", ""}}));
}

TEST_F(ExecTaskTest, NeitherAnApplicationHoldingTheErrorStreamNorALauncherPastTheLimitHoldsTheAgent)
{
    // The launcher starts an application in the background that inherits its
    // standard error and outlives it; or, on a desktop it does not know, runs
    // the application itself. Only the launcher's words count, and nothing
    // is killed.
    const std::string pid = ShellQuoted(Record().string());
    const std::string rows[] = {"sleep 300 & echo $! > " + pid + "; echo 'launcher: warned' >&2",
                                "echo $$ > " + pid + "; echo 'launcher: warned' >&2; exec sleep 300"};
    for (const std::string& body : rows) {
        WriteExecutable(Tool("xdg-open"), "#!/bin/sh\n" + body + "\n");
        const std::string path = "/tmp/a.txt";
        ExecTask(&path, fAlerts, 1s);
        const pid_t running = std::stoi(ReadWholeFile(Record()));
        EXPECT_EQ(kill(running, 0), 0) << body;
        kill(running, SIGKILL);
    }
    const ARecordingAlerts::AAlert warned{"Launch Error", "launcher: warned\n"};
    EXPECT_EQ(fAlerts.fAlerts, (AAlerts{warned, warned}));
}
