#pragma once
// The HID fixtures' forms: hex bytes, elements and value changes as page:usage
// in hex ("7:2F", "9:5=1").

#include "hid/AHIDReportDescriptor.h"
#include "tests/support/ATestPaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

inline std::vector<uint8_t> HexBytes(const std::string& text)
{
    std::istringstream words(text);
    std::vector<uint8_t> bytes;
    for (unsigned byte; words >> std::hex >> byte;)
        bytes.push_back(static_cast<uint8_t>(byte));
    return bytes;
}

inline AHIDElementList ParseFixture(const std::string& file)
{
    AHIDParseResult result = ParseReportDescriptor(ReadHexFixture(FixturePath("hid/" + file)));
    EXPECT_TRUE(result.fOK) << file << ": " << result.fError;
    return result.fElements;
}

inline std::string UsageName(const AHIDElement& element)
{
    return (std::ostringstream() << std::uppercase << std::hex << element.fUsagePage << ':' << element.fUsage).str();
}

// The cookie of the first element of the usage; 0 when there is none.
inline uint32_t CookieOf(const AHIDElementList& elements, const std::string& usage)
{
    const auto found = std::find_if(elements.begin(), elements.end(), [&](auto& e) { return UsageName(e) == usage; });
    return found == elements.end() ? 0 : found->fCookie;
}

// "9:4=0 9:5=0"; an element's cookie is its position plus one.
inline std::string ChangesText(const AHIDElementList& elements, const std::vector<AHIDValueChange>& changes)
{
    std::string text;
    for (const AHIDValueChange& change : changes)
        text += " " + UsageName(elements.at(change.fCookie - 1)) + "=" + std::to_string(change.fValue);
    return text.empty() ? text : text.substr(1);
}
