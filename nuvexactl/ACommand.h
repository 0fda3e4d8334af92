#pragma once
// A command of nuvexactl: one row of the dispatch table in main.cpp, made of
// the command's name, its handler, a one-line summary for the tool's help and
// its own usage text. A handler gets the arguments that follow the command's
// name and returns the tool's exit status; a failure of the preferences store
// propagates out of it as AException, which main reports. A new command is a
// new file defining its ACommand, a declaration below and a row in the table.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // the store or the system failed
inline constexpr int kExitUsage = 2;    // the command line was wrong

struct ACommand;
using ACommandHandler = int (*)(const ACommand& command, const std::vector<std::string_view>& arguments);

struct ACommand {
    std::string_view fName;
    ACommandHandler fHandler;
    std::string_view fSummary;
    std::string_view fUsage;
};

extern const ACommand kShowCommand;
extern const ACommand kSetCommand;
extern const ACommand kSetPresentationCommand;
extern const ACommand kDevicesCommand;
extern const ACommand kReloadCommand;
extern const ACommand kKeysCommand;

// A command's arguments split into options (words starting with "-", up to a
// "--") and operands. "--help" and "-h" are taken out as fHelp.
struct AParsedArguments {
    bool fHelp = false;
    std::vector<std::string_view> fOptions;
    std::vector<std::string_view> fOperands;
};

// What a command takes besides "--help": the options it knows and how many
// operands. fOperandProblem is the usage error for any other number; when it
// is empty, the error names the first operand too many.
struct AArgumentShape {
    std::vector<std::string_view> fKnownOptions;
    size_t fMinOperands = 0;
    size_t fMaxOperands = 0;
    std::string_view fOperandProblem;
};

// Parses a command's arguments into parsed. Returns the exit status when the
// command is done already: its help printed, or an unknown option or a wrong
// number of operands reported as a usage error.
std::optional<int> ReadArguments(const ACommand& command, const std::vector<std::string_view>& arguments,
                                 const AArgumentShape& shape, AParsedArguments& parsed);

// Writes to standard output.
void WriteOutput(std::string_view text);
// "nuvexactl <command>: <problem>" and the usage on standard error; the exit
// status for a usage error.
int ReportUsageError(const ACommand& command, std::string_view problem);
