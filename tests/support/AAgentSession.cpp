#include "tests/support/AAgentSession.h"

#include <sys/stat.h>

AAgentSession::AAgentSession()
    : fRuntime(MakeFolder("runtime")), fConfig(MakeFolder("config")),
      fRuntimeVariable("XDG_RUNTIME_DIR", fRuntime.string()), fConfigVariable("XDG_CONFIG_HOME", fConfig.string())
{
}

std::filesystem::path AAgentSession::MakeFolder(const std::string& name) const
{
    const auto path = fFolder.Path() / name;
    std::filesystem::create_directory(path);
    chmod(path.c_str(), 0700);
    return path;
}
