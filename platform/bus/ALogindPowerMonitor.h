#pragma once
// ALogindPowerMonitor hears of sleep and wake from logind on the system bus:
// PrepareForSleep(true) is "will sleep", PrepareForSleep(false) is "has
// powered on". While the owner is set up it holds a "delay" inhibitor lock,
// so logind waits for the owner's sleep work before suspending; the lock is
// released (its descriptor closed) right after the will-sleep callback, which
// is logind's acknowledgement, and taken anew after the has-powered-on one.

#include "platform/loop/AEventLoop.h"
#include "platform/bus/APowerMonitor.h"

#include <systemd/sd-bus.h>

#include <memory>

class ALogindPowerMonitor final : public APowerMonitor {
public:
    // Registers on `loop`. Null when there is no system bus or no logind on
    // it: the caller then runs without power handling.
    static std::unique_ptr<ALogindPowerMonitor> Open(AEventLoop& loop, ACallback callback, void* refCon);
    ~ALogindPowerMonitor() override;
    ALogindPowerMonitor(const ALogindPowerMonitor&) = delete;
    ALogindPowerMonitor& operator=(const ALogindPowerMonitor&) = delete;

    // Whether a delay lock is held right now.
    bool HoldsSleepLock() const { return fSleepLock >= 0; }

private:
    ALogindPowerMonitor(sd_bus* bus, ACallback callback, void* refCon);
    static int PrepareForSleepCallback(sd_bus_message* message, void* userdata, sd_bus_error* error);
    // The Inhibit call; false when logind is not there at all.
    bool TakeSleepLock();
    void ReleaseSleepLock();

    sd_bus* fBus = nullptr;
    sd_bus_slot* fSignalSlot = nullptr;
    int fSleepLock = -1;
    ACallback fCallback = nullptr;
    void* fRefCon = nullptr;
};
