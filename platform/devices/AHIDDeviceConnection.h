#pragma once
// The HID device connection: what the agent needs of one open HID device.
// The Linux implementation is a /dev/hidrawN node; tests put a stand-in
// behind this interface.

#include "hid/AHIDElement.h"

#include <optional>

class AHIDDeviceConnection {
public:
    virtual ~AHIDDeviceConnection() = default;
    // Opens the device shared (never seized); false on failure.
    virtual bool Open() = 0;
    // The device's input elements; none when they cannot be read.
    virtual std::optional<AHIDElementList> CopyElements() = 0;
    // A non-blocking descriptor that yields one input report per read(),
    // report-ID byte first when the device uses report IDs; -1 when closed.
    virtual int GetReportFileDescriptor() const = 0;
    // Closes the device; safe to call twice.
    virtual void Close() = 0;
};
