#include "tests/support/APrivateBus.h"

#include <csignal>
#include <fcntl.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
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

    fDaemon = fork();
    if (fDaemon < 0)
        throw std::runtime_error("fork failed");
    if (fDaemon == 0) {
        int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        execlp("dbus-daemon", "dbus-daemon", "--nofork", "--nopidfile",
               ("--config-file=" + config.string()).c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // The daemon is ready once its socket exists.
    for (int i = 0; i < 500 && access(socket.c_str(), F_OK) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (access(socket.c_str(), F_OK) != 0) {
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
