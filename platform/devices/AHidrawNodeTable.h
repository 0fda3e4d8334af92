#pragma once
// AHidrawNodeTable remembers what each hidraw node of the watched vendor was
// when it arrived. A removal cannot be typed from the system any more (the
// node's sysfs entry is gone by then), so it is reported with what the node
// was at arrival. The table also keeps one device from being reported twice:
// the monitor runs before the first enumeration, so a device arriving in
// between is seen by both.
//
// ParseHIDID reads the HID core's "HID_ID" property of a HID device:
// "bus:vendor:product", each group hexadecimal (the kernel writes
// %04X:%08X:%08X). Anything else is refused, not guessed at.

#include "platform/devices/AHIDServiceSource.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct AHIDIdentity {
    uint16_t fBus = 0;
    uint32_t fVendorID = 0;
    uint32_t fProductID = 0;
};

std::optional<AHIDIdentity> ParseHIDID(std::string_view text);

// The service a hidraw node stands for, when its parent's HID_ID parses and
// names `vendorID`; none otherwise.
std::optional<AHIDService> MakeHidrawService(const std::string& devnode, std::string_view hidID, uint32_t vendorID);

// What udev's monitor said of a hidraw node.
enum class AHidrawAction { kAdd, kChange, kRemove, kOther };

class AHidrawNodeTable {
public:
    // What an arrival changes: a node that was known as another device
    // (its removal was missed) reports that device's removal first.
    struct AChange {
        std::optional<AHIDService> fRemoved;
        std::optional<AHIDService> fArrived;
    };

    // What one monitor event means: the removal and arrival to report.
    // An "add" of a node already known as this device reports nothing; a
    // "change" (udevadm trigger, as after the rules were installed) reports
    // the device again, since it may have granted the access a first open
    // lacked - the device manager keeps one entry per device.
    AChange NoteEvent(AHidrawAction action, const std::string& devnode, std::string_view hidID, uint32_t vendorID);

    // A node the monitor announced. Nothing when it is not a device of
    // the vendor or is already known as this very device.
    AChange NoteArrival(const AHIDService& service);
    // The node's service as it arrived; none when the node was not known.
    std::optional<AHIDService> NoteRemoval(const std::string& devnode);
    // After an enumeration the table holds exactly the enumerated nodes.
    void Replace(const std::vector<AHIDService>& services);
    bool Knows(const std::string& devnode) const { return fServices.count(devnode) != 0; }

private:
    std::map<std::string, AHIDService> fServices;  // by devnode
};
