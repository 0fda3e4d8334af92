#pragma once
// A private dbus-daemon for one test (configured by
// tests/fixtures/agent/bus.conf), listening in a temporary folder and
// stopped with the object. DBUS_SESSION_BUS_ADDRESS, or for a bus playing
// the system bus DBUS_SYSTEM_BUS_ADDRESS, points at it for the object's life.

#include "tests/support/AChildProgram.h"

class APrivateBus {
public:
    enum class AKind { kSession, kSystem };

    // Throws std::runtime_error when the daemon does not start.
    explicit APrivateBus(AKind kind = AKind::kSession);

    const std::string& Address() const { return fAddress; }

private:
    ATemporaryFolder fFolder;
    std::string fAddress = "unix:path=" + (fFolder.Path() / "bus").string();
    AChildProgram fDaemon;
    std::optional<AScopedEnvironment> fEnvironment;
};
