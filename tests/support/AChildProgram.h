#pragma once
// A real program run by a test, with the test's environment, standard input
// from /dev/null and its standard output and error in files of its own
// temporary folder. The destructor kills and reaps it if still running.

#include "tests/support/ATestPaths.h"

#include <functional>
#include <optional>
#include <sys/types.h>
#include <vector>

// Another user's ids, for tests that need permission bits to hold although
// they run as root.
struct AUserIds {
    uid_t fUid = 65534;
    gid_t fGid = 65534;
    // "nobody" from the user database (65534 without it); not safe in a
    // forked child of a process that may have threads.
    static AUserIds Nobody();
    // Makes this process the user, with no supplementary groups, for good:
    // true when root cannot be taken back. Not root already, it stays as it
    // is. Async-signal-safe.
    bool Become() const;
};

struct AProgramOptions {
    bool fUnprivileged = false;  // run as "nobody", so that permission bits hold even for root
};

class AChildProgram {
public:
    // Throws std::runtime_error when the program cannot be started.
    AChildProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                  const AProgramOptions& options = {});
    ~AChildProgram();
    AChildProgram(const AChildProgram&) = delete;
    AChildProgram& operator=(const AChildProgram&) = delete;

    void Signal(int signal);
    // The exit status (128 + n for a program ended by signal n), or none when
    // it is still running after `seconds`.
    std::optional<int> Wait(double seconds);
    bool IsRunning();

    std::string Stdout() const { return ReadWholeFile(fFolder.Path() / "stdout"); }
    std::string Stderr() const { return ReadWholeFile(fFolder.Path() / "stderr"); }

private:
    ATemporaryFolder fFolder;
    pid_t fPid = -1;
    std::optional<int> fStatus;
};

struct AProgramResult {
    int fStatus = -1;
    std::string fStdout;
    std::string fStderr;
};

// Runs a program to its end (killed after `seconds`, then the status is -1).
AProgramResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                          const AProgramOptions& options = {}, double seconds = 20.0);

// Polls `predicate` every few milliseconds until it holds or `seconds` pass;
// for conditions outside the test's own event loop (another process's state).
bool WaitFor(const std::function<bool()>& predicate, double seconds = 10.0);
