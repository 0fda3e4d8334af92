#include "uninstaller/ALogindRestart.h"

#include <systemd/sd-bus.h>

int RequestRestartFromLogind()
{
    sd_bus* bus = nullptr;
    int result = sd_bus_open_system(&bus);
    if (result >= 0) {
        // Interactive authorization: polkit may ask before logind complies.
        sd_bus_set_allow_interactive_authorization(bus, 1);
        sd_bus_error error = SD_BUS_ERROR_NULL;
        result = sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                                    "org.freedesktop.login1.Manager", "Reboot", &error, nullptr, "b", 1);
        sd_bus_error_free(&error);
    }
    sd_bus_flush_close_unref(bus);
    return result < 0 ? result : 0;
}
