#pragma once
// AStandInHIDBackend stands in for the HID hardware and udev in tests. A
// device is described by its vendor, product and report descriptor; once
// attached it can be opened, and its input reports travel through a real
// SOCK_SEQPACKET socket pair per open connection (one write is one report,
// one read() returns one report), so the real event-loop path reads them.
// Arrivals and removals are injected as batches and delivered through the
// watch's event loop, as udev's monitor would deliver them; a removal makes
// every open connection of the device hang up, as a hidraw node does.

#include "platform/devices/AHIDServiceSource.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <vector>

class AStandInHIDBackend final : public AHIDServiceSource {
public:
    using AHandle = size_t;

    AStandInHIDBackend();
    ~AStandInHIDBackend() override;
    AStandInHIDBackend(const AStandInHIDBackend&) = delete;
    AStandInHIDBackend& operator=(const AStandInHIDBackend&) = delete;

    // A device, not attached yet.
    AHandle AddDevice(uint32_t vendorID, uint32_t productID, std::vector<uint8_t> descriptor);
    // Failures the hardware can show.
    void SetOpenFails(AHandle device, bool fails);
    void SetCopyElementsFails(AHandle device, bool fails);
    // The device is still reported, but with no vendor or product.
    void SetPropertiesUnreadable(AHandle device, bool unreadable);

    // Attaches the devices; the watch (if any) hears them as one batch.
    void Arrive(const std::vector<AHandle>& devices);
    // Detaches the devices: their open connections hang up, and the watch
    // (if any) hears them as one batch.
    void Remove(const std::vector<AHandle>& devices);
    // Writes one report to every open connection of the device; false when
    // no connection took it. Reports are never empty.
    bool SendReport(AHandle device, std::span<const uint8_t> report);
    bool SendReport(AHandle device, std::initializer_list<uint8_t> report);

    AHIDService GetService(AHandle device) const;
    size_t GetOpenConnectionCount(AHandle device) const;
    // Batches injected but not yet delivered through the loop.
    size_t GetPendingBatchCount() const { return fPending.size(); }

    std::unique_ptr<AHIDServiceWatch> Watch(AEventLoop& loop, uint32_t vendorID, ABatchCallback arrived,
                                            ABatchCallback removed, void* refCon) override;
    std::vector<AHIDService> Enumerate(uint32_t vendorID) override;
    std::unique_ptr<AHIDDeviceConnection> CreateConnection(const AHIDService& service) override;

private:
    struct ADeviceState;
    class AStandInWatch;
    class AStandInConnection;
    struct ABatch {
        bool fArrival = true;
        std::vector<AHIDService> fServices;
    };

    ADeviceState& Device(AHandle device) const;
    void Queue(bool arrival, const std::vector<AHandle>& devices);
    void Deliver();

    std::vector<std::shared_ptr<ADeviceState>> fDevices;
    AStandInWatch* fWatch = nullptr;
    std::deque<ABatch> fPending;
    AEventSource fDelivery;
};
