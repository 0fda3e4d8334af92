#include "platform/process/AChildProcess.h"

#include "tests/support/AChildProgram.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

using namespace std::chrono_literals;
using AState = AChildProcess::AState;

// The exec errors, exit statuses and signals of scripts, and a launcher's
// arguments, are the agent's launchers' rules (ExecTest).
TEST(AChildProcess, ChildStartsCleanItsCaptureIsLimitedYetDrainedAndOneLetGoIsReapedWhenItEnds)
{
    // The agent's loop blocks the signals it serves and may ignore SIGPIPE;
    // a child inherits neither, nor a descriptor left without close-on-exec.
    sigset_t term, previous;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &term, &previous);
    const auto previousPipe = signal(SIGPIPE, SIG_IGN);
    const int leaked = open("/dev/null", O_RDONLY);
    const std::string zeros = "head -c 1048576 /dev/zero";
    const ATemporaryFolder folder;
    const struct {
        const char* fRule;
        std::vector<std::string> fArguments;
        AState fState;
        int fCode;  // the exit status or the terminating signal
        std::string fOutput, fError;
    } cases[] = {
        {"the exit status and both streams are reported", {"-c", "echo out; echo err >&2; exit 7"}, AState::kExited, 7, "out\n", "err\n"},
        {"a signal the caller blocks is not blocked", {"-c", "kill -TERM $$; exit 3"}, AState::kSignaled, SIGTERM, "", ""},
        {"a signal the caller ignores is at its default", {"-c", "kill -PIPE $$; exit 3"}, AState::kSignaled, SIGPIPE, "", ""},
        {"no descriptor beyond the standard three is inherited", {"-c", "exec ls /proc/self/fd"}, AState::kExited, 0, "0\n1\n2\n3\n", ""},
        {"capture stops at the limit, yet the child is drained to its end", {"-c", zeros + "; " + zeros + " >&2; exit 4"},
         AState::kExited, 4, std::string(1000, '\0'), std::string(1000, '\0')},
        {"a child let go past the wait's limit is not killed, and the background reaper collects it",
         {"-c", "echo waiting >&2; sleep 1; : >" + (folder.Path() / "ended").string()}, AState::kDetached, 0, "", "waiting\n"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.fRule);
        AChildProcess child;
        const bool detached = test.fState == AState::kDetached;
        EXPECT_TRUE(child.Start("/bin/sh", test.fArguments, {false, false, true, true, 1000}));
        EXPECT_EQ(child.Wait(detached ? std::optional(100ms) : std::nullopt), !detached);
        EXPECT_EQ(std::pair(child.Output(), child.ErrorOutput()), std::pair(test.fOutput, test.fError));
        if (detached) {
            child.Detach();
            EXPECT_TRUE(WaitFor([&] { return kill(child.Pid(), 0) != 0; }));
            EXPECT_TRUE(std::filesystem::exists(folder.Path() / "ended"));
        }
        EXPECT_EQ(child.State(), test.fState);
        EXPECT_EQ(test.fState == AState::kExited ? child.ExitStatus() : child.TermSignal(), test.fCode);
    }
    close(leaked);
    signal(SIGPIPE, previousPipe);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}
