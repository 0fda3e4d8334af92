#include "nuvexactl/ACommand.h"

#include <cstdio>

AParsedArguments ParseArguments(const std::vector<std::string_view>& arguments)
{
    AParsedArguments parsed;
    bool optionsEnded = false;
    for (std::string_view argument : arguments) {
        if (optionsEnded || argument.size() < 2 || argument[0] != '-')
            parsed.fOperands.push_back(argument);
        else if (argument == "--")
            optionsEnded = true;
        else if (argument == "--help" || argument == "-h")
            parsed.fHelp = true;
        else
            parsed.fOptions.push_back(argument);
    }
    return parsed;
}

void WriteOutput(std::string_view text)
{
    fwrite(text.data(), 1, text.size(), stdout);
}

int PrintHelp(const ACommand& command)
{
    WriteOutput(command.fUsage);
    return kExitSuccess;
}

int ReportUsageError(const ACommand& command, std::string_view problem)
{
    std::string text = "nuvexactl " + std::string(command.fName) + ": " + std::string(problem) + "\n\n";
    text += command.fUsage;
    fwrite(text.data(), 1, text.size(), stderr);
    return kExitUsage;
}
