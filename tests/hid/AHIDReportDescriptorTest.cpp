#include "hid/AHIDReportDescriptor.h"
#include "tests/support/AHexFixture.h"
#include "tests/support/ATestPaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using ABytes = std::vector<uint8_t>;

AHIDParseResult Parse(const ABytes& bytes)
{
    return ParseReportDescriptor(bytes);
}

const AHIDElement* Find(const AHIDElementList& elements, uint16_t page, uint16_t usage, size_t skip = 0)
{
    for (const AHIDElement& element : elements) {
        if (element.fUsagePage == page && element.fUsage == usage && skip-- == 0)
            return &element;
    }
    return nullptr;
}

struct AExpectedElement {
    uint16_t fPage;
    uint16_t fUsage;
    uint8_t fReportID;
    uint32_t fBitOffset;
    uint32_t fBitSize;
    bool fIsArray;
    uint32_t fReportCount;
    int32_t fArrayIndex;  // arrays only
};

struct AFixtureCase {
    const char* fFile;
    size_t fElementCount;
    std::vector<AExpectedElement> fElements;
};

constexpr bool kVar = false;
constexpr bool kArr = true;

const std::vector<AFixtureCase> kFixtureCases = {
    {"boot-keyboard.hex", 8 + 101,
     {{7, 0xE0, 0, 0, 1, kVar, 1, 0}, {7, 0xE7, 0, 7, 1, kVar, 1, 0}, {7, 0x2F, 0, 16, 8, kArr, 6, 0x2F},
      {7, 0x30, 0, 16, 8, kArr, 6, 0x30}, {7, 0x05, 0, 16, 8, kArr, 6, 0x05}, {7, 0x65, 0, 16, 8, kArr, 6, 0x65}}},
    {"boot-mouse.hex", 5,
     {{9, 1, 0, 0, 1, kVar, 1, 0}, {9, 3, 0, 2, 1, kVar, 1, 0}, {1, 0x30, 0, 8, 8, kVar, 1, 0},
      {1, 0x31, 0, 16, 8, kVar, 1, 0}}},
    {"microsoft-transceiver-mouse.hex", 10,
     {{9, 4, 26, 3, 1, kVar, 1, 0}, {9, 5, 26, 4, 1, kVar, 1, 0}, {1, 0x30, 26, 8, 16, kVar, 1, 0},
      {1, 0x31, 26, 24, 16, kVar, 1, 0}, {1, 0x38, 26, 40, 16, kVar, 1, 0}, {0xC, 0x238, 26, 56, 16, kVar, 1, 0}}},
    {"mi-wireless-mouse.hex", 17,
     {{9, 5, 1, 4, 1, kVar, 1, 0}, {1, 0x38, 1, 8, 8, kVar, 1, 0}, {1, 0x30, 2, 0, 12, kVar, 1, 0},
      {1, 0x31, 2, 12, 12, kVar, 1, 0}, {0xC, 0x183, 3, 1, 1, kVar, 1, 0}, {0xC, 0x224, 3, 7, 1, kVar, 1, 0}}},
    {"ite-keyboard.hex", 8 + 255 + 572 + 1 + 2 + 8,
     {{7, 0xE1, 1, 1, 1, kVar, 1, 0}, {7, 0x13, 1, 16, 8, kArr, 6, 0x13}, {7, 0xFF, 1, 16, 8, kArr, 6, 0xFF},
      {0xC, 0x23C, 2, 0, 16, kArr, 1, 0x23C}, {1, 0xC6, 3, 0, 1, kVar, 1, 0}, {0x88, 1, 4, 8, 8, kVar, 1, 0},
      {1, 0x83, 5, 2, 1, kVar, 1, 0}}},
    {"primax-keyboard.hex", 8 + 255, {{7, 0x2F, 0, 16, 8, kArr, 6, 0x2F}, {7, 0x13, 0, 16, 8, kArr, 6, 0x13}}},
    {"logitech-receiver-keyboard.hex", 8 + 255 + 767 + 3,
     {{7, 0x30, 1, 8, 8, kArr, 6, 0x30}, {0xC, 0xE9, 3, 0, 16, kArr, 2, 0xE9}, {1, 0x82, 4, 0, 2, kArr, 1, 1},
      {1, 0x81, 4, 0, 2, kArr, 1, 2}, {1, 0x83, 4, 0, 2, kArr, 1, 3}}},
    {"hp-elite-presenter-keypad.hex", 8,
     {{7, 0x29, 5, 0, 1, kVar, 1, 0}, {7, 0x3E, 5, 1, 1, kVar, 1, 0}, {7, 0x4B, 5, 2, 1, kVar, 1, 0},
      {7, 0x4E, 5, 3, 1, kVar, 1, 0}, {7, 0xE8, 5, 5, 1, kVar, 1, 0}}},
    {"nuvexa-composite.hex", 5 + 2 + 1 + 8 + 101 + 1023,
     {{9, 4, 2, 3, 1, kVar, 1, 0}, {9, 5, 2, 4, 1, kVar, 1, 0}, {1, 0x30, 2, 8, 12, kVar, 1, 0},
      {1, 0x31, 2, 20, 12, kVar, 1, 0}, {1, 0x38, 2, 32, 8, kVar, 1, 0}, {7, 0x2F, 8, 16, 8, kArr, 6, 0x2F},
      {7, 0x30, 8, 16, 8, kArr, 6, 0x30}, {7, 0x05, 8, 16, 8, kArr, 6, 0x05}, {7, 0x13, 8, 16, 8, kArr, 6, 0x13},
      {0xC, 0xE9, 16, 0, 16, kArr, 1, 0xE9}}},
};

}  // namespace

TEST(AHIDReportDescriptor, RealDevicesGiveTheirInputElementsWhereTheirReportsCarryThem)
{
    for (const AFixtureCase& testCase : kFixtureCases) {
        SCOPED_TRACE(testCase.fFile);
        std::string file = std::string("hid/") + testCase.fFile;
        AHIDParseResult result = ParseReportDescriptor(ReadHexFixture(FixturePath(file)));
        ASSERT_TRUE(result.fOK) << result.fError;
        EXPECT_EQ(result.fElements.size(), testCase.fElementCount);
        for (size_t i = 0; i < result.fElements.size(); ++i)
            EXPECT_EQ(result.fElements[i].fCookie, i + 1);
        for (const AExpectedElement& expected : testCase.fElements) {
            SCOPED_TRACE(testing::Message() << std::hex << "usage " << expected.fPage << ":" << expected.fUsage);
            const AHIDElement* element = Find(result.fElements, expected.fPage, expected.fUsage);
            ASSERT_NE(element, nullptr);
            EXPECT_EQ(element->fReportID, expected.fReportID);
            EXPECT_EQ(element->fBitOffset, expected.fBitOffset);
            EXPECT_EQ(element->fBitSize, expected.fBitSize);
            EXPECT_EQ(element->fIsArray, expected.fIsArray);
            EXPECT_EQ(element->fReportCount, expected.fReportCount);
            if (expected.fIsArray) {
                EXPECT_EQ(element->fArrayIndex, expected.fArrayIndex);
            }
        }
    }
}

TEST(AHIDReportDescriptor, LogicalRangesAreSignedUnlessAnUnsignedMaximumWasWrittenShort)
{
    AHIDParseResult mouse = Parse(ReadHexFixture(FixturePath("hid/mi-wireless-mouse.hex")));
    const AHIDElement* x = Find(mouse.fElements, 1, 0x30);
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->fLogicalMin, -2047);
    EXPECT_EQ(x->fLogicalMax, 2047);
    // 0xFFFF in two bytes after a minimum of 0 means 65535, not -1.
    AHIDParseResult ite = Parse(ReadHexFixture(FixturePath("hid/ite-keyboard.hex")));
    const AHIDElement* vendor = Find(ite.fElements, 0x88, 0);
    ASSERT_NE(vendor, nullptr);
    EXPECT_EQ(vendor->fLogicalMax, 65535);
    // 0xFF in one byte: 255 after a minimum of 0, -1 after a negative one.
    AHIDParseResult shortMaximum = Parse({0x05, 0x09, 0x09, 0x01, 0x15, 0x00, 0x25, 0xFF, 0x75, 0x08, 0x95, 0x01,
                                          0x81, 0x02, 0x09, 0x02, 0x15, 0xFE, 0x81, 0x02});
    ASSERT_EQ(shortMaximum.fElements.size(), 2u);
    EXPECT_EQ(shortMaximum.fElements[0].fLogicalMax, 255);
    EXPECT_EQ(shortMaximum.fElements[1].fLogicalMin, -2);
    EXPECT_EQ(shortMaximum.fElements[1].fLogicalMax, -1);
}

TEST(AHIDReportDescriptor, UsagePageAtTheMainItemAppliesOnlyToUsagesNotYetOnIt)
{
    // Primax: Usage Minimum/Maximum given while LEDs is the page, Keyboard set after.
    AHIDParseResult primax = Parse(ReadHexFixture(FixturePath("hid/primax-keyboard.hex")));
    EXPECT_TRUE(std::none_of(primax.fElements.begin(), primax.fElements.end(),
                             [](const AHIDElement& element) { return element.fUsagePage == 8; }));
    // Button 5, then the Keyboard page and its 0x2F: each usage keeps its own page.
    AHIDParseResult mixed =
        Parse({0x05, 0x09, 0x09, 0x05, 0x05, 0x07, 0x09, 0x2F, 0x25, 0x01, 0x75, 0x01, 0x95, 0x02, 0x81, 0x02});
    ASSERT_EQ(mixed.fElements.size(), 2u);
    EXPECT_EQ(mixed.fElements[0].fUsagePage, 9);
    EXPECT_EQ(mixed.fElements[1].fUsagePage, 7);
    // An extended usage carries its own page whatever page is in effect.
    AHIDParseResult extended = Parse({0x05, 0x01, 0x0B, 0x05, 0x00, 0x09, 0x00, 0x09, 0x30, 0x25, 0x01, 0x75, 0x08,
                                      0x95, 0x02, 0x81, 0x02});
    ASSERT_EQ(extended.fElements.size(), 2u);
    EXPECT_EQ(extended.fElements[0].fUsagePage, 9);
    EXPECT_EQ(extended.fElements[0].fUsage, 5);
    EXPECT_EQ(extended.fElements[1].fUsagePage, 1);
    EXPECT_EQ(extended.fElements[1].fUsage, 0x30);
}

TEST(AHIDReportDescriptor, PushAndPopRestoreReportIDAndSizeAndOffsetsStayPerReport)
{
    AHIDParseResult result = Parse({0x05, 0x09, 0x25, 0x01, 0x75, 0x01, 0x95, 0x01, 0x85, 0x01, 0x09, 0x01, 0x81,
                                    0x02, 0xA4,                          // Push
                                    0x85, 0x02, 0x75, 0x08, 0x09, 0x02, 0x81, 0x02,
                                    0xB4,                                // Pop
                                    0x09, 0x03, 0x81, 0x02});
    ASSERT_TRUE(result.fOK) << result.fError;
    ASSERT_EQ(result.fElements.size(), 3u);
    EXPECT_EQ(result.fElements[1].fReportID, 2);
    EXPECT_EQ(result.fElements[1].fBitSize, 8u);
    EXPECT_EQ(result.fElements[2].fReportID, 1);
    EXPECT_EQ(result.fElements[2].fBitSize, 1u);
    EXPECT_EQ(result.fElements[2].fBitOffset, 1u);
}

TEST(AHIDReportDescriptor, PaddingAndLongItemsGiveNoElementsButPaddingTakesItsBits)
{
    AHIDParseResult padded = Parse({0x05, 0x09, 0x25, 0x01, 0x75, 0x04, 0x95, 0x01,
                                    0x81, 0x02,                    // data without usages: padding
                                    0x09, 0x01, 0x81, 0x03,        // constant with a usage: padding
                                    0xFE, 0x02, 0x10, 0x09, 0x02,  // long item whose data looks like a Usage
                                    0x29, 0x03, 0x19, 0x02, 0x95, 0x02, 0x81, 0x02});
    ASSERT_TRUE(padded.fOK) << padded.fError;
    ASSERT_EQ(padded.fElements.size(), 2u);
    EXPECT_EQ(padded.fElements[0].fUsage, 2);  // Usage Maximum before Minimum still makes the range
    EXPECT_EQ(padded.fElements[0].fBitOffset, 8u);
    EXPECT_EQ(padded.fElements[1].fUsage, 3);
    EXPECT_EQ(padded.fElements[1].fBitOffset, 12u);
}

TEST(AHIDReportDescriptor, ArrayGivesOneElementPerUsageItsSlotsCanName)
{
    // Usages 0..255 but logical 0..3: slot values 1..3 name usages 1..3; usage 0 is "no key".
    AHIDParseResult result =
        Parse({0x05, 0x07, 0x19, 0x00, 0x2A, 0xFF, 0x00, 0x15, 0x00, 0x25, 0x03, 0x75, 0x08, 0x95, 0x02, 0x81, 0x00});
    ASSERT_EQ(result.fElements.size(), 3u);
    for (int32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(result.fElements[i].fUsage, i + 1);
        EXPECT_EQ(result.fElements[i].fArrayIndex, i + 1);
        EXPECT_TRUE(result.fElements[i].fIsArray);
    }
    // Within a Delimiter set only the first usage counts.
    AHIDParseResult delimited = Parse({0x05, 0x09, 0xA9, 0x01, 0x09, 0x04, 0x09, 0x05, 0xA9, 0x00, 0x09, 0x06, 0x25,
                                       0x01, 0x75, 0x01, 0x95, 0x02, 0x81, 0x02});
    ASSERT_EQ(delimited.fElements.size(), 2u);
    EXPECT_EQ(delimited.fElements[0].fUsage, 4);
    EXPECT_EQ(delimited.fElements[1].fUsage, 6);
}

TEST(AHIDReportDescriptor, MalformedDescriptorIsRejectedWithItsReason)
{
    ABytes deepCollections, deepPushes, tooManyElements = {0x05, 0x09, 0x75, 0x01, 0x96, 0x00, 0x10};
    for (int i = 0; i < 33; ++i)
        deepCollections.insert(deepCollections.end(), {0xA1, 0x00});
    deepPushes.assign(17, 0xA4);
    for (int i = 0; i < 5; ++i)
        tooManyElements.insert(tooManyElements.end(), {0x09, 0x01, 0x81, 0x02});
    const ABytes button = {0x05, 0x09, 0x09, 0x01};
    auto withButton = [&](ABytes tail) {
        ABytes bytes = button;
        bytes.insert(bytes.end(), tail.begin(), tail.end());
        return bytes;
    };
    const std::vector<std::pair<ABytes, std::string>> cases = {
        {{}, "empty descriptor"},
        {{0x05}, "item runs past the end (byte 0)"},
        {{0x05, 0x01, 0x26, 0xFF}, "item runs past the end (byte 2)"},
        {{0xFE}, "long item runs past the end (byte 0)"},
        {{0x05, 0x01, 0xFE, 0x05, 0x00, 0x01}, "long item runs past the end (byte 2)"},
        {{0xB4}, "Pop without a matching Push (byte 0)"},
        {deepPushes, "Push nested deeper than 16 levels (byte 16)"},
        {{0xC0}, "End Collection without an open Collection (byte 0)"},
        {deepCollections, "Collection nested deeper than 32 levels (byte 64)"},
        {{0xA1, 0x01, 0xA1, 0x00, 0xC0}, "descriptor ends inside 1 open collection"},
        {{0xA1, 0x01, 0xA1, 0x00}, "descriptor ends inside 2 open collections"},
        {{0x85, 0x00}, "Report ID 0 is reserved (byte 0)"},
        {{0x86, 0x00, 0x01}, "Report ID 256 is over 255 (byte 0)"},
        {withButton({0x75, 0x00, 0x95, 0x01, 0x81, 0x02}), "Report Size 0 for a field with usages (byte 8)"},
        {withButton({0x75, 0x21, 0x95, 0x01, 0x81, 0x02}),
         "Report Size 33 is over 32 bits for a field with usages (byte 8)"},
        {withButton({0x75, 0x01, 0x96, 0x01, 0x30, 0x81, 0x02}), "Report Count 12289 is over 12288 (byte 9)"},
        {{0x85, 0x07, 0x75, 0x80, 0x96, 0x00, 0x30, 0x91, 0x01}, "report 7 grows longer than 16383 bytes (byte 7)"},
        {withButton({0x15, 0x05, 0x25, 0x03, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02}),
         "Logical Maximum 3 is below Logical Minimum 5 (byte 12)"},
        {{0x05, 0x09, 0x19, 0x05, 0x29, 0x01}, "Usage Minimum 0x5 is above Usage Maximum 0x1 (byte 4)"},
        {{0x1B, 0x01, 0x00, 0x09, 0x00, 0x2B, 0x05, 0x00, 0x07, 0x00},
         "Usage Minimum 0x90001 and Usage Maximum 0x70005 lie on different usage pages (byte 5)"},
        {{0x05, 0x09, 0x19, 0x01, 0x2A, 0x00, 0x20, 0x26, 0x00, 0x20, 0x75, 0x10, 0x95, 0x01, 0x81, 0x00},
         "field has 8192 elements, over 4096 (byte 14)"},
        {tooManyElements, "descriptor has over 16384 elements (byte 25)"},
        {{0xA9, 0x01, 0xA9, 0x01}, "Delimiter opens a set inside a set (byte 2)"},
        {{0xA9, 0x00}, "Delimiter closes no set (byte 0)"},
        {{0xA9, 0x01, 0x09, 0x01, 0x81, 0x02}, "main item inside an open Delimiter set (byte 4)"},
    };
    for (const auto& [bytes, reason] : cases) {
        AHIDParseResult result = Parse(bytes);
        EXPECT_FALSE(result.fOK) << reason;
        EXPECT_EQ(result.fError, reason);
        EXPECT_TRUE(result.fElements.empty()) << reason;
    }
}
