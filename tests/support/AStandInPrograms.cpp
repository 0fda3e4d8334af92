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
                          "for argument; do printf '%s\\0' \"$argument\"; done > " + ShellQuoted(record.string()) + "\n"
                          "printf '%s' " + ShellQuoted(errorText) + " >&2\n"
                          "exit " + std::to_string(status) + "\n");
}

std::vector<std::string> ReadRecordedArguments(const std::filesystem::path& record)
{
    const std::string text = ReadWholeFile(record);
    std::vector<std::string> arguments;
    size_t start = 0;
    for (size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1)
        arguments.push_back(text.substr(start, end - start));
    return arguments;
}

std::string ShellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}
