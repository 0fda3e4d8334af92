// Device discovery and typing: the device manager's half that keeps the set
// of open devices as devices of the maker arrive and leave.

#include "agent/ADeviceManager.h"
#include "base/AMessageNames.h"

#include "agent/AHIDDevice.h"
#include "platform/bus/ADistributedNotificationCenter.h"
#include "prefs/APrefController.h"

#include <algorithm>

namespace {

// The listeners' cue to ask for the device list again.

struct AProductType {
    uint32_t fProductID;
    EDeviceType fType;
};

constexpr AProductType kProductTypes[] = {
    {kProductRFMouse, kDeviceRFMouse},
    {kProductBTMouse, kDeviceBTMouse},
    {kProductPresenter, kDevicePresenter},
};

constexpr uint16_t kUsagePageGenericDesktop = 0x01;
constexpr uint16_t kUsageX = 0x30;
constexpr uint16_t kUsageY = 0x31;

void PostDevicesChanged(ADistributedNotificationCenter* notifications)
{
    if (notifications != nullptr)
        notifications->PostNotification(kDevicesChangedNotification, std::nullopt);  // no listener is not an error
}

} // namespace

EDeviceType ADeviceManager::QueryDeviceType(const AHIDService& service) const
{
    if (!service.fVendorID || !service.fProductID || *service.fVendorID != kVendorID)
        return kDeviceUnknown;
    for (const AProductType& product : kProductTypes) {
        if (product.fProductID == *service.fProductID)
            return product.fType;
    }
    return kDeviceUnknown;
}

bool ADeviceManager::AddHIDDevice(const AHIDService& service, EDeviceType type)
{
    // A device already in the set (reported twice) keeps its one entry.
    const bool present = std::any_of(fHIDDevices.begin(), fHIDDevices.end(), [&](const auto& device) {
        return device->GetServiceKey() == service.fKey;
    });
    if (present || fEnvironment.fHIDServices == nullptr || fEnvironment.fLoop == nullptr)
        return false;
    std::unique_ptr<AHIDDeviceConnection> connection = fEnvironment.fHIDServices->CreateConnection(service);
    if (connection == nullptr)
        return false;
    const std::optional<AHIDElementList> elements = connection->CopyElements();
    if (!elements)
        return false;
    // Only the pointing interface (it has X and Y axes) is opened.
    uint32_t xCookie = 0;
    uint32_t yCookie = 0;
    for (const AHIDElement& element : *elements) {
        if (element.fUsagePage != kUsagePageGenericDesktop)
            continue;
        if (element.fUsage == kUsageX)
            xCookie = element.fCookie;
        else if (element.fUsage == kUsageY)
            yCookie = element.fCookie;
    }
    if (xCookie == 0 || yCookie == 0)
        return false;

    const uint32_t reference = fNextDeviceReference++;
    if (fNextDeviceReference == 0)
        fNextDeviceReference = 1;
    auto device = std::make_unique<AHIDDevice>(std::move(connection), type, GetIOHIDSystemPort(),
                                               *fEnvironment.fLoop, reference, service.fKey);
    if (!device->Setup())
        return false;
    fHIDDevices.push_back(std::move(device));
    return true;
}

void ADeviceManager::HIDDeviceDetected(void* refCon, const std::vector<AHIDService>& services)
{
    auto* manager = static_cast<ADeviceManager*>(refCon);
    if (manager == nullptr)
        return;
    bool added = false;
    for (const AHIDService& service : services)
        added |= manager->AddHIDDevice(service, manager->QueryDeviceType(service));
    if (added)
        PostDevicesChanged(manager->fEnvironment.fNotifications);
}

bool ADeviceManager::RemoveHIDDevice(const AHIDService& service)
{
    // The entry of the device that left, found by the key it arrived under.
    auto entry = std::find_if(fHIDDevices.begin(), fHIDDevices.end(), [&](const auto& device) {
        return device->GetServiceKey() == service.fKey;
    });
    if (entry == fHIDDevices.end())
        return false;
    fHIDDevices.erase(entry);
    return true;
}

void ADeviceManager::HIDDeviceRemoved(void* refCon, const std::vector<AHIDService>& services)
{
    auto* manager = static_cast<ADeviceManager*>(refCon);
    if (manager == nullptr)
        return;
    bool removed = false;
    for (const AHIDService& service : services)
        removed |= manager->RemoveHIDDevice(service);
    if (removed)
        PostDevicesChanged(manager->fEnvironment.fNotifications);
}

const ADevice* ADeviceManager::GetDevice(EDeviceType type) const
{
    if (fPrefController == nullptr)
        return nullptr;
    return fPrefController->GetDevice(type);
}

uint8_t ADeviceManager::GetNumHIDDevices() const
{
    return static_cast<uint8_t>(fHIDDevices.size());
}

AHIDDevice* ADeviceManager::FindHIDDevice(uint32_t reference) const
{
    for (const auto& device : fHIDDevices) {
        if (device->GetReference() == reference)
            return device.get();
    }
    return nullptr;
}
