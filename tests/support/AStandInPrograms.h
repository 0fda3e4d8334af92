#pragma once
// Small programs that tests put where the code under test looks for a tool
// (first on PATH, or beside the agent): shell scripts written to a file and
// made executable.

#include "tests/support/ATestPaths.h"

// Writes `text` to `path` and makes it executable (0755).
inline void WriteExecutable(const std::filesystem::path& path, const std::string& text)
{
    WriteWholeFile(path, text);
    std::filesystem::permissions(path, static_cast<std::filesystem::perms>(0755));
}
