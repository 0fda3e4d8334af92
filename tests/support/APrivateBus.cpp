#include "tests/support/APrivateBus.h"

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

APrivateBus::APrivateBus(AKind kind)
{
    // The daemon prints its address once it listens: that line, not the
    // socket file (which exists a moment before it accepts), says it is ready.
    int ready[2];
    if (pipe(ready) != 0)
        throw std::runtime_error("pipe failed");
    const std::string config = "--config-file=" + FixturePath("agent/bus.conf").string();
    const std::string address = "--address=" + fAddress;
    const std::string print = "--print-address=" + std::to_string(ready[1]);
    fDaemon = fork();
    if (fDaemon == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        execlp("dbus-daemon", "dbus-daemon", "--nofork", "--nopidfile", config.c_str(), address.c_str(),
               print.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ready[1]);
    std::string printed;
    char buffer[256];
    ssize_t size = 0;
    for (pollfd watched{ready[0], POLLIN, 0}; printed.find('\n') == std::string::npos &&
                                              poll(&watched, 1, 10000) == 1 &&
                                              (size = read(ready[0], buffer, sizeof buffer)) > 0;)
        printed.append(buffer, static_cast<size_t>(size));
    close(ready[0]);
    if (printed.find('\n') == std::string::npos) {
        if (fDaemon > 0)
            kill(fDaemon, SIGKILL), waitpid(fDaemon, nullptr, 0);
        throw std::runtime_error("dbus-daemon did not start");
    }
    fEnvironment = std::make_unique<AScopedEnvironment>(
        kind == AKind::kSession ? "DBUS_SESSION_BUS_ADDRESS" : "DBUS_SYSTEM_BUS_ADDRESS", fAddress);
}

APrivateBus::~APrivateBus()
{
    fEnvironment.reset();
    if (fDaemon > 0) {
        kill(fDaemon, SIGTERM);
        waitpid(fDaemon, nullptr, 0);
    }
}
