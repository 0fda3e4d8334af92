#include "tests/support/ARecordingVirtualKeyboard.h"

#include <libevdev/libevdev.h>

ARecordingVirtualKeyboard::ARecordingVirtualKeyboard() : fRecord(std::make_shared<std::vector<AEvdevEvent>>())
{
}

bool ARecordingVirtualKeyboard::Emit(std::span<const AEvdevEvent> events)
{
    ++fEmitCount;
    fRecord->insert(fRecord->end(), events.begin(), events.end());
    return !fFailWrites;
}

std::string FormatEvdevEvents(std::span<const AEvdevEvent> events)
{
    std::string text;
    for (const AEvdevEvent& event : events) {
        if (!text.empty())
            text += ", ";
        const char* name = libevdev_event_code_get_name(event.fType, event.fCode);
        text += name ? name : "type " + std::to_string(event.fType) + " code " + std::to_string(event.fCode);
        if (event.fType == EV_KEY)
            text += event.fValue == 1 ? " down" : event.fValue == 0 ? " up" : " " + std::to_string(event.fValue);
        else if (event.fValue != 0)
            text += " " + std::to_string(event.fValue);
    }
    return text;
}
