#pragma once
// A stand-in logind for one test: a private bus playing the system bus with
// python3-dbusmock's logind template on it, driven through busctl. The test
// makes it announce sleep and wake, and reads back the inhibitor locks held
// and the Inhibit calls.

#include "tests/support/APrivateBus.h"

#include <string>
#include <vector>

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

    // Emits PrepareForSleep(sleeping) from logind's name.
    void EmitPrepareForSleep(bool sleeping);
    // The locks held right now (a lock goes when its descriptor is closed).
    std::vector<AInhibitor> ListInhibitors();
    // How many times Inhibit was called since the start.
    size_t CountInhibitCalls();
    // Waits (up to `seconds`) until `count` locks are held; false otherwise.
    bool WaitForInhibitorCount(size_t count, double seconds = 5.0);

private:
    // The reply's words (strings unquoted) to a call of `arguments` (busctl's
    // "call" arguments from the service on); throws when the call fails.
    std::vector<std::string> Call(const std::vector<std::string>& arguments) const;

    APrivateBus fBus{APrivateBus::AKind::kSystem};
    // Debian's interpreter, where python3-dbusmock is installed.
    AChildProgram fMock{"/usr/bin/python3", {"-m", "dbusmock", "--template", "logind"}};
};
