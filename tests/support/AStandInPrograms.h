#pragma once
// Small programs that tests put where the code under test looks for a tool
// (first on PATH, or beside the agent): shell scripts written to a file and
// made executable, and a recorder that keeps the arguments it was given.

#include <filesystem>
#include <string>

// Writes `text` to `path` and makes it executable (0755).
void WriteExecutable(const std::filesystem::path& path, const std::string& text);

// Writes a program to `path` that records its arguments in `record` (each
// quoted after a blank, as ' "keys" "58|124|58"'), writes `errorText` to its
// standard error and exits with `status`.
void WriteRecorder(const std::filesystem::path& path, const std::filesystem::path& record,
                   const std::string& errorText = "", int status = 0);

// A single-quoted shell word standing for `text` exactly.
std::string ShellQuoted(const std::string& text);
