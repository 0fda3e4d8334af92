#pragma once
// AChildProcess runs one program as a child process, with an argument vector
// and never through a shell, and owns it until it has been reaped. It can
// capture the child's standard output and standard error through pipes (kept
// up to a limit, drained to the end regardless so the child never blocks on
// a full pipe), and it reports what actually happened: the exec error when
// the program could not be started, else the exit status or the terminating
// signal.
//
// The child starts in a session of its own, with an empty signal mask and
// every signal at its default action (the agent's loop blocks the signals it
// serves, and a blocked mask would be inherited), and with every descriptor
// above standard error closed. Nothing global of the caller is changed: no
// SIGCHLD handler, no signal mask.
//
// Waiting ends when the child has exited. Output that its descendants (an
// application the child started in the background, say) keep writing to the
// inherited pipes afterwards is drained in the background and discarded, so
// they neither block nor die of SIGPIPE, and the caller is not held for their
// lifetime. A child that is still running when its owner lets go (Detach, or
// the destructor) is not killed: a background thread drains its pipes and
// reaps it when it ends, so no zombie is left behind.

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

class AChildProcess {
public:
    struct AOptions {
        bool fSearchPath = false;     // a program name without '/' is looked up on PATH
        bool fNullInput = false;      // standard input from /dev/null instead of the caller's
        bool fCaptureOutput = false;  // standard output into Output() instead of the caller's
        bool fCaptureError = false;   // standard error into ErrorOutput() instead of the caller's
        size_t fCaptureLimit = 64 * 1024;  // bytes kept of each captured stream
    };

    enum class AState {
        kNotStarted,
        kStartFailed,  // StartError() holds the errno of the failed exec or set-up
        kRunning,
        kExited,       // ExitStatus(); -1 when another waiter took the status
        kSignaled,     // TermSignal()
        kDetached,     // handed to the background reaper
    };

    AChildProcess() = default;
    ~AChildProcess();
    AChildProcess(const AChildProcess&) = delete;
    AChildProcess& operator=(const AChildProcess&) = delete;

    // Starts `program` with argv[0] = program followed by `arguments`.
    // Returns false when it could not be started (StartError() says why).
    bool Start(const std::string& program, const std::vector<std::string>& arguments,
               const AOptions& options);

    // Drains the captured streams and waits until the child has ended, at
    // most `limit` (none: as long as it takes). Returns true once it has
    // ended and been reaped; false while it is still running (or was never
    // started).
    bool Wait(std::optional<std::chrono::milliseconds> limit = std::nullopt);

    // Lets go of a child that is still running: a background thread drains
    // its pipes and reaps it. Does nothing in any other state.
    void Detach();

    AState State() const { return fState; }
    pid_t Pid() const { return fPid; }
    int StartError() const { return fStartError; }
    int ExitStatus() const { return fExitStatus; }
    int TermSignal() const { return fTermSignal; }
    const std::string& Output() const { return fOutput; }
    const std::string& ErrorOutput() const { return fErrorOutput; }

private:
    bool TryReap(int options);
    void DrainAvailable(int& fd, std::string& text);
    void HandOff(bool withChild);

    AState fState = AState::kNotStarted;
    pid_t fPid = -1;
    int fPidFd = -1;     // readable once the child has exited; -1 on kernels without pidfd
    int fOutputFd = -1;  // read ends of the capture pipes, non-blocking
    int fErrorFd = -1;
    size_t fCaptureLimit = 0;
    int fStartError = 0;
    int fExitStatus = 0;
    int fTermSignal = 0;
    std::string fOutput;
    std::string fErrorOutput;
};
