#include "uninstaller/AScriptRun.h"

#include <QSocketNotifier>
#include <QTimer>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// How often the child is looked for after its output has ended; a script
// exits right after closing its output, so the first look usually finds it.
constexpr int kReapIntervalMilliseconds = 20;

} // namespace

AScriptRun::AScriptRun(QObject* parent) : QObject(parent), fReapTimer(new QTimer(this))
{
    fReapTimer->setInterval(kReapIntervalMilliseconds);
    connect(fReapTimer, &QTimer::timeout, this, &AScriptRun::TryReap);
}

AScriptRun::~AScriptRun()
{
    CloseOutput();
    // A child that has ended is reaped; one still running goes on by itself.
    if (fPid > 0)
        waitpid(fPid, nullptr, WNOHANG);
}

int AScriptRun::Start(const QString& scriptPath)
{
    if (fPid > 0)
        return EBUSY;
    std::array<int, 2> pipe{-1, -1};
    if (pipe2(pipe.data(), O_CLOEXEC) != 0)
        return errno;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
    // The child starts with no signal blocked and SIGPIPE at its default.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    const QByteArray script = scriptPath.toLocal8Bit();
    char pkexec[] = "pkexec";
    char shell[] = "/bin/sh";
    char* arguments[] = {pkexec, shell, const_cast<char*>(script.constData()), nullptr};
    pid_t pid = -1;
    const int result = posix_spawnp(&pid, pkexec, &actions, &attributes, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(pipe[1]);
    if (result != 0) {
        close(pipe[0]);
        return result;
    }
    fPid = pid;
    fOutput = pipe[0];
    fcntl(fOutput, F_SETFL, fcntl(fOutput, F_GETFL) | O_NONBLOCK);
    fNotifier = new QSocketNotifier(fOutput, QSocketNotifier::Read, this);
    connect(fNotifier, &QSocketNotifier::activated, this, &AScriptRun::ReadAvailable);
    return 0;
}

void AScriptRun::ReadAvailable()
{
    std::array<char, 4096> buffer;
    for (;;) {
        const ssize_t count = read(fOutput, buffer.data(), buffer.size());
        if (count > 0) {
            emit OutputRead(QByteArray(buffer.data(), count));
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && errno == EAGAIN)
            return;
        // The end of the output (or a read error, which ends it as well).
        CloseOutput();
        TryReap();
        return;
    }
}

void AScriptRun::TryReap()
{
    int status = 0;
    const pid_t reaped = waitpid(fPid, &status, WNOHANG);
    if (reaped == 0) {
        fReapTimer->start();
        return;
    }
    fReapTimer->stop();
    fPid = -1;
    if (reaped < 0)
        status = -1;
    else if (WIFSIGNALED(status))
        status = 128 + WTERMSIG(status);
    else
        status = WEXITSTATUS(status);
    emit Ended(status);
}

void AScriptRun::CloseOutput()
{
    delete fNotifier;
    fNotifier = nullptr;
    if (fOutput >= 0)
        close(fOutput);
    fOutput = -1;
}
