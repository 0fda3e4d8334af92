#include "tests/support/APrivateBus.h"

#include <stdexcept>

APrivateBus::APrivateBus(AKind kind)
    : fDaemon("/usr/bin/dbus-daemon", {"--nofork", "--nopidfile", "--address=" + fAddress, "--print-address=1",
                                       "--config-file=" + FixturePath("agent/bus.conf").string()})
{
    // The daemon prints its address once it listens: that line, not the
    // socket file (which exists a moment before it accepts), says it is ready.
    if (!WaitFor([this] { return fDaemon.Stdout().find('\n') != std::string::npos || !fDaemon.IsRunning(); }) ||
        !fDaemon.IsRunning())
        throw std::runtime_error("dbus-daemon did not start: " + fDaemon.Stderr());
    fEnvironment.emplace(kind == AKind::kSession ? "DBUS_SESSION_BUS_ADDRESS" : "DBUS_SYSTEM_BUS_ADDRESS", fAddress);
}
