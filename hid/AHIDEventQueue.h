#pragma once
// AHIDEventQueue holds the queue rules of one HID device: input reports are
// decoded into value changes of the watched elements, at most `depth` of
// them are kept (a change that finds the queue full is dropped, as a
// hardware queue drops it), and they are taken out oldest first. A report
// that repeats the watched values queues nothing. Plain data in, plain data
// out: the device's report source lives in platform/devices.

#include "hid/AHIDElement.h"
#include "hid/AHIDReportDecoder.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class AHIDEventQueue {
public:
    // A queue of `depth` slots (at least one) over `elements`, watching none.
    AHIDEventQueue(size_t depth, AHIDElementList elements);

    // Watches the element with this cookie; false when there is none.
    bool Watch(uint32_t cookie) { return fDecoder.Watch(cookie); }

    // Decodes one input report and queues its changes up to the depth;
    // returns how many were queued.
    size_t EnqueueReport(std::span<const uint8_t> report);

    // Takes the oldest change; false when there is none.
    bool GetNextEvent(AHIDValueChange& event);

    size_t GetEventCount() const { return fCount; }

private:
    AHIDReportDecoder fDecoder;
    std::vector<AHIDValueChange> fEvents;  // a ring of `depth` slots
    size_t fHead = 0;
    size_t fCount = 0;
    std::vector<AHIDValueChange> fChanges;  // one report's changes, reused
};
