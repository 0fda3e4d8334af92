#pragma once
// A private dbus-daemon for one test (configured by
// tests/fixtures/agent/bus.conf), listening in a temporary folder and
// stopped with the object. DBUS_SESSION_BUS_ADDRESS, or for a bus playing
// the system bus DBUS_SYSTEM_BUS_ADDRESS, points at it for the object's life.

#include "tests/support/AChildProgram.h"

#include <stdexcept>

class APrivateBus {
public:
    enum class AKind { kSession, kSystem };

    // The daemon prints its address once it listens: that line, not the
    // socket file (which exists a moment before it accepts), says it is
    // ready. Throws std::runtime_error when the daemon does not start.
    explicit APrivateBus(AKind kind = AKind::kSession)
    {
        if (!WaitFor([this] { return fDaemon.Stdout().find('\n') != std::string::npos || !fDaemon.IsRunning(); }) ||
            !fDaemon.IsRunning())
            throw std::runtime_error("dbus-daemon did not start: " + fDaemon.Stderr());
        fEnvironment.emplace(kind == AKind::kSession ? "DBUS_SESSION_BUS_ADDRESS" : "DBUS_SYSTEM_BUS_ADDRESS", fAddress);
    }

private:
    ATemporaryFolder fFolder;
    std::string fAddress = "unix:path=" + (fFolder.Path() / "bus").string();
    AChildProgram fDaemon{"/usr/bin/dbus-daemon", {"--nofork", "--nopidfile", "--address=" + fAddress, "--print-address=1",
                                                   "--config-file=" + FixturePath("agent/bus.conf").string()}};
    std::optional<AScopedEnvironment> fEnvironment;
};
