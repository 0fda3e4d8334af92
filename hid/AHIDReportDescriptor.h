#pragma once
// The HID report-descriptor parser: a device's descriptor bytes become its
// input element list (AHIDElement). Handles report IDs, usage ranges,
// extended (32-bit) usages, push and pop, nested collections, padding; long
// items are skipped. Output and Feature items take their place in their own
// reports but give no elements. An element's cookie is its position in the
// list plus 1, so the same descriptor always gives the same cookies. A
// malformed descriptor is rejected with a reason that names the byte of the
// offending item, and is never read past its end.

#include "hid/AHIDElement.h"

#include <cstdint>
#include <span>
#include <string>

struct AHIDParseResult {
    bool fOK = false;
    AHIDElementList fElements;  // input elements, in descriptor order
    std::string fError;         // why the descriptor was rejected
};

AHIDParseResult ParseReportDescriptor(std::span<const uint8_t> descriptor);
