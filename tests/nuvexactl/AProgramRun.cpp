#include "tests/nuvexactl/AProgramRun.h"

#include "tests/support/AUnprivilegedUser.h"

#include <cerrno>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// A memory file that a child's standard stream is pointed at.
class AMemoryFile {
public:
    AMemoryFile() : fFd(memfd_create("stream", MFD_CLOEXEC))
    {
        if (fFd < 0)
            throw std::runtime_error("memfd_create failed");
    }
    ~AMemoryFile() { close(fFd); }
    AMemoryFile(const AMemoryFile&) = delete;
    AMemoryFile& operator=(const AMemoryFile&) = delete;

    int Get() const { return fFd; }

private:
    int fFd;
};

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
    AMemoryFile input;
    AMemoryFile output;
    AMemoryFile errors;
    if (write(input.Get(), options.fInput.data(), options.fInput.size()) !=
        static_cast<ssize_t>(options.fInput.size()))
        throw std::runtime_error("cannot write the program's input");
    lseek(input.Get(), 0, SEEK_SET);

    const std::string path = program.string();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const AUnprivilegedUser nobody = AUnprivilegedUser::Nobody();

    pid_t child = fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0) {
        if (dup2(input.Get(), 0) < 0 || dup2(output.Get(), 1) < 0 || dup2(errors.Get(), 2) < 0)
            _exit(126);
        if (options.fUnprivileged && !nobody.Become())
            _exit(126);
        execve(path.c_str(), argv.data(), environ);
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    AProgramResult result;
    result.fStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.fOutput = ReadAll(output.Get());
    result.fErrors = ReadAll(errors.Get());
    return result;
}
