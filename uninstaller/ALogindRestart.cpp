#include "uninstaller/ALogindRestart.h"

#include <systemd/sd-bus.h>

#include <cstdint>

namespace {

// An interactive request waits while polkit asks for a password, which
// takes a person longer than the bus's default time-out.
constexpr uint64_t kRestartTimeoutMicroseconds = 120ULL * 1000 * 1000;

} // namespace

int RequestRestartFromLogind()
{
    sd_bus* bus = nullptr;
    sd_bus_message* call = nullptr;
    int result = sd_bus_open_system(&bus);
    if (result >= 0)
        result = sd_bus_message_new_method_call(bus, &call, "org.freedesktop.login1", "/org/freedesktop/login1",
                                                "org.freedesktop.login1.Manager", "Reboot");
    if (result >= 0)
        result = sd_bus_message_set_allow_interactive_authorization(call, 1);
    if (result >= 0)
        result = sd_bus_message_append(call, "b", 1);
    if (result >= 0) {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        result = sd_bus_call(bus, call, kRestartTimeoutMicroseconds, &error, nullptr);
        sd_bus_error_free(&error);
    }
    sd_bus_message_unref(call);
    sd_bus_flush_close_unref(bus);
    return result < 0 ? result : 0;
}
