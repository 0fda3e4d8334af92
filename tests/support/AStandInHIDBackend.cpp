#include "tests/support/AStandInHIDBackend.h"

#include "base/AFileDescriptor.h"
#include "hid/AHIDReportDescriptor.h"

#include <string>
#include <sys/socket.h>

class AStandInHIDBackend::AConnection final : public AHIDDeviceConnection {
public:
    explicit AConnection(ADevice& device) : fDevice(device) {}
    ~AConnection() override { Close(); }

    bool Open() override
    {
        int ends[2];
        if (fReader || fDevice.fFaults.fOpenFails || !fDevice.fAttached ||
            socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0)
            return bool(fReader);
        fReader.Reset(ends[0]);
        fWriter.Reset(ends[1]);
        fDevice.fOpen.insert(this);
        return true;
    }
    std::optional<AHIDElementList> CopyElements() override
    {
        AHIDParseResult parsed = ParseReportDescriptor(fDevice.fDescriptor);
        if (fDevice.fFaults.fCopyElementsFails || !parsed.fOK)
            return std::nullopt;
        return std::move(parsed.fElements);
    }
    int GetReportFileDescriptor() const override { return fReader.Get(); }
    void Close() override
    {
        fDevice.fOpen.erase(this);
        fReader.Reset();
        fWriter.Reset();
    }

    ADevice& fDevice;
    AFileDescriptor fReader, fWriter;
};

class AStandInHIDBackend::AStandInWatch final : public AHIDServiceWatch {
public:
    explicit AStandInWatch(AStandInHIDBackend& backend) : fBackend(backend) {}
    ~AStandInWatch() override
    {
        fBackend.fWatch.reset();
        fBackend.fPending.clear();
        fBackend.fDelivery.Reset();
    }
    AStandInHIDBackend& fBackend;
};

AStandInHIDBackend::AHandle AStandInHIDBackend::AddDevice(uint32_t vendorID, uint32_t productID,
                                                          std::vector<uint8_t> descriptor)
{
    fDevices.push_back({vendorID, productID, std::move(descriptor)});
    return fDevices.size() - 1;
}

AHIDService AStandInHIDBackend::GetService(AHandle device) const
{
    const ADevice& it = fDevices.at(device);
    const std::string key = "standin-hidraw" + std::to_string(device);
    return it.fFaults.fPropertiesUnreadable ? AHIDService{key, {}, {}} : AHIDService{key, it.fVendorID, it.fProductID};
}

void AStandInHIDBackend::Queue(bool arrival, const std::vector<AHandle>& devices)
{
    std::vector<AHIDService> batch;
    for (const AHandle handle : devices) {
        ADevice& device = fDevices.at(handle);
        device.fAttached = arrival;
        for (AConnection* connection : arrival ? std::set<AConnection*>{} : std::exchange(device.fOpen, {}))
            connection->fWriter.Reset();  // a removal hangs the connections up
        if (fWatch && device.fVendorID == fWatch->fVendorID)
            batch.push_back(GetService(handle));
    }
    if (batch.empty())
        return;
    fPending.emplace_back(arrival, std::move(batch));
    if (!fDelivery) {
        fDelivery = fWatch->fLoop->AddDefer([this] {
            while (fWatch && !fPending.empty()) {
                const auto [arrived, services] = std::move(fPending.front());
                fPending.pop_front();
                (arrived ? fWatch->fArrived : fWatch->fRemoved)(fWatch->fRefCon, services);
            }
            fDelivery.Reset();
        });
    }
}

bool AStandInHIDBackend::SendReport(AHandle device, std::span<const uint8_t> report)
{
    bool taken = false;
    for (const AConnection* connection : fDevices.at(device).fOpen)
        taken |= !report.empty() && send(connection->fWriter.Get(), report.data(), report.size(),
                                         MSG_DONTWAIT | MSG_NOSIGNAL) == static_cast<ssize_t>(report.size());
    return taken;
}

std::unique_ptr<AHIDServiceWatch> AStandInHIDBackend::Watch(AEventLoop& loop, uint32_t vendorID,
                                                            ABatchCallback arrived, ABatchCallback removed,
                                                            void* refCon)
{
    if (fWatch)
        return nullptr;
    fWatch = AWatching{&loop, vendorID, arrived, removed, refCon};
    return std::make_unique<AStandInWatch>(*this);
}

std::vector<AHIDService> AStandInHIDBackend::Enumerate(uint32_t vendorID)
{
    std::vector<AHIDService> services;
    for (AHandle device = 0; device < fDevices.size(); ++device) {
        if (fDevices[device].fAttached && fDevices[device].fVendorID == vendorID)
            services.push_back(GetService(device));
    }
    return services;
}

std::unique_ptr<AHIDDeviceConnection> AStandInHIDBackend::CreateConnection(const AHIDService& service)
{
    for (AHandle device = 0; device < fDevices.size(); ++device) {
        if (GetService(device).fKey == service.fKey)
            return std::make_unique<AConnection>(fDevices[device]);
    }
    return nullptr;
}
