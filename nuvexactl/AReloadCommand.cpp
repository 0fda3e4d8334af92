// nuvexactl reload: asks the agent to read "mapping.xml" again, with the
// notification the settings editor posts after it saves.

#include "nuvexactl/AAgentRequests.h"
#include "base/AMessageNames.h"
#include "nuvexactl/ACommand.h"
#include "platform/bus/ADistributedNotificationCenter.h"

#include <cstdio>

bool PostReloadNotification()
{
    ADistributedNotificationCenter center(nullptr);
    return center.PostNotification(kReloadNotification, kReloadNotificationObject);
}

namespace {

int RunReload(const ACommand& command, const std::vector<std::string_view>& arguments)
{
    AParsedArguments parsed;
    if (std::optional<int> done = ReadArguments(command, arguments, {{}, 0, 0, "takes no arguments"}, parsed))
        return *done;
    if (!PostReloadNotification()) {
        std::fputs("nuvexactl reload: no session bus, so no agent can be told to reload\n", stderr);
        return kExitFailure;
    }
    return kExitSuccess;
}

} // namespace

const ACommand kReloadCommand = {
    "reload",
    RunReload,
    "tell the agent to read the mapping file again",
    "Usage: nuvexactl reload\n"
    "\n"
    "Posts the reload notification on the session bus; a running agent then\n"
    "reads the mapping file again. Nobody listening is no error.\n"
    "\n"
    "  --help  print this help\n",
};
