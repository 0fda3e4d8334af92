#include "platform/bus/ALogindPowerMonitor.h"

#include "platform/bus/ADBusNames.h"

#include <systemd/sd-bus.h>

#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr const char* kInhibitWhat = "sleep";
constexpr const char* kInhibitWho = "Nuvexa Device Controller";
constexpr const char* kInhibitWhy = "Closing the devices and message ports before sleep";
constexpr const char* kInhibitMode = "delay";
// logind gives delay locks at most InhibitDelayMaxSec (5 s by default); a
// logind that does not answer within that is as good as absent.
constexpr uint64_t kMethodCallTimeoutUsec = 5 * 1000 * 1000;

bool IsAbsentService(const sd_bus_error& error)
{
    return sd_bus_error_has_name(&error, SD_BUS_ERROR_SERVICE_UNKNOWN) ||
           sd_bus_error_has_name(&error, SD_BUS_ERROR_NAME_HAS_NO_OWNER) ||
           sd_bus_error_has_name(&error, SD_BUS_ERROR_NO_REPLY) ||
           sd_bus_error_has_name(&error, SD_BUS_ERROR_TIMEOUT) ||
           sd_bus_error_has_name(&error, SD_BUS_ERROR_DISCONNECTED);
}

} // namespace

std::unique_ptr<ALogindPowerMonitor> ALogindPowerMonitor::Open(AEventLoop& loop, ACallback callback, void* refCon)
{
    sd_bus* bus = nullptr;
    // Honours DBUS_SYSTEM_BUS_ADDRESS.
    if (sd_bus_open_system(&bus) < 0)
        return nullptr;
    std::unique_ptr<ALogindPowerMonitor> monitor(new ALogindPowerMonitor(bus, callback, refCon));
    sd_bus_set_method_call_timeout(bus, kMethodCallTimeoutUsec);
    if (sd_bus_attach_event(bus, loop.Get(), SD_EVENT_PRIORITY_NORMAL) < 0)
        return nullptr;
    if (sd_bus_match_signal(bus, &monitor->fSignalSlot, kLogindService, kLogindPath, kLogindManagerInterface,
                            "PrepareForSleep", PrepareForSleepCallback, monitor.get()) < 0)
        return nullptr;
    if (!monitor->TakeSleepLock())
        return nullptr;
    return monitor;
}

ALogindPowerMonitor::ALogindPowerMonitor(sd_bus* bus, ACallback callback, void* refCon)
    : fBus(bus), fCallback(callback), fRefCon(refCon)
{
}

ALogindPowerMonitor::~ALogindPowerMonitor()
{
    ReleaseSleepLock();
    sd_bus_slot_unref(std::exchange(fSignalSlot, nullptr));
    if (fBus != nullptr) {
        sd_bus_detach_event(fBus);
        sd_bus_flush_close_unref(std::exchange(fBus, nullptr));
    }
}

bool ALogindPowerMonitor::TakeSleepLock()
{
    ReleaseSleepLock();
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const int result = sd_bus_call_method(fBus, kLogindService, kLogindPath, kLogindManagerInterface, "Inhibit",
                                          &error, &reply, "ssss", kInhibitWhat, kInhibitWho, kInhibitWhy,
                                          kInhibitMode);
    bool present = true;
    if (result < 0) {
        // A logind that refuses the lock (policy) still reports sleep and
        // wake; only a missing logind ends power handling.
        present = !IsAbsentService(error) && result != -ECONNREFUSED && result != -ENOENT;
    } else {
        int fd = -1;
        // The reply owns the descriptor it carries; keep a copy of our own.
        if (sd_bus_message_read(reply, "h", &fd) >= 0 && fd >= 0)
            fSleepLock = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    }
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return present;
}

void ALogindPowerMonitor::ReleaseSleepLock()
{
    // Closing the lock's descriptor is what tells logind that we are done.
    if (fSleepLock >= 0)
        close(std::exchange(fSleepLock, -1));
}

int ALogindPowerMonitor::PrepareForSleepCallback(sd_bus_message* message, void* userdata, sd_bus_error*)
{
    auto* self = static_cast<ALogindPowerMonitor*>(userdata);
    int sleeping = 0;
    if (sd_bus_message_read(message, "b", &sleeping) < 0)
        return 0;
    if (sleeping != 0) {
        if (self->fCallback != nullptr)
            self->fCallback(self->fRefCon, APowerMessage::kSystemWillSleep);
        self->ReleaseSleepLock();
    } else {
        if (self->fCallback != nullptr)
            self->fCallback(self->fRefCon, APowerMessage::kSystemHasPoweredOn);
        // logind may have gone away meanwhile; then we simply hold no lock.
        self->TakeSleepLock();
    }
    return 0;
}
