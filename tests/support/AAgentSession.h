#pragma once
// Where a test's agent and its clients meet: a temporary folder holding a
// runtime folder (XDG_RUNTIME_DIR, for the message ports) and a configuration
// folder (XDG_CONFIG_HOME, for "mapping.xml"), both private to the user, and
// a private session bus (for the notifications). Programs the test starts
// find all three through the environment.

#include "tests/support/APrivateBus.h"
#include "tests/support/ATestPaths.h"

#include <filesystem>
#include <string>

class AAgentSession {
public:
    AAgentSession();

    const std::filesystem::path& Root() const { return fFolder.Path(); }
    const std::filesystem::path& RuntimeFolder() const { return fRuntime; }
    const std::filesystem::path& ConfigFolder() const { return fConfig; }
    // A further folder in Root(), private to the user.
    std::filesystem::path MakeFolder(const std::string& name) const;

private:
    ATemporaryFolder fFolder;
    std::filesystem::path fRuntime;
    std::filesystem::path fConfig;
    AScopedEnvironment fRuntimeVariable;
    AScopedEnvironment fConfigVariable;
    APrivateBus fBus;
};
