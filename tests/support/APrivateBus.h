#pragma once
// A private dbus-daemon for one test: started on a socket in a temporary
// folder, stopped (and reaped) with the object. Session() also points
// DBUS_SESSION_BUS_ADDRESS at it for the test's life; a second bus can play
// the system bus (DBUS_SYSTEM_BUS_ADDRESS).

#include "tests/support/ATestPaths.h"

#include <memory>
#include <string>
#include <sys/types.h>

class APrivateBus {
public:
    enum class AKind { kSession, kSystem };

    // Starts the daemon and sets the matching environment variable.
    explicit APrivateBus(AKind kind = AKind::kSession);
    ~APrivateBus();
    APrivateBus(const APrivateBus&) = delete;
    APrivateBus& operator=(const APrivateBus&) = delete;

    const std::string& Address() const { return fAddress; }

private:
    ATemporaryFolder fFolder;
    pid_t fDaemon = -1;
    std::string fAddress;
    std::unique_ptr<AScopedEnvironment> fEnvironment;
};
