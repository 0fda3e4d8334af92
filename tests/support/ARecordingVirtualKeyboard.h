#pragma once
// A virtual keyboard that records every evdev event written to it, in order,
// in a record that can outlive it (to see what is written as its owner goes).
// FailWrites(true) makes Emit fail, the events recorded all the same.

#include "keys/AVirtualKeyboard.h"

#include <libevdev/libevdev.h>

#include <memory>
#include <span>
#include <string>
#include <vector>

class ARecordingVirtualKeyboard : public AVirtualKeyboard {
public:
    bool Emit(std::span<const AEvdevEvent> events) override
    {
        ++fEmitCount;
        fRecord->insert(fRecord->end(), events.begin(), events.end());
        return !fFailWrites;
    }

    std::shared_ptr<std::vector<AEvdevEvent>> Record() const { return fRecord; }
    void FailWrites(bool fail) { fFailWrites = fail; }
    int EmitCount() const { return fEmitCount; }  // the number of Emit calls (batches)

private:
    std::shared_ptr<std::vector<AEvdevEvent>> fRecord = std::make_shared<std::vector<AEvdevEvent>>();
    bool fFailWrites = false;
    int fEmitCount = 0;
};

// The events as text, e.g. "KEY_3 down, SYN_REPORT, KEY_3 up, SYN_REPORT"
// (evdev names; values other than 0 and 1 as numbers).
inline std::string FormatEvdevEvents(std::span<const AEvdevEvent> events)
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
