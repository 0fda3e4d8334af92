#pragma once
// One input element of a HID device, as the report-descriptor parser makes
// it. A variable field gives one element; an array field (the usual form of
// keyboard keys) gives one element per usage of its range, whose value is 1
// while that usage is in the array and 0 otherwise.

#include <cstdint>
#include <vector>

struct AHIDElement {
    uint32_t fCookie = 0;       // non-zero, stable for the device (same descriptor, same cookie)
    uint16_t fUsagePage = 0;
    uint16_t fUsage = 0;
    uint8_t fReportID = 0;      // 0 when the device uses no report IDs
    uint32_t fBitOffset = 0;    // of the field's first bit, after the report-ID byte
    uint32_t fBitSize = 0;      // of one value
    uint32_t fReportCount = 1;  // values in the field: 1 for a variable, the slot count for an array
    int32_t fLogicalMin = 0;
    int32_t fLogicalMax = 0;
    bool fIsArray = false;
    int32_t fArrayIndex = 0;    // for an array element: the value in a slot that means this usage
};

using AHIDElementList = std::vector<AHIDElement>;

// A watched element's new value, as the HID queue holds it.
struct AHIDValueChange {
    uint32_t fCookie = 0;
    int32_t fValue = 0;
};
