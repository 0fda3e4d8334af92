#include "tests/support/AStandInLogind.h"

#include <iomanip>
#include <sstream>
#include <stdexcept>

namespace {

const std::string kLogind = "org.freedesktop.login1", kPath = "/org/freedesktop/login1";
const std::string kMock = "org.freedesktop.DBus.Mock";

} // namespace

AStandInLogind::AStandInLogind()
{
    // Ready once logind's name is owned.
    const std::vector<std::string> hasOwner = {"org.freedesktop.DBus", "/org/freedesktop/DBus",
                                               "org.freedesktop.DBus", "NameHasOwner", "s", kLogind};
    if (!WaitFor([&] { return !fMock.IsRunning() || Call(hasOwner).at(1) == "true"; }, 20.0) || !fMock.IsRunning())
        throw std::runtime_error("python3-dbusmock's logind template did not start: " + fMock.Stderr());
}

std::vector<std::string> AStandInLogind::Call(const std::vector<std::string>& arguments) const
{
    std::vector<std::string> command = {"--address=" + fBus.Address(), "call"};
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

void AStandInLogind::EmitPrepareForSleep(bool sleeping)
{
    Call({kLogind, kPath, kMock, "EmitSignal", "sssav", kLogind + ".Manager", "PrepareForSleep", "b", "1", "b",
          sleeping ? "true" : "false"});
}

std::vector<AInhibitor> AStandInLogind::ListInhibitors()
{
    // "a(ssssuu) <count>" and six words a lock.
    const std::vector<std::string> words = Call({kLogind, kPath, kLogind + ".Manager", "ListInhibitors"});
    std::vector<AInhibitor> inhibitors;
    for (size_t at = 2; at + 6 <= words.size(); at += 6)
        inhibitors.push_back({words[at], words[at + 1], words[at + 2], words[at + 3]});
    return inhibitors;
}

size_t AStandInLogind::CountInhibitCalls()
{
    return std::stoul(Call({kLogind, kPath, kMock, "GetMethodCalls", "s", "Inhibit"}).at(1));
}

bool AStandInLogind::WaitForInhibitorCount(size_t count, double seconds)
{
    // The stand-in notices a closed lock on its own loop, a moment later.
    return WaitFor([&] { return ListInhibitors().size() == count; }, seconds);
}
