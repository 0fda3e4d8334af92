#include "tests/support/ABusServiceStandIn.h"

#include <stdexcept>

ABusServiceStandIn::ABusServiceStandIn(const std::string& busName, const std::string& objectPath,
                                       AHandler handler)
    : fHandler(std::move(handler))
{
    const auto dispatch = [](sd_bus_message* call, void* self, sd_bus_error*) {
        static_cast<ABusServiceStandIn*>(self)->fHandler(call);
        return 1;  // handled, whether answered or not
    };
    // The object stays as long as the connection.
    if (sd_bus_open_user(&fBus) < 0 || sd_bus_add_object(fBus, nullptr, objectPath.c_str(), dispatch, this) < 0 ||
        sd_bus_request_name(fBus, busName.c_str(), 0) < 0) {
        sd_bus_flush_close_unref(fBus);
        throw std::runtime_error("stand-in service: cannot own " + busName);
    }
    // Wakes every few milliseconds to see whether the test is done with it.
    fThread = std::thread([this] {
        for (int processed = 0; !fStopping && processed >= 0; processed = sd_bus_process(fBus, nullptr)) {
            if (processed == 0)
                sd_bus_wait(fBus, 5'000);
        }
    });
}

ABusServiceStandIn::~ABusServiceStandIn()
{
    fStopping = true;
    fThread.join();
    sd_bus_flush_close_unref(fBus);
}
