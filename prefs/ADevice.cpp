#include "prefs/ADevice.h"

#include "prefs/ATypeNames.h"

std::string ADevice::GetDeviceTypeDescription() const
{
    const ADeviceTypeName* row = FindRowOfType(kDeviceTypeNames, fType);
    return row != nullptr ? std::string(row->fDisplayName) : std::string();
}

void ADevice::AddOrUpdateEvent(int32_t buttonId, ELaunchType launchType, std::optional<std::string_view> launchArg)
{
    auto [entry, created] = fEvents.try_emplace(buttonId);
    if (created)
        entry->second.SetButtonId(buttonId);
    entry->second.SetLaunchType(launchType, launchArg);
}

const AEvent* ADevice::GetEvent(int32_t buttonId) const
{
    auto entry = fEvents.find(buttonId);
    return entry == fEvents.end() ? nullptr : &entry->second;
}

AEvent* ADevice::GetEvent(int32_t buttonId)
{
    auto entry = fEvents.find(buttonId);
    return entry == fEvents.end() ? nullptr : &entry->second;
}

void ADevice::RemoveEvent(int32_t buttonId)
{
    fEvents.erase(buttonId);
}

void ADevice::ClearEvents()
{
    fEvents.clear();
}
