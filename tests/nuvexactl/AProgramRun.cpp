#include "tests/nuvexactl/AProgramRun.h"

#include <cerrno>
#include <grp.h>
#include <pwd.h>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::string ReadAll(int fd)
{
    std::string text;
    lseek(fd, 0, SEEK_SET);
    char buffer[4096];
    ssize_t count;
    while ((count = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(count));
    return text;
}

} // namespace

AProgramResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                          const AProgramOptions& options)
{
    // Memory files instead of pipes: the child can write any amount without
    // the parent reading along.
    int input = memfd_create("input", MFD_CLOEXEC);
    int output = memfd_create("output", MFD_CLOEXEC);
    int errors = memfd_create("errors", MFD_CLOEXEC);
    if (input < 0 || output < 0 || errors < 0)
        throw std::runtime_error("memfd_create failed");
    if (write(input, options.fInput.data(), options.fInput.size()) != static_cast<ssize_t>(options.fInput.size()))
        throw std::runtime_error("cannot write the program's input");
    lseek(input, 0, SEEK_SET);

    const std::string path = program.string();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    uid_t uid = 65534;
    gid_t gid = 65534;
    if (const struct passwd* nobody = getpwnam("nobody")) {
        uid = nobody->pw_uid;
        gid = nobody->pw_gid;
    }

    pid_t child = fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0) {
        if (dup2(input, 0) < 0 || dup2(output, 1) < 0 || dup2(errors, 2) < 0)
            _exit(126);
        if (options.fUnprivileged && geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0))
            _exit(126);
        execve(path.c_str(), argv.data(), environ);
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    AProgramResult result;
    result.fStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.fOutput = ReadAll(output);
    result.fErrors = ReadAll(errors);
    close(input);
    close(output);
    close(errors);
    return result;
}
