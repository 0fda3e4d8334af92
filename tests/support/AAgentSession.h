#pragma once
// Where a test's agent and its clients meet: a temporary folder holding a
// runtime folder (XDG_RUNTIME_DIR, for the message ports) and a configuration
// folder (XDG_CONFIG_HOME, for "mapping.xml"), both private to the user, and
// a private session bus. Programs the test starts find all three through the
// environment.

#include "platform/ports/AMessagePort.h"
#include "tests/support/APrivateBus.h"

#include <sys/stat.h>

class AAgentSession {
public:
    const std::filesystem::path& Root() const { return fFolder.Path(); }
    const std::filesystem::path& ConfigFolder() const { return fConfig; }
    // A further folder in Root(), private to the user.
    std::filesystem::path MakeFolder(const std::string& name) const
    {
        std::filesystem::create_directory(Root() / name);
        chmod((Root() / name).c_str(), 0700);
        return Root() / name;
    }

private:
    ATemporaryFolder fFolder;
    std::filesystem::path fRuntime = MakeFolder("runtime");
    std::filesystem::path fConfig = MakeFolder("config");
    AScopedEnvironment fRuntimeVariable{"XDG_RUNTIME_DIR", fRuntime.string()};
    AScopedEnvironment fConfigVariable{"XDG_CONFIG_HOME", fConfig.string()};
    APrivateBus fBus;
};

// How many of the agent's three ports answer in this session.
inline int CountServedAgentPorts()
{
    int served = 0;
    for (const char* name : {"MouseListPort", "MouseClickPort", "KeyStrokePort"})
        served += ARemoteMessagePort::Create(name) != nullptr;
    return served;
}
