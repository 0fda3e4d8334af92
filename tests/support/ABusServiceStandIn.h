#pragma once
// A D-Bus service on the test's private session bus (APrivateBus, made
// first): owns a name, once the constructor returns, and hands every method
// call to one object path to the handler on a thread of its own, so what the
// handler records must be guarded. The handler replies, or leaves the call
// unanswered to play a service that hangs.

#include <systemd/sd-bus.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

class ABusServiceStandIn {
public:
    using AHandler = std::function<void(sd_bus_message* call)>;

    ABusServiceStandIn(const std::string& busName, const std::string& objectPath, AHandler handler);
    ~ABusServiceStandIn();

private:
    AHandler fHandler;
    sd_bus* fBus = nullptr;
    std::atomic<bool> fStopping = false;
    std::thread fThread;
};
