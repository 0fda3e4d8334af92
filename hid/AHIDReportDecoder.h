#pragma once
// Decodes a device's input reports into value changes of its watched
// elements. It remembers each watched element's last value (0 at first), so
// a report that repeats a value yields nothing; a report whose ID no element
// has, or that is shorter than its elements need, changes nothing. A device
// uses report IDs when any element has a non-zero one; otherwise the whole
// buffer is the report. The elements of each report ID that are watched are
// listed in advance, so a report costs no lookup and no allocation.

#include "hid/AHIDElement.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

class AHIDReportDecoder {
public:
    explicit AHIDReportDecoder(AHIDElementList elements);

    // Watches the element with this cookie; false when the device has none,
    // or when its bits cannot be read (size 0 or over 32, or past any report).
    bool Watch(uint32_t cookie);

    // Decodes one input report (its report-ID byte first when the device
    // uses report IDs) and appends the watched elements whose value changed,
    // in element order.
    void Decode(std::span<const uint8_t> report, std::vector<AHIDValueChange>& changes);

    const AHIDElementList& GetElements() const { return fElements; }

private:
    AHIDElementList fElements;
    std::vector<bool> fWatched;      // by element index
    std::vector<int32_t> fValues;    // last value, by element index
    std::array<std::vector<uint32_t>, 256> fWatchedByReport;  // watched element indices, ascending
    std::array<uint32_t, 256> fReportBytes;  // bytes after the ID that the report's elements need
    bool fUsesReportIDs = false;
};
