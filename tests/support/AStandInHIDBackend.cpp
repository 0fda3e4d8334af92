#include "tests/support/AStandInHIDBackend.h"

#include "base/AFileDescriptor.h"
#include "hid/AHIDReportDescriptor.h"

#include <map>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

struct AStandInHIDBackend::ADeviceState {
    uint32_t fVendorID = 0;
    uint32_t fProductID = 0;
    std::vector<uint8_t> fDescriptor;
    std::string fKey;
    bool fAttached = false;
    bool fOpenFails = false;
    bool fCopyElementsFails = false;
    bool fPropertiesUnreadable = false;
    // The writing ends of the open connections' socket pairs, by connection.
    std::map<uint64_t, AFileDescriptor> fWriters;
    uint64_t fNextConnection = 1;

    AHIDService MakeService() const
    {
        if (fPropertiesUnreadable)
            return AHIDService{fKey, std::nullopt, std::nullopt};
        return AHIDService{fKey, fVendorID, fProductID};
    }

    void HangUp() { fWriters.clear(); }
};

class AStandInHIDBackend::AStandInWatch final : public AHIDServiceWatch {
public:
    AStandInWatch(AStandInHIDBackend& backend, AEventLoop& loop, uint32_t vendorID, ABatchCallback arrived,
                  ABatchCallback removed, void* refCon)
        : fBackend(&backend), fLoop(loop), fVendorID(vendorID), fArrived(arrived), fRemoved(removed), fRefCon(refCon)
    {
    }

    ~AStandInWatch() override
    {
        if (fBackend == nullptr)
            return;
        fBackend->fWatch = nullptr;
        fBackend->fPending.clear();
        fBackend->fDelivery.Reset();
    }

    AStandInHIDBackend* fBackend;  // null once the backend is gone
    AEventLoop& fLoop;
    uint32_t fVendorID;
    ABatchCallback fArrived;
    ABatchCallback fRemoved;
    void* fRefCon;
};

class AStandInHIDBackend::AStandInConnection final : public AHIDDeviceConnection {
public:
    explicit AStandInConnection(std::shared_ptr<ADeviceState> device) : fDevice(std::move(device)) {}
    ~AStandInConnection() override { Close(); }

    bool Open() override
    {
        if (fReader)
            return true;
        if (fDevice->fOpenFails || !fDevice->fAttached)
            return false;
        int ends[2];
        if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0)
            return false;
        fReader.Reset(ends[0]);
        fConnection = fDevice->fNextConnection++;
        fDevice->fWriters.emplace(fConnection, AFileDescriptor(ends[1]));
        return true;
    }

    std::optional<AHIDElementList> CopyElements() override
    {
        if (fDevice->fCopyElementsFails)
            return std::nullopt;
        AHIDParseResult parsed = ParseReportDescriptor(fDevice->fDescriptor);
        if (!parsed.fOK)
            return std::nullopt;
        return std::move(parsed.fElements);
    }

    int GetReportFileDescriptor() const override { return fReader.Get(); }

    void Close() override
    {
        if (!fReader)
            return;
        fReader.Reset();
        fDevice->fWriters.erase(fConnection);
    }

private:
    std::shared_ptr<ADeviceState> fDevice;
    AFileDescriptor fReader;
    uint64_t fConnection = 0;
};

AStandInHIDBackend::AStandInHIDBackend() = default;

AStandInHIDBackend::~AStandInHIDBackend()
{
    if (fWatch != nullptr)
        fWatch->fBackend = nullptr;
    // Connections may outlive the backend; they keep their device state.
    for (const auto& device : fDevices)
        device->HangUp();
}

AStandInHIDBackend::AHandle AStandInHIDBackend::AddDevice(uint32_t vendorID, uint32_t productID,
                                                          std::vector<uint8_t> descriptor)
{
    auto device = std::make_shared<ADeviceState>();
    device->fVendorID = vendorID;
    device->fProductID = productID;
    device->fDescriptor = std::move(descriptor);
    device->fKey = "standin-hidraw" + std::to_string(fDevices.size());
    fDevices.push_back(std::move(device));
    return fDevices.size() - 1;
}

AStandInHIDBackend::ADeviceState& AStandInHIDBackend::Device(AHandle device) const
{
    if (device >= fDevices.size())
        throw std::out_of_range("no such stand-in HID device");
    return *fDevices[device];
}

void AStandInHIDBackend::SetOpenFails(AHandle device, bool fails)
{
    Device(device).fOpenFails = fails;
}

void AStandInHIDBackend::SetCopyElementsFails(AHandle device, bool fails)
{
    Device(device).fCopyElementsFails = fails;
}

void AStandInHIDBackend::SetPropertiesUnreadable(AHandle device, bool unreadable)
{
    Device(device).fPropertiesUnreadable = unreadable;
}

void AStandInHIDBackend::Arrive(const std::vector<AHandle>& devices)
{
    for (AHandle device : devices)
        Device(device).fAttached = true;
    Queue(true, devices);
}

void AStandInHIDBackend::Remove(const std::vector<AHandle>& devices)
{
    for (AHandle device : devices) {
        Device(device).fAttached = false;
        Device(device).HangUp();
    }
    Queue(false, devices);
}

void AStandInHIDBackend::Queue(bool arrival, const std::vector<AHandle>& devices)
{
    if (fWatch == nullptr)
        return;
    ABatch batch{arrival, {}};
    for (AHandle device : devices) {
        if (Device(device).fVendorID == fWatch->fVendorID)
            batch.fServices.push_back(Device(device).MakeService());
    }
    if (batch.fServices.empty())
        return;
    fPending.push_back(std::move(batch));
    if (!fDelivery)
        fDelivery = fWatch->fLoop.AddDefer([this] { Deliver(); });
}

void AStandInHIDBackend::Deliver()
{
    while (fWatch != nullptr && !fPending.empty()) {
        ABatch batch = std::move(fPending.front());
        fPending.pop_front();
        (batch.fArrival ? fWatch->fArrived : fWatch->fRemoved)(fWatch->fRefCon, batch.fServices);
    }
    fDelivery.Reset();
}

bool AStandInHIDBackend::SendReport(AHandle device, std::span<const uint8_t> report)
{
    if (report.empty())
        return false;
    bool taken = false;
    for (const auto& [connection, writer] : Device(device).fWriters)
        taken |= send(writer.Get(), report.data(), report.size(), MSG_DONTWAIT | MSG_NOSIGNAL) ==
                 static_cast<ssize_t>(report.size());
    return taken;
}

bool AStandInHIDBackend::SendReport(AHandle device, std::initializer_list<uint8_t> report)
{
    return SendReport(device, std::span<const uint8_t>(report.begin(), report.size()));
}

AHIDService AStandInHIDBackend::GetService(AHandle device) const
{
    return Device(device).MakeService();
}

size_t AStandInHIDBackend::GetOpenConnectionCount(AHandle device) const
{
    return Device(device).fWriters.size();
}

std::unique_ptr<AHIDServiceWatch> AStandInHIDBackend::Watch(AEventLoop& loop, uint32_t vendorID,
                                                            ABatchCallback arrived, ABatchCallback removed,
                                                            void* refCon)
{
    if (fWatch != nullptr || arrived == nullptr || removed == nullptr)
        return nullptr;
    auto watch = std::make_unique<AStandInWatch>(*this, loop, vendorID, arrived, removed, refCon);
    fWatch = watch.get();
    return watch;
}

std::vector<AHIDService> AStandInHIDBackend::Enumerate(uint32_t vendorID)
{
    std::vector<AHIDService> services;
    for (const auto& device : fDevices) {
        if (device->fAttached && device->fVendorID == vendorID)
            services.push_back(device->MakeService());
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
