#include "tests/support/APrivateBus.h"

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

APrivateBus::APrivateBus(AKind kind)
{
    const auto socket = fFolder.Path() / "bus";
    fAddress = "unix:path=" + socket.string();
    const auto config = fFolder.Path() / "bus.conf";
    // A session-style configuration for either kind: anyone of this machine
    // may own names and send, which is what the stand-in services need.
    WriteWholeFile(config,
                   "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                   " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                   "<busconfig>\n"
                   "  <type>session</type>\n"
                   "  <listen>" + fAddress + "</listen>\n"
                   "  <auth>EXTERNAL</auth>\n"
                   "  <policy context=\"default\">\n"
                   "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                   "    <allow eavesdrop=\"true\"/>\n"
                   "    <allow own=\"*\"/>\n"
                   "    <allow user=\"*\"/>\n"
                   "  </policy>\n"
                   "</busconfig>\n");

    // The daemon prints its address once it listens: that line, not the
    // socket file (which exists a moment before it accepts), says it is ready.
    int ready[2];
    if (pipe(ready) != 0)
        throw std::runtime_error("pipe failed");
    const std::string configArgument = "--config-file=" + config.string();
    const std::string printArgument = "--print-address=" + std::to_string(ready[1]);
    fDaemon = fork();
    if (fDaemon < 0)
        throw std::runtime_error("fork failed");
    if (fDaemon == 0) {
        close(ready[0]);
        int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        execlp("dbus-daemon", "dbus-daemon", "--nofork", "--nopidfile", configArgument.c_str(),
               printArgument.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ready[1]);
    std::string printed;
    for (;;) {
        pollfd watched{ready[0], POLLIN, 0};
        char buffer[256];
        ssize_t size = 0;
        if (poll(&watched, 1, 10000) != 1 || (size = read(ready[0], buffer, sizeof buffer)) <= 0)
            break;
        printed.append(buffer, static_cast<size_t>(size));
        if (printed.find('\n') != std::string::npos)
            break;
    }
    close(ready[0]);
    if (printed.find('\n') == std::string::npos) {
        kill(fDaemon, SIGKILL);
        waitpid(fDaemon, nullptr, 0);
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
