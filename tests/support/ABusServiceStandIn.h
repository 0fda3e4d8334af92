#pragma once
// A D-Bus service for tests: owns a name on the test's private session bus
// (APrivateBus, which must exist first) and answers every method call to one
// object path, on a thread of its own, through the handler the test gives.
// The handler runs on that thread, so what it records must be guarded; it
// replies to the call itself, or leaves it unanswered to play a service that
// hangs. The name is owned once the constructor returns; the destructor
// stops the thread and closes the connection.

#include <systemd/sd-bus.h>

#include <functional>
#include <string>
#include <thread>

class ABusServiceStandIn {
public:
    using AHandler = std::function<void(sd_bus_message* call)>;

    ABusServiceStandIn(const std::string& busName, const std::string& objectPath, AHandler handler);
    ~ABusServiceStandIn();
    ABusServiceStandIn(const ABusServiceStandIn&) = delete;
    ABusServiceStandIn& operator=(const ABusServiceStandIn&) = delete;

private:
    static int Dispatch(sd_bus_message* call, void* userdata, sd_bus_error* error);
    void Serve();

    AHandler fHandler;
    sd_bus* fBus = nullptr;
    sd_bus_slot* fSlot = nullptr;
    int fStopFd = -1;
    std::thread fThread;
};

// Replies to `call` with no values; for handlers.
void ReplyEmpty(sd_bus_message* call);
