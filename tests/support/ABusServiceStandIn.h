#pragma once
// A D-Bus service on the test's private session bus (APrivateBus, made
// first): owns a name, once the constructor returns, and hands every method
// call to one object path to the handler on a thread of its own: what the
// handler records is guarded, or read once the stand-in is destroyed. The
// handler replies, or leaves the call unanswered to play a service that hangs.

#include <systemd/sd-bus.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

class ABusServiceStandIn {
public:
    using AHandler = std::function<void(sd_bus_message* call)>;

    ABusServiceStandIn(const std::string& busName, const std::string& objectPath, AHandler handler)
        : fHandler(std::move(handler))
    {
        const auto dispatch = [](sd_bus_message* call, void* self, sd_bus_error*) {
            static_cast<ABusServiceStandIn*>(self)->fHandler(call);
            return 1;  // handled, answered or not
        };
        if (sd_bus_open_user(&fBus) < 0 || sd_bus_add_object(fBus, nullptr, objectPath.c_str(), dispatch, this) < 0 ||
            sd_bus_request_name(fBus, busName.c_str(), 0) < 0) {
            sd_bus_flush_close_unref(fBus);
            throw std::runtime_error("stand-in service: cannot own " + busName);
        }
        // Wakes every few milliseconds to see whether the test is done with it.
        fThread = std::thread([this] {
            for (int processed = 0; !fStopping && processed >= 0; processed = sd_bus_process(fBus, nullptr))
                if (processed == 0)
                    sd_bus_wait(fBus, 5'000);
        });
    }
    ~ABusServiceStandIn()
    {
        fStopping = true;
        fThread.join();
        sd_bus_flush_close_unref(fBus);
    }

private:
    AHandler fHandler;
    sd_bus* fBus = nullptr;
    std::atomic<bool> fStopping = false;
    std::thread fThread;
};
