#include "tests/support/ARecordingVirtualKeyboard.h"

#include <libevdev/libevdev.h>

std::string FormatEvdevEvents(std::span<const AEvdevEvent> events)
{
    std::string text;
    for (const AEvdevEvent& event : events) {
        const char* name = libevdev_event_code_get_name(event.fType, event.fCode);
        text += (text.empty() ? "" : ", ") +
                (name ? name : "type " + std::to_string(event.fType) + " code " + std::to_string(event.fCode));
        if (event.fType == EV_KEY && (event.fValue == 0 || event.fValue == 1))
            text += event.fValue == 1 ? " down" : " up";
        else if (event.fType == EV_KEY || event.fValue != 0)
            text += " " + std::to_string(event.fValue);
    }
    return text;
}
