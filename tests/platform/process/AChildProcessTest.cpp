#include "platform/process/AChildProcess.h"

#include "tests/support/AStandInPrograms.h"
#include "tests/support/ATestPaths.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

AChildProcess::AOptions Capturing()
{
    AChildProcess::AOptions options;
    options.fCaptureOutput = true;
    options.fCaptureError = true;
    return options;
}

// True once `pid` is gone for good (reaped, not a zombie), within `limit`.
bool Vanishes(pid_t pid, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (kill(pid, 0) == 0) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        poll(nullptr, 0, 10);
    }
    return errno == ESRCH;
}

// Reads one line from a FIFO, giving up after `limit`.
std::string ReadFifoLine(const std::filesystem::path& fifo, std::chrono::milliseconds limit)
{
    int fd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (fd >= 0 && text.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd polled{fd, POLLIN, 0};
        poll(&polled, 1, 50);
        char buffer[256];
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got > 0)
            text.append(buffer, static_cast<size_t>(got));
    }
    if (fd >= 0)
        close(fd);
    return text;
}

} // namespace

TEST(AChildProcess, PassesEachArgumentVerbatimWithoutAShell)
{
    const std::vector<std::string> arguments = {"a b", "'quoted'", "\"double\"", "$HOME", "*", "", "x;y|z", "%s%n"};
    std::vector<std::string> printed = {"%s\\0"};
    printed.insert(printed.end(), arguments.begin(), arguments.end());
    AChildProcess child;
    ASSERT_TRUE(child.Start("/usr/bin/printf", printed, Capturing()));
    ASSERT_TRUE(child.Wait());
    EXPECT_EQ(child.State(), AChildProcess::AState::kExited);
    EXPECT_EQ(child.ExitStatus(), 0);
    std::string expected;
    for (const auto& argument : arguments)
        expected += argument + '\0';
    EXPECT_EQ(child.Output(), expected);
}

TEST(AChildProcess, ReportsTheExecErrorOfAProgramThatCannotStart)
{
    ATemporaryFolder folder;
    const auto plain = folder.Path() / "plain";
    WriteWholeFile(plain, "#!/bin/sh\nexit 0\n");  // not executable
    const auto noInterpreter = folder.Path() / "no-interpreter";
    WriteExecutable(noInterpreter, "#!/nonexistent/interpreter\n");
    const auto noMagic = folder.Path() / "no-magic";
    WriteExecutable(noMagic, "echo no interpreter line\n");
    struct ACase {
        const char* fRule;
        std::string fProgram;
        bool fSearchPath;
        int fError;
    } cases[] = {
        {"a missing program", (folder.Path() / "missing").string(), false, ENOENT},
        {"a program missing from PATH", "nuvexa-no-such-program", true, ENOENT},
        {"a file without execute permission", plain.string(), false, EACCES},
        {"a script whose interpreter is missing", noInterpreter.string(), false, ENOENT},
        {"a file that is neither a binary nor a script", noMagic.string(), false, ENOEXEC},
        {"a folder", folder.Path().string(), false, EACCES},
    };
    for (const ACase& c : cases) {
        AChildProcess child;
        AChildProcess::AOptions options = Capturing();
        options.fSearchPath = c.fSearchPath;
        EXPECT_FALSE(child.Start(c.fProgram, {}, options)) << c.fRule;
        EXPECT_EQ(child.State(), AChildProcess::AState::kStartFailed) << c.fRule;
        EXPECT_EQ(child.StartError(), c.fError) << c.fRule;
        EXPECT_FALSE(child.Wait()) << c.fRule;
    }
}

TEST(AChildProcess, ReportsExitStatusOrTerminatingSignal)
{
    AChildProcess exited;
    ASSERT_TRUE(exited.Start("/bin/sh", {"-c", "echo out; echo err >&2; exit 7"}, Capturing()));
    ASSERT_TRUE(exited.Wait());
    EXPECT_EQ(exited.State(), AChildProcess::AState::kExited);
    EXPECT_EQ(exited.ExitStatus(), 7);
    EXPECT_EQ(exited.Output(), "out\n");
    EXPECT_EQ(exited.ErrorOutput(), "err\n");

    AChildProcess killed;
    ASSERT_TRUE(killed.Start("/bin/sh", {"-c", "kill -KILL $$"}, Capturing()));
    ASSERT_TRUE(killed.Wait());
    EXPECT_EQ(killed.State(), AChildProcess::AState::kSignaled);
    EXPECT_EQ(killed.TermSignal(), SIGKILL);
}

TEST(AChildProcess, ChildStartsWithSignalsUnblockedAndAtTheirDefaults)
{
    // The agent's loop blocks the signals it serves and may ignore SIGPIPE;
    // a child must not inherit either, or it could not be stopped.
    sigset_t blocked;
    sigset_t previous;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    struct sigaction ignore {};
    struct sigaction previousPipe {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previousPipe);

    AChildProcess terminated;
    ASSERT_TRUE(terminated.Start("/bin/sh", {"-c", "kill -TERM $$; exit 3"}, Capturing()));
    ASSERT_TRUE(terminated.Wait());
    AChildProcess mask;
    ASSERT_TRUE(mask.Start("/bin/sh", {"-c", "grep -E '^Sig(Blk|Ign)' /proc/self/status"}, Capturing()));
    ASSERT_TRUE(mask.Wait());

    sigaction(SIGPIPE, &previousPipe, nullptr);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    EXPECT_EQ(terminated.State(), AChildProcess::AState::kSignaled);
    EXPECT_EQ(terminated.TermSignal(), SIGTERM);
    // Signals 32 and 33 belong to the C library, which keeps them ignored.
    unsigned long long blockedMask = 1, ignoredMask = 1;
    ASSERT_EQ(sscanf(mask.Output().c_str(), "SigBlk: %llx SigIgn: %llx", &blockedMask, &ignoredMask), 2);
    EXPECT_EQ(blockedMask, 0u);
    EXPECT_EQ(ignoredMask & 0x7FFFFFFFu, 0u);  // signals 1 to 31
}

TEST(AChildProcess, ChildInheritsNoDescriptorBeyondTheStandardThree)
{
    int leaked = open("/dev/null", O_RDONLY);  // deliberately without O_CLOEXEC
    ASSERT_GE(leaked, 0);
    int high = dup2(leaked, 57);
    AChildProcess child;
    ASSERT_TRUE(child.Start("/bin/ls", {"/proc/self/fd"}, Capturing()));
    ASSERT_TRUE(child.Wait());
    close(leaked);
    close(high);
    // ls itself holds 0, 1, 2 and the folder it lists.
    EXPECT_EQ(child.Output(), "0\n1\n2\n3\n");
}

TEST(AChildProcess, CapturesUpToTheLimitButDrainsEverything)
{
    AChildProcess child;
    AChildProcess::AOptions options = Capturing();
    options.fCaptureLimit = 1000;
    // 1 MiB on each stream: far more than a pipe holds, so a reader that
    // stopped at the limit would leave the child blocked for ever.
    ASSERT_TRUE(child.Start("/bin/sh", {"-c", "head -c 1048576 /dev/zero; head -c 1048576 /dev/zero >&2; exit 4"},
                            options));
    ASSERT_TRUE(child.Wait());
    EXPECT_EQ(child.ExitStatus(), 4);
    EXPECT_EQ(child.Output(), std::string(1000, '\0'));
    EXPECT_EQ(child.ErrorOutput(), std::string(1000, '\0'));
}

TEST(AChildProcess, DescendantHoldingThePipeDoesNotHoldTheWaitAndCanStillWrite)
{
    ATemporaryFolder folder;
    const auto go = folder.Path() / "go";
    const auto done = folder.Path() / "done";
    ASSERT_EQ(mkfifo(go.c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(done.c_str(), 0600), 0);
    // The background job keeps standard error open past the child's end,
    // then writes to it once told to and reports whether that worked.
    const std::string script = "(read line < " + ShellQuoted(go.string()) +
                               "; echo late >&2 && echo wrote > " + ShellQuoted(done.string()) + ") &\n"
                               "echo early >&2\n";
    AChildProcess child;
    ASSERT_TRUE(child.Start("/bin/sh", {"-c", script}, Capturing()));
    ASSERT_TRUE(child.Wait(10s)) << "held by the background job";
    EXPECT_EQ(child.ExitStatus(), 0);
    EXPECT_EQ(child.ErrorOutput(), "early\n");
    // The child is reaped already: no zombie left behind.
    EXPECT_EQ(waitpid(child.Pid(), nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);

    int goFd = open(go.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(goFd, 0);
    ASSERT_EQ(write(goFd, "x\n", 2), 2);
    close(goFd);
    EXPECT_EQ(ReadFifoLine(done, 10s), "wrote\n");
}

TEST(AChildProcess, WaitLimitLeavesTheChildRunningAndDetachReapsItLater)
{
    ATemporaryFolder folder;
    const auto go = folder.Path() / "go";
    ASSERT_EQ(mkfifo(go.c_str(), 0600), 0);
    pid_t pid = -1;
    {
        AChildProcess child;
        ASSERT_TRUE(child.Start("/bin/sh", {"-c", "echo waiting >&2; read line < " + ShellQuoted(go.string())},
                                Capturing()));
        EXPECT_FALSE(child.Wait(100ms));
        EXPECT_EQ(child.State(), AChildProcess::AState::kRunning);
        EXPECT_EQ(child.ErrorOutput(), "waiting\n");
        pid = child.Pid();
        child.Detach();
        EXPECT_EQ(child.State(), AChildProcess::AState::kDetached);
    }
    EXPECT_EQ(kill(pid, 0), 0) << "a detached child is not killed";
    int goFd = open(go.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(goFd, 0);
    ASSERT_EQ(write(goFd, "x\n", 2), 2);
    close(goFd);
    EXPECT_TRUE(Vanishes(pid, 10s)) << "the background reaper collects it";
}
