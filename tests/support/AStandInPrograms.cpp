#include "tests/support/AStandInPrograms.h"

#include "tests/support/ATestPaths.h"

void WriteExecutable(const std::filesystem::path& path, const std::string& text)
{
    WriteWholeFile(path, text);
    std::filesystem::permissions(path, static_cast<std::filesystem::perms>(0755));
}

void WriteRecorder(const std::filesystem::path& path, const std::filesystem::path& record,
                   const std::string& errorText, int status)
{
    WriteExecutable(path, "#!/bin/sh\n"
                          "printf ' \"%s\"' \"$@\" > " + ShellQuoted(record.string()) + "\n"
                          "printf '%s' " + ShellQuoted(errorText) + " >&2\n"
                          "exit " + std::to_string(status) + "\n");
}

std::string ShellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}
