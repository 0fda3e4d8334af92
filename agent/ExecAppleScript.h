#pragma once
// ExecAppleScript runs one of the agent's scripts: a file run as a program
// (its "#!" line names the interpreter), synchronously, with no arguments,
// standard input from /dev/null, standard output the agent's, and standard
// error captured (its first 64 KiB) for the failure reason. Returns normally
// when the script ran and exited with status 0; its output is discarded.
// Otherwise raises AException named "AppleScriptEvent" with the reason:
//
//   "Invalid script path"               the path is absent (null)
//   "Script not found"                  nothing at the path (the empty path,
//                                       a dangling link), or a folder
//   "Description: <text> Code: <code>"  it could not be started: <text> is
//                                       the system's error message (naming
//                                       the interpreter of a "#!" line when
//                                       that is what failed), <code> its errno;
//                                       or it failed: <text> is its error
//                                       output, trimmed (when it wrote none:
//                                       "Script exited with status N" or
//                                       "Script killed by signal N (name)"),
//                                       <code> the exit status, or minus the
//                                       number of the signal that ended it.
//
// Texts from the script are placed as written, never used as a format.

#include <string>

void ExecAppleScript(const std::string* path);

inline void ExecAppleScript(const std::string& path)
{
    ExecAppleScript(&path);
}
