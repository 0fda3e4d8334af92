#pragma once
// A stand-in logind for one test: python3-dbusmock's logind template on a
// private bus playing the system bus, driven through busctl. The test makes
// it announce sleep and wake, and reads back the inhibitor locks held and the
// Inhibit calls.

#include "tests/support/APrivateBus.h"

#include <iomanip>
#include <sstream>
#include <stdexcept>

struct AInhibitor {
    std::string fWhat, fWho, fWhy, fMode;
};

class AStandInLogind {
public:
    // Ready once logind's name is owned; throws std::runtime_error when the
    // stand-in cannot be started.
    AStandInLogind()
    {
        const std::vector<std::string> hasOwner = {"org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                                   "NameHasOwner", "s", kLogind};
        if (!WaitFor([&] { return !fMock.IsRunning() || Call(hasOwner).at(1) == "true"; }, 20.0) || !fMock.IsRunning())
            throw std::runtime_error("python3-dbusmock's logind template did not start: " + fMock.Stderr());
    }

    void EmitPrepareForSleep(bool sleeping)
    {
        Call({kLogind, kPath, kMock, "EmitSignal", "sssav", kManager, "PrepareForSleep", "b", "1", "b", sleeping ? "true" : "false"});
    }
    // The locks held now (a lock goes when its descriptor is closed): the
    // reply is "a(ssssuu) <count>" and six words a lock.
    std::vector<AInhibitor> ListInhibitors() const
    {
        const std::vector<std::string> words = Call({kLogind, kPath, kManager, "ListInhibitors"});
        std::vector<AInhibitor> inhibitors;
        for (size_t at = 2; at + 6 <= words.size(); at += 6)
            inhibitors.push_back({words[at], words[at + 1], words[at + 2], words[at + 3]});
        return inhibitors;
    }
    // How many times Inhibit was called since the start.
    size_t CountInhibitCalls() const { return std::stoul(Call({kLogind, kPath, kMock, "GetMethodCalls", "s", "Inhibit"}).at(1)); }
    // The stand-in notices a closed lock on its own loop, a moment later.
    bool WaitForInhibitorCount(size_t count, double seconds = 5.0) const
    {
        return WaitFor([&] { return ListInhibitors().size() == count; }, seconds);
    }

private:
    static constexpr const char *kLogind = "org.freedesktop.login1", *kPath = "/org/freedesktop/login1";
    static constexpr const char *kManager = "org.freedesktop.login1.Manager", *kMock = "org.freedesktop.DBus.Mock";

    // The reply's words (strings unquoted) to busctl's "call" with these
    // arguments; throws when the call fails.
    std::vector<std::string> Call(const std::vector<std::string>& arguments) const
    {
        std::vector<std::string> command = {"--system", "call"};
        command.insert(command.end(), arguments.begin(), arguments.end());
        const AProgramResult result = RunProgram("/usr/bin/busctl", command);
        if (result.fStatus != 0)
            throw std::runtime_error(arguments.at(3) + " failed: " + result.fStderr);
        std::vector<std::string> words;
        std::istringstream reply(result.fStdout);
        for (std::string word; reply >> std::quoted(word);)
            words.push_back(word);
        return words;
    }

    APrivateBus fBus{APrivateBus::AKind::kSystem};
    AChildProgram fMock{"/usr/bin/python3", {"-m", "dbusmock", "--template", "logind"}};
};
