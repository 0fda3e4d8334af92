#pragma once
// ADevice is the settings of one device type: its type, the USB vendor and
// product identifiers written with it, the presentation-program choice, and
// the mappings of its buttons keyed by button identifier. The record owns its
// event records; references to them stay valid until that event is removed,
// the events are cleared, or the record itself goes.

#include "prefs/AEvent.h"
#include "prefs/ATypes.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

class ADevice {
public:
    EDeviceType GetDeviceType() const { return fType; }
    void SetDeviceType(EDeviceType type) { fType = type; }
    // The display name of the type ("Bluetooth Mouse"), "" for a type
    // outside the three.
    std::string GetDeviceTypeDescription() const;

    uint32_t GetDeviceVID() const { return fVID; }
    void SetDeviceVID(uint32_t vid) { fVID = vid; }
    uint32_t GetDevicePID() const { return fPID; }
    void SetDevicePID(uint32_t pid) { fPID = pid; }
    int32_t GetPresentationType() const { return fPresentationType; }
    void SetPresentationType(int32_t presentationType) { fPresentationType = presentationType; }

    // Creates the button's record when absent, otherwise replaces the type
    // and argument of the same record.
    void AddOrUpdateEvent(int32_t buttonId, ELaunchType launchType, std::optional<std::string_view> launchArg);
    const AEvent* GetEvent(int32_t buttonId) const;
    AEvent* GetEvent(int32_t buttonId);
    // Every event record, by ascending button identifier.
    const std::map<int32_t, AEvent>& GetEvents() const { return fEvents; }
    void RemoveEvent(int32_t buttonId);
    void ClearEvents();

private:
    EDeviceType fType = 0;
    uint32_t fVID = 0;
    uint32_t fPID = 0;
    std::map<int32_t, AEvent> fEvents;
    int32_t fPresentationType = 0;
};
