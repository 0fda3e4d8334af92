#pragma once
// A stand-in logind for one test: a private dbus-daemon playing the system
// bus (DBUS_SYSTEM_BUS_ADDRESS points at it for the object's life) with
// python3-dbusmock's logind template on it. The test makes it announce sleep
// and wake, and reads back the inhibitor locks it holds and the Inhibit calls
// it received.

#include "tests/support/AChildProgram.h"
#include "tests/support/APrivateBus.h"

#include <string>
#include <vector>

struct sd_bus;

struct AInhibitor {
    std::string fWhat;
    std::string fWho;
    std::string fWhy;
    std::string fMode;
};

class AStandInLogind {
public:
    // Throws std::runtime_error when the stand-in cannot be started.
    AStandInLogind();
    ~AStandInLogind();
    AStandInLogind(const AStandInLogind&) = delete;
    AStandInLogind& operator=(const AStandInLogind&) = delete;

    // Emits PrepareForSleep(sleeping) from logind's name.
    void EmitPrepareForSleep(bool sleeping);
    // The locks held right now (a lock goes when its descriptor is closed).
    std::vector<AInhibitor> ListInhibitors();
    // How many times Inhibit was called since the start.
    size_t CountInhibitCalls();
    // Waits (up to `seconds`) until `count` locks are held; false otherwise.
    bool WaitForInhibitorCount(size_t count, double seconds = 5.0);

private:
    APrivateBus fBus{APrivateBus::AKind::kSystem};
    AChildProgram fMock;
    sd_bus* fClient = nullptr;
};
