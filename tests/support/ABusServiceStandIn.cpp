#include "tests/support/ABusServiceStandIn.h"

#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

ABusServiceStandIn::ABusServiceStandIn(const std::string& busName, const std::string& objectPath,
                                       AHandler handler)
    : fHandler(std::move(handler))
{
    const auto dispatch = [](sd_bus_message* call, void* self, sd_bus_error*) {
        static_cast<ABusServiceStandIn*>(self)->fHandler(call);
        return 1;  // handled, whether answered or not
    };
    if (sd_bus_open_user(&fBus) < 0 || sd_bus_add_object(fBus, &fSlot, objectPath.c_str(), dispatch, this) < 0 ||
        sd_bus_request_name(fBus, busName.c_str(), 0) < 0) {
        sd_bus_slot_unref(fSlot);
        sd_bus_flush_close_unref(fBus);
        throw std::runtime_error("stand-in service: cannot own " + busName);
    }
    fStopFd = eventfd(0, EFD_CLOEXEC);
    fThread = std::thread([this] {
        for (int processed = sd_bus_process(fBus, nullptr); processed >= 0;
             processed = sd_bus_process(fBus, nullptr)) {
            if (processed > 0)
                continue;
            uint64_t until = UINT64_MAX;
            int timeout = -1;
            if (sd_bus_get_timeout(fBus, &until) > 0 && until != UINT64_MAX) {
                timespec now{};
                clock_gettime(CLOCK_MONOTONIC, &now);
                const uint64_t nowUsec = static_cast<uint64_t>(now.tv_sec) * 1000000u + now.tv_nsec / 1000u;
                timeout = until > nowUsec ? static_cast<int>((until - nowUsec + 999) / 1000) : 0;
            }
            pollfd polled[2] = {{sd_bus_get_fd(fBus), static_cast<short>(sd_bus_get_events(fBus)), 0},
                                {fStopFd, POLLIN, 0}};
            if (poll(polled, 2, timeout) > 0 && (polled[1].revents & POLLIN))
                return;
        }
    });
}

ABusServiceStandIn::~ABusServiceStandIn()
{
    const uint64_t one = 1;
    if (write(fStopFd, &one, sizeof one) != sizeof one)
        std::terminate();  // the thread could never be stopped
    fThread.join();
    close(fStopFd);
    sd_bus_slot_unref(fSlot);
    sd_bus_flush_close_unref(fBus);
}
