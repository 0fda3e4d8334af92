#pragma once
// Stands in for the HID hardware and udev. A device is its vendor, product
// and report descriptor; once attached it can be opened, and its input
// reports travel through a real SOCK_SEQPACKET socket pair per open
// connection (one write is one report), so the real event-loop path reads
// them. Arrivals and removals are delivered as batches through the watch's
// loop, as udev's monitor delivers them; a removal hangs up every open
// connection of the device, as a hidraw node does.

#include "platform/devices/AHIDServiceSource.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <vector>

class AStandInHIDBackend final : public AHIDServiceSource {
public:
    using AHandle = size_t;

    AStandInHIDBackend() = default;
    ~AStandInHIDBackend() override;
    AStandInHIDBackend(const AStandInHIDBackend&) = delete;
    AStandInHIDBackend& operator=(const AStandInHIDBackend&) = delete;

    // Failures the hardware can show; unreadable properties leave the
    // device reported with no vendor or product.
    struct AFaults {
        bool fOpenFails = false, fCopyElementsFails = false, fPropertiesUnreadable = false;
    };

    // A device, not attached yet.
    AHandle AddDevice(uint32_t vendorID, uint32_t productID, std::vector<uint8_t> descriptor);
    AFaults& Faults(AHandle device);
    // Attach or detach the devices; the watch (if any) hears them as one batch.
    void Arrive(const std::vector<AHandle>& devices) { Queue(true, devices); }
    void Remove(const std::vector<AHandle>& devices) { Queue(false, devices); }
    // Writes one report to every open connection of the device; false when
    // none took it. Reports are never empty.
    bool SendReport(AHandle device, std::span<const uint8_t> report);

    AHIDService GetService(AHandle device) const;
    size_t GetOpenConnectionCount(AHandle device) const;
    // Batches injected but not yet delivered through the loop.
    size_t GetPendingBatchCount() const { return fPending.size(); }

    std::unique_ptr<AHIDServiceWatch> Watch(AEventLoop& loop, uint32_t vendorID, ABatchCallback arrived,
                                            ABatchCallback removed, void* refCon) override;
    std::vector<AHIDService> Enumerate(uint32_t vendorID) override;
    std::unique_ptr<AHIDDeviceConnection> CreateConnection(const AHIDService& service) override;

private:
    struct ADevice;
    class AStandInWatch;
    class AStandInConnection;
    struct ABatch {
        bool fArrival;
        std::vector<AHIDService> fServices;
    };

    void Queue(bool arrival, const std::vector<AHandle>& devices);

    std::vector<std::shared_ptr<ADevice>> fDevices;
    AStandInWatch* fWatch = nullptr;
    std::deque<ABatch> fPending;
    AEventSource fDelivery;
};
