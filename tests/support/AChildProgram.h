#pragma once
// A real program run by a test, with the test's environment, standard input
// from /dev/null and its standard output and error in files of its own
// temporary folder. The destructor kills and reaps it if still running.

#include "tests/support/ATestPaths.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <optional>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

// Polls `predicate` every few milliseconds until it holds or `seconds` pass;
// for conditions outside the test's own event loop (another process's state).
inline bool WaitFor(const std::function<bool()>& predicate, double seconds = 10.0)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (; std::chrono::steady_clock::now() <= deadline; std::this_thread::sleep_for(std::chrono::milliseconds(2)))
        if (predicate())
            return true;
    return predicate();  // one last look at the deadline
}

// Another user's ids ("nobody"), so that permission bits hold for a test run as root.
struct AUserIds {
    uid_t fUid = 65534;
    gid_t fGid = 65534;
    // Makes this process the user, with no supplementary groups, for good
    // (async-signal-safe); not root, it stays as it is.
    bool Become() const
    {
        return geteuid() != 0 || (setgroups(0, nullptr) == 0 && setgid(fGid) == 0 && setuid(fUid) == 0 && setuid(0) != 0);
    }
};

struct AProgramOptions {
    bool fUnprivileged = false;  // run as "nobody", so that permission bits hold even for root
};

class AChildProgram {
public:
    // Throws std::runtime_error when the program cannot be started.
    AChildProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                  const AProgramOptions& options = {})
    {
        const std::string files[] = {"/dev/null", (fFolder.Path() / "stdout").string(), (fFolder.Path() / "stderr").string()};
        WriteWholeFile(files[1], "");  // readable before the child opens them
        WriteWholeFile(files[2], "");
        std::vector<char*> pointers{const_cast<char*>(program.c_str())};
        for (const auto& argument : arguments)
            pointers.push_back(const_cast<char*>(argument.c_str()));
        pointers.push_back(nullptr);
        fPid = fork();
        if (fPid < 0)
            throw std::runtime_error("fork failed");
        if (fPid == 0) {
            sigset_t none;  // the child starts with no signal blocked, whatever the test blocked
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            for (int fd = 0; fd < 3; ++fd) {
                const int opened = open(files[fd].c_str(), fd == 0 ? O_RDONLY : O_WRONLY | O_TRUNC);
                if (opened < 0 || dup2(opened, fd) < 0)
                    _exit(126);
            }
            if (options.fUnprivileged && !AUserIds{}.Become())
                _exit(126);
            execv(pointers[0], pointers.data());
            _exit(127);
        }
    }
    ~AChildProgram()
    {
        Signal(SIGKILL);
        if (!fStatus)
            waitpid(fPid, nullptr, 0);
    }
    AChildProgram(const AChildProgram&) = delete;
    AChildProgram& operator=(const AChildProgram&) = delete;

    void Signal(int signal)
    {
        if (IsRunning())
            kill(fPid, signal);
    }
    // The exit status (128 + n for a program ended by signal n), or none when
    // it is still running after `seconds`.
    std::optional<int> Wait(double seconds)
    {
        WaitFor([this] { return !IsRunning(); }, seconds);
        return fStatus;
    }
    bool IsRunning()
    {
        int status = 0;
        if (!fStatus && waitpid(fPid, &status, WNOHANG) == fPid)
            fStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return !fStatus;
    }

    std::string Stdout() const { return ReadWholeFile(fFolder.Path() / "stdout"); }
    std::string Stderr() const { return ReadWholeFile(fFolder.Path() / "stderr"); }

private:
    ATemporaryFolder fFolder;
    pid_t fPid = -1;
    std::optional<int> fStatus;
};

struct AProgramResult {
    int fStatus = -1;
    std::string fStdout, fStderr;
};

// Runs a program to its end (killed after `seconds`, then the status is -1).
inline AProgramResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                                 const AProgramOptions& options = {}, double seconds = 20.0)
{
    AChildProgram child(program, arguments, options);
    return {child.Wait(seconds).value_or(-1), child.Stdout(), child.Stderr()};
}
