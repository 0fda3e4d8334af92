#pragma once
// A real program run by a test, with the test's environment, standard input
// from /dev/null and its standard output and error in files of its own
// temporary folder. The destructor kills and reaps it if still running.

#include "tests/support/ATestPaths.h"

#include <functional>
#include <optional>
#include <sys/types.h>
#include <vector>

// Another user's ids, so that permission bits hold for a test run as root.
struct AUserIds {
    uid_t fUid = 65534;
    gid_t fGid = 65534;
    static AUserIds Nobody();  // from the user database; not in a forked child
    // Makes this process the user, with no supplementary groups, for good
    // (async-signal-safe); not root, it stays as it is.
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
    std::string fStdout, fStderr;
};

// Runs a program to its end (killed after `seconds`, then the status is -1).
AProgramResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                          const AProgramOptions& options = {}, double seconds = 20.0);

// Polls `predicate` every few milliseconds until it holds or `seconds` pass;
// for conditions outside the test's own event loop (another process's state).
bool WaitFor(const std::function<bool()>& predicate, double seconds = 10.0);
