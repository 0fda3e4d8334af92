#pragma once
// Helpers for the store's tests: a private configuration folder for the test
// (AConfigHome), a store's records as one comparable text, and a check run in
// a child process.

#include "prefs/APrefController.h"
#include "tests/support/AConfigHome.h"
#include "tests/support/ATestPaths.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>

// One line per device record, "<type> <vid> <pid> <presentation>:" followed
// by " <id>/<launch type>/<argument>" per event, in the maps' order.
std::string DescribeStore(const APrefController& store);

// A check run in a forked child process; Wait returns what the check
// returned, "" meaning it passed. A child that dies or exits abnormally gives
// a description instead. The child is reaped with the object at the latest.
class AChildCheck {
public:
    explicit AChildCheck(const std::function<std::string()>& check);
    ~AChildCheck();
    AChildCheck(const AChildCheck&) = delete;
    AChildCheck& operator=(const AChildCheck&) = delete;

    bool IsRunning();
    std::string Wait();

private:
    pid_t fChild = -1;
    int fChannel = -1;
    bool fReaped = false;
    int fStatus = 0;
    std::string fStartProblem;
};

inline std::string RunInChildProcess(const std::function<std::string()>& check)
{
    return AChildCheck(check).Wait();
}

// The names of the entries of a folder, sorted.
std::string ListFolder(const std::filesystem::path& folder);
