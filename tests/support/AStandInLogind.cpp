#include "tests/support/AStandInLogind.h"

#include <systemd/sd-bus.h>

#include <cstdarg>
#include <stdexcept>

namespace {

constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kMock = "org.freedesktop.DBus.Mock";

} // namespace

AStandInLogind::AStandInLogind()
{
    if (sd_bus_new(&fClient) < 0 || sd_bus_set_address(fClient, fBus.Address().c_str()) < 0 ||
        sd_bus_set_bus_client(fClient, 1) < 0 || sd_bus_start(fClient) < 0)
        throw std::runtime_error("cannot connect to the private system bus");
    // Ready once logind's name is owned.
    const bool owned = WaitFor([this] {
        sd_bus_message* reply = nullptr;
        int has = 0;
        if (sd_bus_call_method(fClient, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                               "NameHasOwner", nullptr, &reply, "s", kLogind) >= 0)
            sd_bus_message_read(reply, "b", &has);
        sd_bus_message_unref(reply);
        return has != 0 || !fMock.IsRunning();
    }, 20.0);
    if (!owned || !fMock.IsRunning())
        throw std::runtime_error("python3-dbusmock's logind template did not start: " + fMock.Stderr());
}

AStandInLogind::~AStandInLogind()
{
    sd_bus_flush_close_unref(fClient);
}

sd_bus_message* AStandInLogind::Call(const char* interface, const char* method, const char* types, ...)
{
    sd_bus_message* call = nullptr;
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    va_list arguments;
    va_start(arguments, types);
    int result = sd_bus_message_new_method_call(fClient, &call, kLogind, "/org/freedesktop/login1", interface, method);
    if (result >= 0)
        result = sd_bus_message_appendv(call, types, arguments);
    va_end(arguments);
    if (result >= 0)
        result = sd_bus_call(fClient, call, 0, &error, &reply);
    const std::string why = error.message != nullptr ? error.message : "";
    sd_bus_error_free(&error);
    sd_bus_message_unref(call);
    if (result < 0)
        throw std::runtime_error(std::string(method) + " failed: " + why);
    return reply;
}

void AStandInLogind::EmitPrepareForSleep(bool sleeping)
{
    sd_bus_message_unref(Call(kMock, "EmitSignal", "sssav", "org.freedesktop.login1.Manager", "PrepareForSleep", "b",
                              1, "b", sleeping ? 1 : 0));
}

std::vector<AInhibitor> AStandInLogind::ListInhibitors()
{
    sd_bus_message* reply = Call("org.freedesktop.login1.Manager", "ListInhibitors", "");
    std::vector<AInhibitor> inhibitors;
    const char *what, *who, *why, *mode;
    uint32_t uid, pid;
    sd_bus_message_enter_container(reply, 'a', "(ssssuu)");
    while (sd_bus_message_read(reply, "(ssssuu)", &what, &who, &why, &mode, &uid, &pid) > 0)
        inhibitors.push_back({what, who, why, mode});
    sd_bus_message_unref(reply);
    return inhibitors;
}

size_t AStandInLogind::CountInhibitCalls()
{
    sd_bus_message* reply = Call(kMock, "GetMethodCalls", "s", "Inhibit");
    size_t count = 0;
    sd_bus_message_enter_container(reply, 'a', "(tav)");
    while (sd_bus_message_skip(reply, "(tav)") > 0)
        ++count;
    sd_bus_message_unref(reply);
    return count;
}

bool AStandInLogind::WaitForInhibitorCount(size_t count, double seconds)
{
    // The stand-in notices a closed lock on its own loop, a moment later.
    return WaitFor([&] { return ListInhibitors().size() == count; }, seconds);
}
