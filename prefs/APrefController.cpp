#include "prefs/APrefController.h"

#include "prefs/ATypeNames.h"

void APrefController::AddOrUpdateDevice(EDeviceType type, uint32_t vid, uint32_t pid, int32_t presentationType)
{
    ADevice& device = fDevices[type];
    device.SetDeviceType(type);
    device.SetDeviceVID(vid);
    device.SetDevicePID(pid);
    device.SetPresentationType(presentationType);
}

void APrefController::RemoveDevice(EDeviceType type)
{
    fDevices.erase(type);
}

void APrefController::RemoveAllDevices()
{
    ClearDevices();
}

void APrefController::ClearDevices()
{
    fDevices.clear();
}

const ADevice* APrefController::GetDevice(EDeviceType type) const
{
    auto entry = fDevices.find(type);
    return entry == fDevices.end() ? nullptr : &entry->second;
}

ADevice* APrefController::GetDevice(EDeviceType type)
{
    auto entry = fDevices.find(type);
    return entry == fDevices.end() ? nullptr : &entry->second;
}

bool APrefController::DeviceExists(EDeviceType type) const
{
    return fDevices.count(type) != 0;
}

void APrefController::AddOrUpdateEvent(EDeviceType type, int32_t buttonId, ELaunchType launchType,
                                       std::optional<std::string_view> launchArg)
{
    if (ADevice* device = GetDevice(type))
        device->AddOrUpdateEvent(buttonId, launchType, launchArg);
}

void APrefController::RemoveEvent(EDeviceType type, int32_t buttonId)
{
    if (ADevice* device = GetDevice(type))
        device->RemoveEvent(buttonId);
}

void APrefController::RemoveAllEvents(EDeviceType type)
{
    if (ADevice* device = GetDevice(type))
        device->ClearEvents();
}

const AEvent* APrefController::GetEvent(EDeviceType type, int32_t buttonId) const
{
    const ADevice* device = GetDevice(type);
    return device == nullptr ? nullptr : device->GetEvent(buttonId);
}

AEvent* APrefController::GetEvent(EDeviceType type, int32_t buttonId)
{
    ADevice* device = GetDevice(type);
    return device == nullptr ? nullptr : device->GetEvent(buttonId);
}

EDeviceType APrefController::ToDeviceType(std::optional<std::string_view> name)
{
    const ADeviceTypeName* row = name ? FindRowNamed(kDeviceTypeNames, *name) : nullptr;
    return row != nullptr ? row->fType : kDeviceRFMouse;
}

ELaunchType APrefController::ToLaunchType(std::optional<std::string_view> name)
{
    const ALaunchTypeName* row = name ? FindRowNamed(kLaunchTypeNames, *name) : nullptr;
    return row != nullptr ? row->fType : kLaunchDefault;
}

std::string APrefController::FromDeviceType(EDeviceType type)
{
    const ADeviceTypeName* row = FindRowOfType(kDeviceTypeNames, type);
    return std::string(row != nullptr ? row->fName : kDeviceTypeNames[0].fName);
}

std::string APrefController::FromLaunchType(ELaunchType type)
{
    const ALaunchTypeName* row = FindRowOfType(kLaunchTypeNames, type);
    return std::string(row != nullptr ? row->fName : kLaunchTypeNames[0].fName);
}

std::string APrefController::FromInt(int32_t value)
{
    return std::to_string(value);
}
