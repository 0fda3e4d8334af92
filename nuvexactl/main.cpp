// nuvexactl, the command-line tool: shows and changes the button mappings in
// "mapping.xml" through the same store the agent and the settings use.

#include "nuvexactl/ACommand.h"
#include "prefs/AException.h"

#include <cstdio>
#include <exception>
#include <string>

namespace {

const ACommand* const kCommands[] = {
    &kShowCommand,
    &kSetCommand,
    &kSetPresentationCommand,
    &kDevicesCommand,
    &kReloadCommand,
    &kKeysCommand,
};

std::string ToolUsage()
{
    std::string text = "Usage: nuvexactl <command> [<arguments>]\n"
                       "\n"
                       "Shows and changes the button mappings of the Nuvexa devices, kept in\n"
                       "$XDG_CONFIG_HOME/Nuvexa/mapping.xml (~/.config/Nuvexa/mapping.xml), and talks\n"
                       "to the running agent: its open devices, a reload, key strokes.\n"
                       "\n"
                       "Commands:\n";
    for (const ACommand* command : kCommands) {
        std::string name(command->fName);
        text += "  " + name + std::string(name.size() < 18 ? 18 - name.size() : 1, ' ') +
                std::string(command->fSummary) + "\n";
    }
    text += "\nRun 'nuvexactl <command> --help' for the usage of a command.\n";
    return text;
}

int ReportToolUsageError(const std::string& problem)
{
    std::string text = "nuvexactl: " + problem + "\n\n" + ToolUsage();
    fputs(text.c_str(), stderr);
    return kExitUsage;
}

int Dispatch(const std::vector<std::string_view>& arguments)
{
    if (arguments.empty())
        return ReportToolUsageError("no command given");
    if (arguments[0] == "--help" || arguments[0] == "-h") {
        fputs(ToolUsage().c_str(), stdout);
        return kExitSuccess;
    }
    for (const ACommand* command : kCommands) {
        if (command->fName == arguments[0])
            return command->fHandler(*command, {arguments.begin() + 1, arguments.end()});
    }
    return ReportToolUsageError("unknown command '" + std::string(arguments[0]) + "'");
}

} // namespace

int main(int argc, char** argv)
{
    int status;
    try {
        status = Dispatch({argv + 1, argv + argc});
    } catch (const AException& failure) {
        fprintf(stderr, "%s\n", failure.what());
        status = kExitFailure;
    } catch (const std::exception& failure) {
        fprintf(stderr, "nuvexactl: %s\n", failure.what());
        status = kExitFailure;
    }
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fputs("nuvexactl: could not write the output\n", stderr);
        if (status == kExitSuccess)
            status = kExitFailure;
    }
    return status;
}
