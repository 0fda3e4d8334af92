#include "tests/support/AStandInLogind.h"

#include <systemd/sd-bus.h>

#include <chrono>
#include <stdexcept>
#include <thread>

namespace {

constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kLogindPath = "/org/freedesktop/login1";
constexpr const char* kMockInterface = "org.freedesktop.DBus.Mock";

} // namespace

// Debian's interpreter, where python3-dbusmock is installed.
AStandInLogind::AStandInLogind() : fMock("/usr/bin/python3", {"-m", "dbusmock", "--template", "logind"})
{
    if (sd_bus_new(&fClient) < 0 || sd_bus_set_address(fClient, fBus.Address().c_str()) < 0 ||
        sd_bus_set_bus_client(fClient, 1) < 0 || sd_bus_start(fClient) < 0)
        throw std::runtime_error("cannot connect to the private system bus");
    // Ready once logind's name is owned.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (true) {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        int owned = 0;
        if (sd_bus_call_method(fClient, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                               "NameHasOwner", &error, &reply, "s", kLogind) >= 0)
            sd_bus_message_read(reply, "b", &owned);
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
        if (owned != 0)
            break;
        if (!fMock.IsRunning())
            throw std::runtime_error("python3-dbusmock's logind template did not start: " + fMock.Stderr());
        if (std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("logind stand-in did not take its name");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

AStandInLogind::~AStandInLogind()
{
    sd_bus_flush_close_unref(fClient);
}

void AStandInLogind::EmitPrepareForSleep(bool sleeping)
{
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const int result = sd_bus_call_method(fClient, kLogind, kLogindPath, kMockInterface, "EmitSignal", &error,
                                          nullptr, "sssav", "org.freedesktop.login1.Manager", "PrepareForSleep",
                                          "b", 1, "b", sleeping ? 1 : 0);
    const std::string why = error.message != nullptr ? error.message : "";
    sd_bus_error_free(&error);
    if (result < 0)
        throw std::runtime_error("EmitSignal failed: " + why);
}

std::vector<AInhibitor> AStandInLogind::ListInhibitors()
{
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    std::vector<AInhibitor> inhibitors;
    if (sd_bus_call_method(fClient, kLogind, kLogindPath, "org.freedesktop.login1.Manager", "ListInhibitors",
                           &error, &reply, "") < 0) {
        sd_bus_error_free(&error);
        throw std::runtime_error("ListInhibitors failed");
    }
    sd_bus_message_enter_container(reply, 'a', "(ssssuu)");
    const char *what, *who, *why, *mode;
    uint32_t uid, pid;
    while (sd_bus_message_read(reply, "(ssssuu)", &what, &who, &why, &mode, &uid, &pid) > 0)
        inhibitors.push_back({what, who, why, mode});
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return inhibitors;
}

size_t AStandInLogind::CountInhibitCalls()
{
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    if (sd_bus_call_method(fClient, kLogind, kLogindPath, kMockInterface, "GetMethodCalls", &error, &reply, "s",
                           "Inhibit") < 0) {
        sd_bus_error_free(&error);
        throw std::runtime_error("GetMethodCalls failed");
    }
    size_t count = 0;
    sd_bus_message_enter_container(reply, 'a', "(tav)");
    while (sd_bus_message_skip(reply, "(tav)") > 0)
        ++count;
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return count;
}

bool AStandInLogind::WaitForInhibitorCount(size_t count, double seconds)
{
    // The stand-in notices a closed lock on its own loop, a moment later.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (ListInhibitors().size() != count) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
