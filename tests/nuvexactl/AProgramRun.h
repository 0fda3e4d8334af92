#pragma once
// Runs a program of the build as a child process, in the test's environment,
// with the given standard input, and collects its exit status and both
// output streams.

#include "tests/support/ATestPaths.h"

#include <filesystem>
#include <string>
#include <vector>

struct AProgramResult {
    int fStatus = -1;  // the exit status; -1 when it did not exit normally
    std::string fOutput;
    std::string fErrors;
};

struct AProgramOptions {
    std::string fInput;
    // Run as the user "nobody", so that permission bits hold even for root.
    bool fUnprivileged = false;
};

AProgramResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                          const AProgramOptions& options = {});

inline AProgramResult RunNuvexactl(const std::vector<std::string>& arguments, const AProgramOptions& options = {})
{
    return RunProgram(BuildBinaryPath("nuvexactl"), arguments, options);
}
