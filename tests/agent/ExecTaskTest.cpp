#include "agent/ExecTask.h"

#include "tests/support/ARecordingAlertPresenter.h"
#include "tests/support/AStandInPrograms.h"
#include "tests/support/ATestPaths.h"

#include <gtest/gtest.h>

#include <csignal>

using namespace std::chrono_literals;
using AAlert = ARecordingAlertPresenter::AAlert;

namespace {

// A folder placed first on PATH for the test, where stand-in launchers go.
class ExecTaskTest : public ::testing::Test {
protected:
    ExecTaskTest() : fPath("PATH", (fFolder.Path() / "bin").string() + ":" + getenv("PATH"))
    {
        std::filesystem::create_directory(fFolder.Path() / "bin");
    }

    std::filesystem::path Tool(const std::string& name) const { return fFolder.Path() / "bin" / name; }
    std::filesystem::path Record() const { return fFolder.Path() / "record"; }

    ATemporaryFolder fFolder;
    AScopedEnvironment fPath;
    ARecordingAlertPresenter fAlerts;
};

} // namespace

TEST_F(ExecTaskTest, AbsentPathRunsNothingAndShowsNothing)
{
    WriteRecorder(Tool("xdg-open"), Record(), "would complain");
    ExecTask(nullptr, fAlerts);
    EXPECT_FALSE(std::filesystem::exists(Record()));
    EXPECT_TRUE(fAlerts.Alerts().empty());
}

TEST_F(ExecTaskTest, LauncherGetsThePathAsItsOnlyArgumentAndSilenceMeansNoAlert)
{
    WriteRecorder(Tool("xdg-open"), Record());
    const std::string paths[] = {
        "/home/u/My Files/it's \"quoted\" $HOME `id` *.txt %d %@",
        "/usr/share/applications",
        "https://example.org/?a=1&b=2",
        "",
    };
    for (const std::string& path : paths) {
        ExecTask(&path, fAlerts);
        EXPECT_EQ(ReadRecordedArguments(Record()), std::vector<std::string>{path}) << path;
    }
    EXPECT_TRUE(fAlerts.Alerts().empty());
}

TEST_F(ExecTaskTest, PathStartingWithADashIsNotTakenForAnOption)
{
    WriteRecorder(Tool("xdg-open"), Record());
    const std::string path = "--help me.txt";
    ExecTask(&path, fAlerts);
    EXPECT_EQ(ReadRecordedArguments(Record()), std::vector<std::string>{"./--help me.txt"});
}

TEST_F(ExecTaskTest, LauncherErrorOutputIsShownVerbatimAsLaunchError)
{
    const std::string complaint = "xdg-open: file '/no/such %@ %d %s' does not exist\n";
    WriteRecorder(Tool("xdg-open"), Record(), complaint, 0);  // the exit status is not what decides
    const std::string path = "/no/such %@ %d %s";
    ExecTask(&path, fAlerts);
    EXPECT_EQ(fAlerts.Alerts(), (std::vector<AAlert>{{"Launch Error", complaint}}));

    // Bytes that are not UTF-8 become U+FFFD; valid UTF-8 is kept.
    WriteRecorder(Tool("xdg-open"), Record(), "caf\xE9 \xE2\x80\x98x\xE2\x80\x99", 2);
    ExecTask(&path, fAlerts);
    ASSERT_EQ(fAlerts.Alerts().size(), 2u);
    EXPECT_EQ(fAlerts.Alerts()[1].fMessage, "caf\xEF\xBF\xBD \xE2\x80\x98x\xE2\x80\x99");
}

TEST_F(ExecTaskTest, LauncherThatCannotStartGivesLaunchErrorWithEmptyMessage)
{
    AScopedEnvironment onlyOurs("PATH", (fFolder.Path() / "bin").string());
    const std::string path = "/tmp/anything.txt";
    ExecTask(&path, fAlerts);  // no xdg-open anywhere
    WriteWholeFile(Tool("xdg-open"), "#!/bin/sh\n");  // present but not executable
    ExecTask(&path, fAlerts);
    EXPECT_EQ(fAlerts.Alerts(), (std::vector<AAlert>{{"Launch Error", ""}, {"Launch Error", ""}}));
}

TEST_F(ExecTaskTest, DesktopEntryIsLaunchedAsAnApplication)
{
    WriteRecorder(Tool("xdg-open"), fFolder.Path() / "opened");
    WriteRecorder(Tool("gio"), Record());
    const std::string entry = "/usr/share/applications/org.example.App Name.desktop";
    ExecTask(&entry, fAlerts);
    EXPECT_EQ(ReadRecordedArguments(Record()), (std::vector<std::string>{"launch", entry}));
    EXPECT_FALSE(std::filesystem::exists(fFolder.Path() / "opened")) << "not opened as a text file";
    EXPECT_TRUE(fAlerts.Alerts().empty());

    const std::string complaint = "gio: Unable to load \xE2\x80\x98/x.desktop\xE2\x80\x98: No such file\n";
    WriteRecorder(Tool("gio"), Record(), complaint, 1);
    ExecTask(&entry, fAlerts);
    EXPECT_EQ(fAlerts.Alerts(), (std::vector<AAlert>{{"Launch Error", complaint}}));
}

TEST_F(ExecTaskTest, ApplicationKeepingTheErrorStreamOpenDoesNotHoldTheAgent)
{
    // The launcher starts an application in the background that inherits
    // its standard error and outlives it; only the launcher's words count.
    const auto pidFile = fFolder.Path() / "app.pid";
    WriteExecutable(Tool("xdg-open"), "#!/bin/sh\n"
                                      "sleep 300 &\n"
                                      "echo $! > " + ShellQuoted(pidFile.string()) + "\n"
                                      "echo 'launcher: warned' >&2\n");
    const std::string path = "/tmp/a.txt";
    ExecTask(&path, fAlerts);
    EXPECT_EQ(fAlerts.Alerts(), (std::vector<AAlert>{{"Launch Error", "launcher: warned\n"}}));
    const pid_t application = std::stoi(ReadWholeFile(pidFile));
    EXPECT_EQ(kill(application, 0), 0) << "the application keeps running";
    kill(application, SIGKILL);
}

TEST_F(ExecTaskTest, LauncherRunningPastTheLimitIsLeftToFinishOnItsOwn)
{
    // xdg-open on a desktop it does not know runs the application itself.
    const auto pidFile = fFolder.Path() / "launcher.pid";
    WriteExecutable(Tool("xdg-open"), "#!/bin/sh\n"
                                      "echo $$ > " + ShellQuoted(pidFile.string()) + "\n"
                                      "echo 'app: starting' >&2\n"
                                      "exec sleep 300\n");
    const std::string path = "/tmp/a.txt";
    ExecTask(&path, fAlerts, 1s);
    EXPECT_EQ(fAlerts.Alerts(), (std::vector<AAlert>{{"Launch Error", "app: starting\n"}}));
    const pid_t launcher = std::stoi(ReadWholeFile(pidFile));
    EXPECT_EQ(kill(launcher, 0), 0) << "not killed";
    kill(launcher, SIGKILL);
}
