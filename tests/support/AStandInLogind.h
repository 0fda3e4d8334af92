#pragma once
// A stand-in logind for one test: python3-dbusmock's logind template on a
// private bus playing the system bus, driven through busctl. The test makes
// it announce sleep and wake, and reads back the inhibitor locks held and the
// Inhibit calls.

#include "tests/support/APrivateBus.h"

struct AInhibitor {
    std::string fWhat, fWho, fWhy, fMode;
};

class AStandInLogind {
public:
    // Throws std::runtime_error when the stand-in cannot be started.
    AStandInLogind();

    // Emits PrepareForSleep(sleeping) from logind's name.
    void EmitPrepareForSleep(bool sleeping);
    // The locks held now (a lock goes when its descriptor is closed).
    std::vector<AInhibitor> ListInhibitors();
    // How many times Inhibit was called since the start.
    size_t CountInhibitCalls();
    // Waits (up to `seconds`) until `count` locks are held; false otherwise.
    bool WaitForInhibitorCount(size_t count, double seconds = 5.0);

private:
    // The reply's words (strings unquoted) to busctl's "call" with these
    // arguments; throws when the call fails.
    std::vector<std::string> Call(const std::vector<std::string>& arguments) const;

    APrivateBus fBus{APrivateBus::AKind::kSystem};
    AChildProgram fMock{"/usr/bin/python3", {"-m", "dbusmock", "--template", "logind"}};
};
