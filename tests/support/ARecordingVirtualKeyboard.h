#pragma once
// A virtual keyboard that records every evdev event written to it, in order,
// in a record that can outlive it (to see what is written as its owner goes).
// FailWrites(true) makes Emit fail, the events recorded all the same.

#include "keys/AVirtualKeyboard.h"

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
std::string FormatEvdevEvents(std::span<const AEvdevEvent> events);
