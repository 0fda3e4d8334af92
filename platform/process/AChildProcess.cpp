#include "platform/process/AChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace {

// The spawn attributes and file actions of one start, released on every path.
struct ASpawnSetup {
    posix_spawn_file_actions_t fActions;
    posix_spawnattr_t fAttributes;

    ASpawnSetup()
    {
        posix_spawn_file_actions_init(&fActions);
        posix_spawnattr_init(&fAttributes);
    }
    ~ASpawnSetup()
    {
        posix_spawn_file_actions_destroy(&fActions);
        posix_spawnattr_destroy(&fAttributes);
    }
    ASpawnSetup(const ASpawnSetup&) = delete;
    ASpawnSetup& operator=(const ASpawnSetup&) = delete;
};

void CloseDescriptor(int& fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

// A close-on-exec pipe whose ends both lie above standard error, so that
// placing the write end on descriptor 1 or 2 in the child can never clobber
// the other (which happens when the caller runs with a standard stream closed).
bool MakePipe(int ends[2])
{
    if (pipe2(ends, O_CLOEXEC) != 0)
        return false;
    for (int i = 0; i < 2; ++i) {
        if (ends[i] > STDERR_FILENO)
            continue;
        int moved = fcntl(ends[i], F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        int error = errno;
        close(ends[i]);
        ends[i] = moved;
        if (moved < 0) {
            CloseDescriptor(ends[0]);
            CloseDescriptor(ends[1]);
            errno = error;
            return false;
        }
    }
    // Only our end is non-blocking: the write end is a separate open file
    // description, and the child expects a blocking stream.
    fcntl(ends[0], F_SETFL, fcntl(ends[0], F_GETFL) | O_NONBLOCK);
    return true;
}

// Runs on a detached thread: reads and discards whatever still arrives on the
// pipes until every writer has closed them, and reaps the child (if any) as
// soon as it ends.
void DrainAndReap(std::vector<int> fds, pid_t pid, int pidFd)
{
    while (!fds.empty() || pid > 0) {
        std::vector<pollfd> polled;
        for (int fd : fds)
            polled.push_back({fd, POLLIN, 0});
        if (pidFd >= 0)
            polled.push_back({pidFd, POLLIN, 0});
        // Without a pidfd the child's end is noticed by looking now and then.
        int timeout = (pid > 0 && pidFd < 0) ? 1000 : -1;
        if (poll(polled.data(), polled.size(), timeout) < 0 && errno != EINTR)
            poll(nullptr, 0, 100);  // out of memory: try again shortly
        for (size_t i = 0; i < fds.size();) {
            char buffer[16384];
            ssize_t got = read(fds[i], buffer, sizeof buffer);
            if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
                close(fds[i]);
                fds.erase(fds.begin() + static_cast<long>(i));
            } else {
                ++i;
            }
        }
        if (pid > 0) {
            pid_t reaped;
            do
                reaped = waitpid(pid, nullptr, WNOHANG);
            while (reaped < 0 && errno == EINTR);
            if (reaped != 0) {
                pid = -1;
                CloseDescriptor(pidFd);
            }
        }
    }
}

} // namespace

AChildProcess::~AChildProcess()
{
    Detach();
    CloseDescriptor(fOutputFd);
    CloseDescriptor(fErrorFd);
    CloseDescriptor(fPidFd);
}

bool AChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                          const AOptions& options)
{
    if (fState != AState::kNotStarted) {
        fStartError = EALREADY;  // one child per object
        return false;
    }
    fCaptureLimit = options.fCaptureLimit;
    int outputPipe[2] = {-1, -1};
    int errorPipe[2] = {-1, -1};
    auto fail = [&](int error) {
        CloseDescriptor(outputPipe[0]);
        CloseDescriptor(outputPipe[1]);
        CloseDescriptor(errorPipe[0]);
        CloseDescriptor(errorPipe[1]);
        fState = AState::kStartFailed;
        fStartError = error;
        return false;
    };
    if (options.fCaptureOutput && !MakePipe(outputPipe))
        return fail(errno);
    if (options.fCaptureError && !MakePipe(errorPipe))
        return fail(errno);

    ASpawnSetup setup;
    if (options.fNullInput)
        posix_spawn_file_actions_addopen(&setup.fActions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (options.fCaptureOutput)
        posix_spawn_file_actions_adddup2(&setup.fActions, outputPipe[1], STDOUT_FILENO);
    if (options.fCaptureError)
        posix_spawn_file_actions_adddup2(&setup.fActions, errorPipe[1], STDERR_FILENO);
    // Descriptors some library opened without close-on-exec stay ours.
    posix_spawn_file_actions_addclosefrom_np(&setup.fActions, STDERR_FILENO + 1);

    // The agent's loop blocks the signals it serves through signalfd, and a
    // child would inherit that mask; ignored signals (SIGPIPE) would stay
    // ignored too. The child starts clean, in a session of its own so that an
    // interrupt meant for the agent's terminal does not reach what it launched.
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&setup.fAttributes, &none);
    posix_spawnattr_setsigdefault(&setup.fAttributes, &all);
    posix_spawnattr_setflags(&setup.fAttributes,
                             POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    // glibc reports a failed exec (and a failed file action) as the result
    // of posix_spawn itself, the child never having run.
    pid_t pid = -1;
    int result = options.fSearchPath
                     ? posix_spawnp(&pid, program.c_str(), &setup.fActions, &setup.fAttributes, argv.data(), environ)
                     : posix_spawn(&pid, program.c_str(), &setup.fActions, &setup.fAttributes, argv.data(), environ);
    if (result != 0)
        return fail(result);

    CloseDescriptor(outputPipe[1]);
    CloseDescriptor(errorPipe[1]);
    fOutputFd = outputPipe[0];
    fErrorFd = errorPipe[0];
    fPid = pid;
    // glibc 2.36's <sys/pidfd.h> lacks C linkage for C++; the raw call it is.
    fPidFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    fState = AState::kRunning;
    return true;
}

bool AChildProcess::Wait(std::optional<std::chrono::milliseconds> limit)
{
    if (fState != AState::kRunning)
        return fState == AState::kExited || fState == AState::kSignaled;
    using AClock = std::chrono::steady_clock;
    const AClock::time_point deadline = limit ? AClock::now() + *limit : AClock::time_point::max();

    while (!TryReap(WNOHANG)) {
        pollfd polled[3];
        nfds_t count = 0;
        if (fPidFd >= 0)
            polled[count++] = {fPidFd, POLLIN, 0};
        if (fOutputFd >= 0)
            polled[count++] = {fOutputFd, POLLIN, 0};
        if (fErrorFd >= 0)
            polled[count++] = {fErrorFd, POLLIN, 0};
        int timeout = -1;
        if (limit) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - AClock::now()).count();
            if (left <= 0)
                return false;
            timeout = static_cast<int>(std::min<long long>(left, 1 << 30));
        }
        // Without a pidfd the child's end is noticed by looking now and then.
        if (fPidFd < 0)
            timeout = timeout < 0 ? 50 : std::min(timeout, 50);
        if (poll(polled, count, timeout) < 0 && errno != EINTR) {
            TryReap(0);
            break;
        }
        DrainAvailable(fOutputFd, fOutput);
        DrainAvailable(fErrorFd, fErrorOutput);
    }
    // Everything the child wrote before it ended is in the pipes now. A pipe
    // that stays open is held by a descendant, which must not hold us.
    DrainAvailable(fOutputFd, fOutput);
    DrainAvailable(fErrorFd, fErrorOutput);
    CloseDescriptor(fPidFd);
    HandOff(false);
    return true;
}

void AChildProcess::Detach()
{
    if (fState != AState::kRunning)
        return;
    HandOff(true);
    fState = AState::kDetached;
}

bool AChildProcess::TryReap(int options)
{
    int status = 0;
    pid_t reaped;
    do
        reaped = waitpid(fPid, &status, options);
    while (reaped < 0 && errno == EINTR);
    if (reaped == 0)
        return false;
    if (reaped < 0) {
        // ECHILD: someone else collected the status (SIGCHLD set to SIG_IGN).
        fState = AState::kExited;
        fExitStatus = -1;
    } else if (WIFSIGNALED(status)) {
        fState = AState::kSignaled;
        fTermSignal = WTERMSIG(status);
    } else {
        fState = AState::kExited;
        fExitStatus = WEXITSTATUS(status);
    }
    return true;
}

void AChildProcess::DrainAvailable(int& fd, std::string& text)
{
    while (fd >= 0) {
        char buffer[16384];
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got > 0) {
            size_t room = fCaptureLimit > text.size() ? fCaptureLimit - text.size() : 0;
            text.append(buffer, std::min(room, static_cast<size_t>(got)));
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else if (got < 0 && errno == EAGAIN) {
            return;
        } else {
            CloseDescriptor(fd);  // end of file, or a read error that ends the stream
        }
    }
}

void AChildProcess::HandOff(bool withChild)
{
    std::vector<int> fds;
    for (int* fd : {&fOutputFd, &fErrorFd}) {
        if (*fd >= 0)
            fds.push_back(std::exchange(*fd, -1));
    }
    pid_t pid = withChild ? fPid : -1;
    int pidFd = withChild ? std::exchange(fPidFd, -1) : -1;
    if (fds.empty() && pid < 0)
        return;
    // The helper thread must never take a signal meant for the agent's loop:
    // it starts with every signal blocked, and this thread's mask is restored.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    try {
        std::thread(DrainAndReap, fds, pid, pidFd).detach();
    } catch (const std::system_error&) {
        // No thread to be had: the pipes are closed (a late writer gets
        // EPIPE) and a child still running is left unreaped.
        for (int fd : fds)
            close(fd);
        if (pidFd >= 0)
            close(pidFd);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}
