#include "agent/ExecAppleScript.h"

#include "prefs/AException.h"
#include "tests/support/AStandInPrograms.h"
#include "tests/support/ATestPaths.h"

#include <gtest/gtest.h>

#include <optional>

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

} // namespace

TEST(ExecAppleScript, EachFailureRaisesAppleScriptEventWithItsReason)
{
    ATemporaryFolder folder;
    const auto at = [&](const std::string& name) { return (folder.Path() / name).string(); };
    std::filesystem::create_directory(at("folder.scpt"));
    std::filesystem::create_symlink(at("gone"), at("dangling.scpt"));
    WriteWholeFile(at("plain.scpt"), "#!/bin/sh\nexit 0\n");
    WriteExecutable(at("interpreter.scpt"), "#!/nonexistent/nuvexa-sh -e\nexit 0\n");
    WriteExecutable(at("format.scpt"), "exit 0\n");
    WriteExecutable(at("fails.scpt"), "#!/bin/sh\necho '  boom: 100% %@ %d %s ' >&2\nexit 3\n");
    WriteExecutable(at("silent.scpt"), "#!/bin/sh\nexit 4\n");
    WriteExecutable(at("killed.scpt"), "#!/bin/sh\nkill -KILL $$\n");
    WriteExecutable(at("killed-saying.scpt"), "#!/bin/sh\necho dying >&2\nkill -TERM $$\n");

    const std::string empty;
    const std::string missing = at("missing.scpt");
    struct ACase {
        const char* fRule;
        std::optional<std::string> fPath;  // none: the absent path
        std::string fReason;
    } cases[] = {
        {"an absent path is invalid", std::nullopt, "Invalid script path"},
        {"the empty path names nothing", empty, "Script not found"},
        {"nothing at the path", missing, "Script not found"},
        {"a link to nothing", at("dangling.scpt"), "Script not found"},
        {"a folder is no script", at("folder.scpt"), "Script not found"},
        {"a file that may not be run fails to load with its errno", at("plain.scpt"),
         "Description: Permission denied Code: 13"},
        {"a missing interpreter fails to load and is named", at("interpreter.scpt"),
         "Description: No such file or directory (interpreter /nonexistent/nuvexa-sh) Code: 2"},
        {"a file with no interpreter line fails to load", at("format.scpt"),
         "Description: Exec format error Code: 8"},
        {"a failing script gives its error output, trimmed, and its status", at("fails.scpt"),
         "Description: boom: 100% %@ %d %s Code: 3"},
        {"a failing script that says nothing gives its status", at("silent.scpt"),
         "Description: Script exited with status 4 Code: 4"},
        {"a script killed by a signal gives the signal", at("killed.scpt"),
         "Description: Script killed by signal 9 (Killed) Code: -9"},
        {"a killed script's own words come first", at("killed-saying.scpt"), "Description: dying Code: -15"},
    };
    for (const ACase& c : cases)
        EXPECT_EQ(FailureOf(c.fPath ? &*c.fPath : nullptr), c.fReason) << c.fRule;
}

TEST(ExecAppleScript, CleanScriptRunsSynchronouslyWithoutArgumentsAndReturns)
{
    ATemporaryFolder folder;
    const auto record = folder.Path() / "record";
    const auto script = (folder.Path() / "my script %d.scpt").string();
    // Output on both streams is no failure; only the exit status decides.
    WriteExecutable(script, "#!/bin/sh\n"
                            "echo \"$#\" > " + ShellQuoted(record.string()) + "\n"
                            "read line || echo 'no input' >> " + ShellQuoted(record.string()) + "\n"
                            "echo to-output; echo to-error >&2\n");
    EXPECT_EQ(FailureOf(&script), std::nullopt);
    EXPECT_EQ(ReadWholeFile(record), "0\nno input\n");

    // A changed file is run afresh at the next call.
    WriteExecutable(script, "#!/bin/sh\necho changed > " + ShellQuoted(record.string()) + "\n");
    ExecAppleScript(script);
    EXPECT_EQ(ReadWholeFile(record), "changed\n");
}
