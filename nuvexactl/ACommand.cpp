#include "nuvexactl/ACommand.h"

#include <algorithm>
#include <cstdio>

namespace {

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

} // namespace

std::optional<int> ReadArguments(const ACommand& command, const std::vector<std::string_view>& arguments,
                                 const AArgumentShape& shape, AParsedArguments& parsed)
{
    parsed = ParseArguments(arguments);
    if (parsed.fHelp) {
        WriteOutput(command.fUsage);
        return kExitSuccess;
    }
    for (std::string_view option : parsed.fOptions) {
        if (std::find(shape.fKnownOptions.begin(), shape.fKnownOptions.end(), option) == shape.fKnownOptions.end())
            return ReportUsageError(command, "unknown option '" + std::string(option) + "'");
    }
    const size_t count = parsed.fOperands.size();
    if (count > shape.fMaxOperands && shape.fOperandProblem.empty())
        return ReportUsageError(command,
                                "unexpected argument '" + std::string(parsed.fOperands[shape.fMaxOperands]) + "'");
    if (count < shape.fMinOperands || count > shape.fMaxOperands)
        return ReportUsageError(command, shape.fOperandProblem);
    return std::nullopt;
}

void WriteOutput(std::string_view text)
{
    fwrite(text.data(), 1, text.size(), stdout);
}

int ReportUsageError(const ACommand& command, std::string_view problem)
{
    std::string text = "nuvexactl " + std::string(command.fName) + ": " + std::string(problem) + "\n\n";
    text += command.fUsage;
    fwrite(text.data(), 1, text.size(), stderr);
    return kExitUsage;
}
