#pragma once
// A D-Bus service for tests: owns a name on the test's private session bus
// (APrivateBus, made first) and hands every method call to one object path
// to the test's handler, on a thread of its own - so what the handler
// records must be guarded. The handler replies itself, or leaves the call
// unanswered to play a service that hangs.

#include <systemd/sd-bus.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

class ABusServiceStandIn {
public:
    using AHandler = std::function<void(sd_bus_message* call)>;

    // The name is owned once the constructor returns.
    ABusServiceStandIn(const std::string& busName, const std::string& objectPath, AHandler handler);
    ~ABusServiceStandIn();
    ABusServiceStandIn(const ABusServiceStandIn&) = delete;
    ABusServiceStandIn& operator=(const ABusServiceStandIn&) = delete;

private:
    AHandler fHandler;
    sd_bus* fBus = nullptr;
    sd_bus_slot* fSlot = nullptr;
    std::atomic<bool> fStopping = false;
    std::thread fThread;
};
