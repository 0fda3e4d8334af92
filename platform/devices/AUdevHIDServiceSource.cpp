#include "platform/devices/AUdevHIDServiceSource.h"

#include "platform/devices/AHidrawConnection.h"

#include <systemd/sd-device.h>

#include <string>

namespace {

constexpr const char* kHidrawSubsystem = "hidraw";

std::string DevnodeOf(sd_device* device)
{
    const char* devname = nullptr;
    if (sd_device_get_devname(device, &devname) >= 0 && devname != nullptr)
        return devname;
    const char* sysname = nullptr;
    if (sd_device_get_sysname(device, &sysname) >= 0 && sysname != nullptr)
        return std::string("/dev/") + sysname;
    return {};
}

// The parent HID device's "HID_ID"; empty when it cannot be read.
std::string ParentHIDID(sd_device* device)
{
    sd_device* parent = nullptr;  // owned by `device`
    const char* value = nullptr;
    if (sd_device_get_parent_with_subsystem_devtype(device, "hid", nullptr, &parent) < 0 ||
        sd_device_get_property_value(parent, "HID_ID", &value) < 0 || value == nullptr)
        return {};
    return value;
}

} // namespace

class AUdevHIDServiceSource::AMonitorWatch final : public AHIDServiceWatch {
public:
    AMonitorWatch(AHidrawNodeTable& nodes, uint32_t vendorID, ABatchCallback arrived, ABatchCallback removed,
                  void* refCon)
        : fNodes(nodes), fVendorID(vendorID), fArrived(arrived), fRemoved(removed), fRefCon(refCon)
    {
    }

    ~AMonitorWatch() override { sd_device_monitor_unref(fMonitor); }

    bool Start(AEventLoop& loop)
    {
        return sd_device_monitor_new(&fMonitor) >= 0 &&
               sd_device_monitor_filter_add_match_subsystem_devtype(fMonitor, kHidrawSubsystem, nullptr) >= 0 &&
               sd_device_monitor_attach_event(fMonitor, loop.Get()) >= 0 &&
               sd_device_monitor_start(fMonitor, OnDevice, this) >= 0;
    }

private:
    static int OnDevice(sd_device_monitor*, sd_device* device, void* userdata)
    {
        static_cast<AMonitorWatch*>(userdata)->Handle(device);
        return 0;
    }

    void Handle(sd_device* device)
    {
        sd_device_action_t action{};
        const std::string devnode = DevnodeOf(device);
        if (sd_device_get_action(device, &action) < 0 || devnode.empty())
            return;
        const AHidrawAction what = action == SD_DEVICE_ADD      ? AHidrawAction::kAdd
                                   : action == SD_DEVICE_CHANGE ? AHidrawAction::kChange
                                   : action == SD_DEVICE_REMOVE ? AHidrawAction::kRemove
                                                                : AHidrawAction::kOther;
        // The parent is gone at removal; the table answers from the arrival.
        const std::string hidID = what == AHidrawAction::kRemove ? std::string() : ParentHIDID(device);
        const AHidrawNodeTable::AChange change = fNodes.NoteEvent(what, devnode, hidID, fVendorID);
        if (change.fRemoved)
            fRemoved(fRefCon, {*change.fRemoved});
        if (change.fArrived)
            fArrived(fRefCon, {*change.fArrived});
    }

    AHidrawNodeTable& fNodes;
    uint32_t fVendorID;
    ABatchCallback fArrived;
    ABatchCallback fRemoved;
    void* fRefCon;
    sd_device_monitor* fMonitor = nullptr;
};

AUdevHIDServiceSource::AUdevHIDServiceSource() = default;

AUdevHIDServiceSource::~AUdevHIDServiceSource() = default;

std::unique_ptr<AHIDServiceWatch> AUdevHIDServiceSource::Watch(AEventLoop& loop, uint32_t vendorID,
                                                               ABatchCallback arrived, ABatchCallback removed,
                                                               void* refCon)
{
    if (arrived == nullptr || removed == nullptr)
        return nullptr;
    auto watch = std::make_unique<AMonitorWatch>(fNodes, vendorID, arrived, removed, refCon);
    if (!watch->Start(loop))
        return nullptr;
    return watch;
}

std::vector<AHIDService> AUdevHIDServiceSource::Enumerate(uint32_t vendorID)
{
    std::vector<AHIDService> services;
    sd_device_enumerator* enumerator = nullptr;
    if (sd_device_enumerator_new(&enumerator) < 0)
        return services;
    // Nodes udev has not finished with yet (their permissions may not be in
    // place) are left to the monitor, which reports them once udev is done.
    if (sd_device_enumerator_add_match_subsystem(enumerator, kHidrawSubsystem, 1) >= 0) {
        for (sd_device* device = sd_device_enumerator_get_device_first(enumerator); device != nullptr;
             device = sd_device_enumerator_get_device_next(enumerator)) {
            if (sd_device_get_is_initialized(device) <= 0)
                continue;
            if (std::optional<AHIDService> service = MakeHidrawService(DevnodeOf(device), ParentHIDID(device), vendorID))
                services.push_back(std::move(*service));
        }
    }
    sd_device_enumerator_unref(enumerator);
    fNodes.Replace(services);
    return services;
}

std::unique_ptr<AHIDDeviceConnection> AUdevHIDServiceSource::CreateConnection(const AHIDService& service)
{
    if (service.fKey.empty())
        return nullptr;
    return std::make_unique<AHidrawConnection>(service.fKey);
}
