#include "platform/process/AChildProcess.h"

#include "tests/support/AChildProgram.h"
#include "tests/support/AStandInPrograms.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

using namespace std::chrono_literals;
using AState = AChildProcess::AState;

TEST(AChildProcess, ReportsWhatBecameOfEachChild)
{
    // The exec errors of scripts that cannot run, and the terminating signal,
    // are the script runner's reasons (ExecAppleScript's tests).
    ATemporaryFolder folder;
    const std::string zeros = "head -c 1048576 /dev/zero";
    // The agent's loop blocks the signals it serves and may ignore SIGPIPE;
    // a child inherits neither, nor a descriptor left without close-on-exec.
    sigset_t term, previous;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &term, &previous);
    const auto previousPipe = signal(SIGPIPE, SIG_IGN);
    const int leaked = open("/dev/null", O_RDONLY);

    const struct {
        const char* fRule;
        std::string fProgram;
        std::vector<std::string> fArguments;
        AState fState;
        int fCode;  // the exit status, the terminating signal or the exec error
        std::string fOutput, fError;
    } cases[] = {
        {"each argument reaches the program verbatim, without a shell", "/usr/bin/printf",
         {"%s|", "a b", "'q'", "\"d\"", "$HOME", "*", "", "x;y", "%n"}, AState::kExited, 0, "a b|'q'|\"d\"|$HOME|*||x;y|%n|", ""},
        {"the exit status and both streams are reported", "/bin/sh", {"-c", "echo out; echo err >&2; exit 7"},
         AState::kExited, 7, "out\n", "err\n"},
        {"a signal the caller blocks is not blocked", "/bin/sh", {"-c", "kill -TERM $$; exit 3"}, AState::kSignaled, SIGTERM, "", ""},
        {"a signal the caller ignores is at its default", "/bin/sh", {"-c", "kill -PIPE $$; exit 3"}, AState::kSignaled, SIGPIPE, "", ""},
        {"no descriptor beyond the standard three is inherited", "/bin/ls", {"/proc/self/fd"}, AState::kExited, 0,
         "0\n1\n2\n3\n", ""},  // 3 is the folder ls lists
        {"capture stops at the limit, yet the child is drained to its end", "/bin/sh",
         {"-c", zeros + "; " + zeros + " >&2; exit 4"}, AState::kExited, 4, std::string(1000, '\0'), std::string(1000, '\0')},
        {"a missing program", folder.Path() / "missing", {}, AState::kStartFailed, ENOENT, "", ""},
        {"a program missing from PATH", "nuvexa-no-such-program", {}, AState::kStartFailed, ENOENT, "", ""},
        {"a folder", folder.Path(), {}, AState::kStartFailed, EACCES, "", ""},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.fRule);
        AChildProcess child;
        const bool searchPath = test.fProgram.find('/') == std::string::npos;
        EXPECT_EQ(child.Start(test.fProgram, test.fArguments, {searchPath, false, true, true, 1000}),
                  test.fState != AState::kStartFailed);
        EXPECT_EQ(child.Wait(), test.fState != AState::kStartFailed);
        EXPECT_EQ(child.State(), test.fState);
        EXPECT_EQ(test.fState == AState::kExited     ? child.ExitStatus()
                  : test.fState == AState::kSignaled ? child.TermSignal()
                                                     : child.StartError(),
                  test.fCode);
        EXPECT_EQ(child.Output(), test.fOutput);
        EXPECT_EQ(child.ErrorOutput(), test.fError);
    }
    close(leaked);
    signal(SIGPIPE, previousPipe);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

TEST(AChildProcess, WaitEndsWithTheChildNotWithWhatItLeftRunning)
{
    // A background job keeps standard error open past the child's end and
    // writes to it later: the wait does not last for it, and it may write.
    ATemporaryFolder folder;
    const auto wrote = folder.Path() / "wrote";
    AChildProcess child;
    ASSERT_TRUE(child.Start("/bin/sh", {"-c", "(sleep 2; echo late >&2 && echo wrote > " + ShellQuoted(wrote) + ") & echo early >&2"},
                            {false, false, true, true}));
    ASSERT_TRUE(child.Wait(10s));
    EXPECT_FALSE(std::filesystem::exists(wrote)) << "the wait lasted for the background job";
    EXPECT_EQ(child.ErrorOutput(), "early\n");
    EXPECT_EQ(kill(child.Pid(), 0), -1) << "reaped, not left a zombie";
    EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(wrote) && ReadWholeFile(wrote) == "wrote\n"; }));

    // A child still running when the wait's limit passes keeps running;
    // once let go it is reaped when it ends.
    AChildProcess running;
    ASSERT_TRUE(running.Start("/bin/sh", {"-c", "echo waiting >&2; sleep 1"}, {false, false, true, true}));
    EXPECT_FALSE(running.Wait(100ms));
    EXPECT_EQ(running.ErrorOutput(), "waiting\n");
    running.Detach();
    EXPECT_EQ(running.State(), AState::kDetached);
    EXPECT_EQ(kill(running.Pid(), 0), 0) << "a child let go is not killed";
    EXPECT_TRUE(WaitFor([&] { return kill(running.Pid(), 0) != 0; })) << "the background reaper collects it";
}
