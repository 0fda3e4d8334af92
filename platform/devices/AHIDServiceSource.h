#pragma once
// Device discovery at the platform boundary: which HID devices of a vendor
// are attached, when they arrive and leave, and how to open one. The Linux
// implementation watches the hidraw subsystem through sd-device; tests put a
// stand-in behind this interface.

#include "platform/loop/AEventLoop.h"
#include "platform/devices/AHIDDeviceConnection.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One HID device as discovery reports it.
struct AHIDService {
    std::string fKey;                      // what the device is (the hidraw node), stable from arrival to removal
    std::optional<uint32_t> fVendorID;     // none when the properties could not be read
    std::optional<uint32_t> fProductID;
};

// A running watch; destroying it stops the notifications.
class AHIDServiceWatch {
public:
    virtual ~AHIDServiceWatch() = default;
};

class AHIDServiceSource {
public:
    using ABatchCallback = void (*)(void* refCon, const std::vector<AHIDService>& services);

    virtual ~AHIDServiceSource() = default;

    // Starts watching arrivals and removals of devices of `vendorID` on
    // `loop`; each callback gets one batch of services. Null on failure.
    virtual std::unique_ptr<AHIDServiceWatch> Watch(AEventLoop& loop, uint32_t vendorID,
                                                    ABatchCallback arrived, ABatchCallback removed,
                                                    void* refCon) = 0;
    // The devices of `vendorID` attached now. Called after Watch, so that
    // nothing arriving in between is missed.
    virtual std::vector<AHIDService> Enumerate(uint32_t vendorID) = 0;
    // A connection to the device, not yet opened; null on failure.
    virtual std::unique_ptr<AHIDDeviceConnection> CreateConnection(const AHIDService& service) = 0;
};
