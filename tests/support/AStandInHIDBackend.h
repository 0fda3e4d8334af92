#pragma once
// Stands in for the HID hardware and udev. A device is its vendor, product
// and report descriptor; once attached it can be opened, and its input
// reports travel through a real SOCK_SEQPACKET socket pair per open
// connection (one write is one report), so the real event-loop path reads
// them. Arrivals and removals reach the watch as batches through its loop,
// as udev's monitor delivers them; a removal hangs up every open connection
// of the device, as a hidraw node does.

#include "platform/devices/AHIDServiceSource.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <set>
#include <span>
#include <vector>

class AStandInHIDBackend final : public AHIDServiceSource {
public:
    using AHandle = size_t;
    // Failures the hardware can show; unreadable properties leave the
    // device reported with no vendor or product.
    struct AFaults {
        bool fOpenFails = false, fCopyElementsFails = false, fPropertiesUnreadable = false;
    };

    // A device, not attached yet.
    AHandle AddDevice(uint32_t vendorID, uint32_t productID, std::vector<uint8_t> descriptor);
    AFaults& Faults(AHandle device) { return fDevices.at(device).fFaults; }
    // Attach or detach the devices; the watch (if any) hears them as one batch.
    void Arrive(const std::vector<AHandle>& devices) { Queue(true, devices); }
    void Remove(const std::vector<AHandle>& devices) { Queue(false, devices); }
    // Writes one report to every open connection of the device; false when none took it.
    bool SendReport(AHandle device, std::span<const uint8_t> report);
    AHIDService GetService(AHandle device) const;
    size_t GetOpenConnectionCount(AHandle device) const { return fDevices.at(device).fOpen.size(); }

    std::unique_ptr<AHIDServiceWatch> Watch(AEventLoop& loop, uint32_t vendorID, ABatchCallback arrived,
                                            ABatchCallback removed, void* refCon) override;
    std::vector<AHIDService> Enumerate(uint32_t vendorID) override;
    std::unique_ptr<AHIDDeviceConnection> CreateConnection(const AHIDService& service) override;

private:
    class AConnection;
    class AStandInWatch;
    struct ADevice {
        uint32_t fVendorID, fProductID;
        std::vector<uint8_t> fDescriptor;
        AFaults fFaults = {};
        bool fAttached = false;
        std::set<AConnection*> fOpen = {};
    };

    void Queue(bool arrival, const std::vector<AHandle>& devices);

    std::deque<ADevice> fDevices;  // handles are indexes; a deque keeps references valid
    struct AWatching {
        AEventLoop* fLoop;
        uint32_t fVendorID;
        ABatchCallback fArrived, fRemoved;
        void* fRefCon;
    };
    std::optional<AWatching> fWatch;
    std::deque<std::pair<bool, std::vector<AHIDService>>> fPending;  // arrival or removal, the batch
    AEventSource fDelivery;
};
