#include "tests/support/AChildProgram.h"

#include "tests/support/AUnprivilegedUser.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

AChildProgram::AChildProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                             const AProgramOptions& options)
{
    const std::string in = (fFolder.Path() / "stdin").string();
    WriteWholeFile(in, options.fInput);
    const std::string out = (fFolder.Path() / "stdout").string();
    const std::string err = (fFolder.Path() / "stderr").string();
    std::vector<std::string> argv{program.string()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (auto& argument : argv)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    const AUnprivilegedUser nobody = AUnprivilegedUser::Nobody();

    fPid = fork();
    if (fPid < 0)
        throw std::runtime_error("fork failed");
    if (fPid == 0) {
        // The child starts with no signal blocked, whatever the test blocked.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        const int inFd = open(in.c_str(), O_RDONLY);
        const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (inFd < 0 || outFd < 0 || errFd < 0)
            _exit(126);
        dup2(inFd, STDIN_FILENO);
        dup2(outFd, STDOUT_FILENO);
        dup2(errFd, STDERR_FILENO);
        if (options.fUnprivileged && !nobody.Become())
            _exit(126);
        execv(pointers[0], pointers.data());
        _exit(127);
    }
}

AChildProgram::~AChildProgram()
{
    if (IsRunning()) {
        kill(fPid, SIGKILL);
        waitpid(fPid, nullptr, 0);
    }
}

void AChildProgram::Signal(int signal)
{
    if (IsRunning())
        kill(fPid, signal);
}

bool AChildProgram::IsRunning()
{
    if (fStatus || fPid <= 0)
        return false;
    int status = 0;
    if (waitpid(fPid, &status, WNOHANG) != fPid)
        return true;
    fStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
}

std::optional<int> AChildProgram::Wait(double seconds)
{
    WaitFor([this] { return !IsRunning(); }, seconds);
    return fStatus;
}

std::string AChildProgram::Stdout() const
{
    return ReadWholeFile(fFolder.Path() / "stdout");
}

std::string AChildProgram::Stderr() const
{
    return ReadWholeFile(fFolder.Path() / "stderr");
}

AProgramResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                          const AProgramOptions& options, double seconds)
{
    AChildProgram child(program, arguments, options);
    AProgramResult result;
    result.fStatus = child.Wait(seconds).value_or(-1);
    result.fStdout = child.Stdout();
    result.fStderr = child.Stderr();
    return result;
}

bool WaitFor(const std::function<bool()>& predicate, double seconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline)
            return predicate();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}
