#pragma once
// Helpers for the store's tests: a private configuration folder for the test
// (XDG_CONFIG_HOME pointed at it), a store's records as one comparable text,
// and a check run in a child process.

#include "prefs/APrefController.h"
#include "tests/support/ATestPaths.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>

class AConfigHome {
public:
    AConfigHome();

    // <temporary>/config, the XDG_CONFIG_HOME of the test.
    std::filesystem::path ConfigFolder() const { return fFolder.Path() / "config"; }
    std::filesystem::path StoreFolder() const { return ConfigFolder() / "Nuvexa"; }
    std::filesystem::path MappingPath() const { return StoreFolder() / "mapping.xml"; }
    const std::filesystem::path& Root() const { return fFolder.Path(); }

private:
    ATemporaryFolder fFolder;
    AScopedEnvironment fConfigHome;
};

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
