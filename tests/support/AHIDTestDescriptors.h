#pragma once
// A stand-in device's report descriptor (tests/fixtures/agent/pointing.hex:
// report 1 a mouse with buttons 1-5 and X/Y, report 2 a keyboard with eight
// modifier bits and six key slots), and its input reports.

#include "tests/support/AHexFixture.h"
#include "tests/support/ATestPaths.h"

#include <cstdint>
#include <vector>

inline const std::vector<uint8_t> kPointingDescriptor = ReadHexFixture(FixturePath("agent/pointing.hex"));

// Mouse buttons as report bits: button n is bit n-1.
inline constexpr uint8_t kMouseButton4 = 0x08;
inline constexpr uint8_t kMouseButton5 = 0x10;

// Keyboard usages the agent watches.
inline constexpr uint8_t kKeyB = 0x05;
inline constexpr uint8_t kKeyP = 0x13;
inline constexpr uint8_t kKeyBracketLeft = 0x2F;
inline constexpr uint8_t kKeyBracketRight = 0x30;

inline std::vector<uint8_t> MouseReport(uint8_t buttons, int8_t x = 0, int8_t y = 0, uint8_t reportID = 1)
{
    return {reportID, buttons, static_cast<uint8_t>(x), static_cast<uint8_t>(y)};
}
