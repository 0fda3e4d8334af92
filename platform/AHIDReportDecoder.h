#pragma once
// Decodes a device's input reports into value changes of its watched
// elements. It remembers each watched element's last value, so a report that
// repeats a value yields nothing; a short or unknown report changes nothing.

#include "platform/AHIDElement.h"

#include <cstdint>
#include <span>
#include <vector>

class AHIDReportDecoder {
public:
    explicit AHIDReportDecoder(AHIDElementList elements);

    // Watches the element with this cookie; false when the device has none.
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
    bool fUsesReportIDs = false;
};
