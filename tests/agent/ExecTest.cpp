// The two launchers of the agent's actions: ExecAppleScript runs a script and
// raises AppleScriptEvent with the reason it failed; ExecTask opens a path
// through the desktop launcher and shows what the launcher said as an alert.

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

TEST_F(ExecTaskTest, TheLauncherGetsThePathAsItsOnlyArgumentAndItsSilenceIsNoAlert)
{
    WriteRecorder(Tool("xdg-open"), Record(), "would complain");
    ExecTask(nullptr, fAlerts);  // the absent path runs nothing
    EXPECT_FALSE(std::filesystem::exists(Record()));
    WriteRecorder(Tool("xdg-open"), Record());
    const std::pair<std::string, std::string> rows[] = {
        {"/home/u/My Files/it's \"quoted\" $HOME `id` *.txt %d %@", ""},
        {"https://example.org/?a=1&b=2", ""},
        {"", ""},
        {"--help me.txt", "./--help me.txt"},  // not taken for an option
    };
    for (const auto& [path, argument] : rows) {
        ExecTask(&path, fAlerts);
        EXPECT_EQ(ReadRecordedArguments(Record()), std::vector<std::string>{argument.empty() ? path : argument})
            << path;
    }
    EXPECT_EQ(fAlerts.fAlerts, AAlerts{});
}

TEST_F(ExecTaskTest, WhatTheLauncherSaysIsShownAsLaunchError)
{
    const std::string path = "/no/such %@ %d %s";
    const std::string complaint = "xdg-open: file '/no/such %@ %d %s' does not exist\n";
    WriteRecorder(Tool("xdg-open"), Record(), complaint, 0);  // the exit status is not what decides
    ExecTask(&path, fAlerts);
    // Bytes that are not UTF-8 become U+FFFD; valid UTF-8 is kept.
    WriteRecorder(Tool("xdg-open"), Record(), "caf\xE9 \xE2\x80\x98x\xE2\x80\x99", 2);
    ExecTask(&path, fAlerts);
    AScopedEnvironment onlyOurs("PATH", fFolder.Path().string());
    std::filesystem::remove(Tool("xdg-open"));  // no launcher at all
    ExecTask(&path, fAlerts);
    WriteWholeFile(Tool("xdg-open"), "#!/bin/sh\n");  // present but not executable
    ExecTask(&path, fAlerts);
    EXPECT_EQ(fAlerts.fAlerts, (AAlerts{{"Launch Error", complaint},
                                        {"Launch Error", "caf\xEF\xBF\xBD \xE2\x80\x98x\xE2\x80\x99"},
                                        {"Launch Error", ""},
                                        {"Launch Error", ""}}));
}

TEST_F(ExecTaskTest, ADesktopEntryIsLaunchedAsAnApplication)
{
    WriteRecorder(Tool("xdg-open"), fFolder.Path() / "opened");
    WriteRecorder(Tool("gio"), Record());
    const std::string entry = "/usr/share/applications/org.example.App Name.desktop";
    ExecTask(&entry, fAlerts);
    EXPECT_EQ(ReadRecordedArguments(Record()), (std::vector<std::string>{"launch", entry}));
    EXPECT_FALSE(std::filesystem::exists(fFolder.Path() / "opened")) << "not opened as a text file";
    const std::string complaint = "gio: Unable to load \xE2\x80\x98/x.desktop\xE2\x80\x98: No such file\n";
    WriteRecorder(Tool("gio"), Record(), complaint, 1);
    ExecTask(&entry, fAlerts);
    EXPECT_EQ(fAlerts.fAlerts, (AAlerts{{"Launch Error", complaint}}));
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
