#include "tests/support/AChildProgram.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

AUserIds AUserIds::Nobody()
{
    const struct passwd* nobody = getpwnam("nobody");
    return nobody ? AUserIds{nobody->pw_uid, nobody->pw_gid} : AUserIds{};
}

bool AUserIds::Become() const
{
    return geteuid() != 0 || (setgroups(0, nullptr) == 0 && setgid(fGid) == 0 && setuid(fUid) == 0 && setuid(0) != 0);
}

AChildProgram::AChildProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                             const AProgramOptions& options)
{
    const std::string files[] = {"/dev/null", (fFolder.Path() / "stdout").string(), (fFolder.Path() / "stderr").string()};
    WriteWholeFile(files[1], "");  // readable before the child opens them
    WriteWholeFile(files[2], "");
    std::vector<char*> pointers{const_cast<char*>(program.c_str())};
    for (const auto& argument : arguments)
        pointers.push_back(const_cast<char*>(argument.c_str()));
    pointers.push_back(nullptr);
    const AUserIds nobody = AUserIds::Nobody();
    fPid = fork();
    if (fPid < 0)
        throw std::runtime_error("fork failed");
    if (fPid == 0) {
        sigset_t none;  // the child starts with no signal blocked, whatever the test blocked
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        for (int fd = 0; fd < 3; ++fd) {
            const int opened = open(files[fd].c_str(), fd == 0 ? O_RDONLY : O_WRONLY | O_TRUNC);
            if (opened < 0 || dup2(opened, fd) < 0)
                _exit(126);
        }
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
    int status = 0;
    if (!fStatus && waitpid(fPid, &status, WNOHANG) == fPid)
        fStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return !fStatus;
}

std::optional<int> AChildProgram::Wait(double seconds)
{
    WaitFor([this] { return !IsRunning(); }, seconds);
    return fStatus;
}

AProgramResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                          const AProgramOptions& options, double seconds)
{
    AChildProgram child(program, arguments, options);
    return {child.Wait(seconds).value_or(-1), child.Stdout(), child.Stderr()};
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
