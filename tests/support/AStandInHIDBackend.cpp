#include "tests/support/AStandInHIDBackend.h"

#include "base/AFileDescriptor.h"
#include "hid/AHIDReportDescriptor.h"

#include <map>
#include <string>
#include <sys/socket.h>

struct AStandInHIDBackend::ADevice {
    uint32_t fVendorID, fProductID;
    std::vector<uint8_t> fDescriptor;
    std::string fKey;
    AFaults fFaults = {};
    bool fAttached = false;
    // The writing ends of the open connections' socket pairs, by connection.
    std::map<uint64_t, AFileDescriptor> fWriters = {};
    uint64_t fNextConnection = 1;

    AHIDService Service() const
    {
        if (fFaults.fPropertiesUnreadable)
            return {fKey, std::nullopt, std::nullopt};
        return {fKey, fVendorID, fProductID};
    }
};

class AStandInHIDBackend::AStandInWatch final : public AHIDServiceWatch {
public:
    AStandInWatch(AStandInHIDBackend* backend, AEventLoop& loop, uint32_t vendorID, ABatchCallback arrived,
                  ABatchCallback removed, void* refCon)
        : fBackend(backend), fLoop(loop), fVendorID(vendorID), fArrived(arrived), fRemoved(removed), fRefCon(refCon)
    {
    }
    ~AStandInWatch() override
    {
        if (fBackend != nullptr) {
            fBackend->fWatch = nullptr;
            fBackend->fPending.clear();
            fBackend->fDelivery.Reset();
        }
    }

    AStandInHIDBackend* fBackend;  // null once the backend is gone
    AEventLoop& fLoop;
    uint32_t fVendorID;
    ABatchCallback fArrived, fRemoved;
    void* fRefCon;
};

class AStandInHIDBackend::AStandInConnection final : public AHIDDeviceConnection {
public:
    explicit AStandInConnection(std::shared_ptr<ADevice> device) : fDevice(std::move(device)) {}
    ~AStandInConnection() override { Close(); }

    bool Open() override
    {
        if (fReader)
            return true;
        int ends[2];
        if (fDevice->fFaults.fOpenFails || !fDevice->fAttached ||
            socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0)
            return false;
        fReader.Reset(ends[0]);
        fConnection = fDevice->fNextConnection++;
        fDevice->fWriters.emplace(fConnection, AFileDescriptor(ends[1]));
        return true;
    }
    std::optional<AHIDElementList> CopyElements() override
    {
        AHIDParseResult parsed = ParseReportDescriptor(fDevice->fDescriptor);
        if (fDevice->fFaults.fCopyElementsFails || !parsed.fOK)
            return std::nullopt;
        return std::move(parsed.fElements);
    }
    int GetReportFileDescriptor() const override { return fReader.Get(); }
    void Close() override
    {
        if (fReader)
            fDevice->fWriters.erase(fConnection);
        fReader.Reset();
    }

private:
    std::shared_ptr<ADevice> fDevice;
    AFileDescriptor fReader;
    uint64_t fConnection = 0;
};

AStandInHIDBackend::~AStandInHIDBackend()
{
    if (fWatch != nullptr)
        fWatch->fBackend = nullptr;
    for (const auto& device : fDevices)  // connections may outlive the backend
        device->fWriters.clear();
}

AStandInHIDBackend::AHandle AStandInHIDBackend::AddDevice(uint32_t vendorID, uint32_t productID,
                                                          std::vector<uint8_t> descriptor)
{
    const std::string key = "standin-hidraw" + std::to_string(fDevices.size());
    fDevices.push_back(std::make_shared<ADevice>(ADevice{vendorID, productID, std::move(descriptor), key}));
    return fDevices.size() - 1;
}

AStandInHIDBackend::AFaults& AStandInHIDBackend::Faults(AHandle device)
{
    return fDevices.at(device)->fFaults;
}

AHIDService AStandInHIDBackend::GetService(AHandle device) const
{
    return fDevices.at(device)->Service();
}

size_t AStandInHIDBackend::GetOpenConnectionCount(AHandle device) const
{
    return fDevices.at(device)->fWriters.size();
}

void AStandInHIDBackend::Queue(bool arrival, const std::vector<AHandle>& devices)
{
    ABatch batch{arrival, {}};
    for (const AHandle handle : devices) {
        ADevice& device = *fDevices.at(handle);
        device.fAttached = arrival;
        if (!arrival)
            device.fWriters.clear();  // the connections hang up
        if (fWatch != nullptr && device.fVendorID == fWatch->fVendorID)
            batch.fServices.push_back(device.Service());
    }
    if (batch.fServices.empty())
        return;
    fPending.push_back(std::move(batch));
    if (!fDelivery) {
        fDelivery = fWatch->fLoop.AddDefer([this] {
            while (fWatch != nullptr && !fPending.empty()) {
                const ABatch next = std::move(fPending.front());
                fPending.pop_front();
                (next.fArrival ? fWatch->fArrived : fWatch->fRemoved)(fWatch->fRefCon, next.fServices);
            }
            fDelivery.Reset();
        });
    }
}

bool AStandInHIDBackend::SendReport(AHandle device, std::span<const uint8_t> report)
{
    bool taken = false;
    for (const auto& [connection, writer] : fDevices.at(device)->fWriters)
        taken |= !report.empty() && send(writer.Get(), report.data(), report.size(), MSG_DONTWAIT | MSG_NOSIGNAL) ==
                                        static_cast<ssize_t>(report.size());
    return taken;
}

std::unique_ptr<AHIDServiceWatch> AStandInHIDBackend::Watch(AEventLoop& loop, uint32_t vendorID,
                                                            ABatchCallback arrived, ABatchCallback removed,
                                                            void* refCon)
{
    if (fWatch != nullptr || arrived == nullptr || removed == nullptr)
        return nullptr;
    auto watch = std::make_unique<AStandInWatch>(this, loop, vendorID, arrived, removed, refCon);
    fWatch = watch.get();
    return watch;
}

std::vector<AHIDService> AStandInHIDBackend::Enumerate(uint32_t vendorID)
{
    std::vector<AHIDService> services;
    for (const auto& device : fDevices) {
        if (device->fAttached && device->fVendorID == vendorID)
            services.push_back(device->Service());
    }
    return services;
}

std::unique_ptr<AHIDDeviceConnection> AStandInHIDBackend::CreateConnection(const AHIDService& service)
{
    for (const auto& device : fDevices) {
        if (device->fKey == service.fKey)
            return std::make_unique<AStandInConnection>(device);
    }
    return nullptr;
}
