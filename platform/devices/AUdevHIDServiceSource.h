#pragma once
// AUdevHIDServiceSource finds the vendor's HID devices through udev: an
// sd-device monitor on the "hidraw" subsystem reports arrivals and removals
// on the event loop, an enumeration lists the nodes present. A hidraw node's
// vendor and product come from its parent HID device's "HID_ID". Each
// device is reported under its node (/dev/hidrawN); what a node was is
// remembered from its arrival, since nothing can be read of it at removal.
// The monitor hears only what systemd-udevd has finished with, so a node is
// reported once its permissions (the uaccess rule) are in place.

#include "platform/devices/AHIDServiceSource.h"
#include "platform/devices/AHidrawNodeTable.h"

class AUdevHIDServiceSource final : public AHIDServiceSource {
public:
    AUdevHIDServiceSource();
    ~AUdevHIDServiceSource() override;
    AUdevHIDServiceSource(const AUdevHIDServiceSource&) = delete;
    AUdevHIDServiceSource& operator=(const AUdevHIDServiceSource&) = delete;

    // Starts the monitor on `loop`; null when udev's monitor cannot be had.
    // The source must outlive the watch.
    std::unique_ptr<AHIDServiceWatch> Watch(AEventLoop& loop, uint32_t vendorID, ABatchCallback arrived,
                                            ABatchCallback removed, void* refCon) override;
    // The vendor's nodes that udev has finished setting up.
    std::vector<AHIDService> Enumerate(uint32_t vendorID) override;
    std::unique_ptr<AHIDDeviceConnection> CreateConnection(const AHIDService& service) override;

private:
    class AMonitorWatch;
    AHidrawNodeTable fNodes;
};
