#include "agent/ExecAppleScript.h"

#include "platform/process/AChildProcess.h"
#include "prefs/AException.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr const char* kExceptionName = "AppleScriptEvent";

[[noreturn]] void Raise(const std::string& reason)
{
    throw AException(kExceptionName, reason);
}

[[noreturn]] void RaiseDescription(const std::string& description, int code)
{
    Raise("Description: " + description + " Code: " + std::to_string(code));
}

std::string Trimmed(const std::string& text)
{
    const char* blanks = " \t\r\n\f\v";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// The interpreter a "#!" line names, or empty.
std::string InterpreterOf(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::string line;
    if (!std::getline(file, line) || line.rfind("#!", 0) != 0)
        return {};
    const size_t start = line.find_first_not_of(" \t", 2);
    if (start == std::string::npos)
        return {};
    return line.substr(start, line.find_first_of(" \t\r", start) - start);
}

std::string StartFailure(const std::string& path, int error)
{
    std::string description = std::system_category().message(error);
    // execve reports a missing or unusable interpreter as if the script
    // itself were missing or forbidden; say which file it meant.
    const bool interpreterAtFault = error == ENOENT || (error == EACCES && access(path.c_str(), X_OK) == 0);
    const std::string interpreter = interpreterAtFault ? InterpreterOf(path) : std::string();
    if (!interpreter.empty())
        description += " (interpreter " + interpreter + ")";
    return description;
}

std::string SignalName(int signal)
{
    const char* name = sigdescr_np(signal);
    return name ? name : "unknown signal";
}

} // namespace

void ExecAppleScript(const std::string* path)
{
    if (path == nullptr)
        Raise("Invalid script path");
    struct stat status {};
    if (stat(path->c_str(), &status) != 0 || S_ISDIR(status.st_mode))
        Raise("Script not found");

    AChildProcess script;
    AChildProcess::AOptions options;
    options.fNullInput = true;
    options.fCaptureError = true;
    if (!script.Start(*path, {}, options))
        RaiseDescription(StartFailure(*path, script.StartError()), script.StartError());
    script.Wait();

    const std::string errorText = Trimmed(script.ErrorOutput());
    if (script.State() == AChildProcess::AState::kSignaled) {
        const int signal = script.TermSignal();
        RaiseDescription(errorText.empty()
                             ? "Script killed by signal " + std::to_string(signal) + " (" + SignalName(signal) + ")"
                             : errorText,
                         -signal);
    }
    if (script.ExitStatus() != 0) {
        RaiseDescription(errorText.empty() ? "Script exited with status " + std::to_string(script.ExitStatus())
                                           : errorText,
                         script.ExitStatus());
    }
}
