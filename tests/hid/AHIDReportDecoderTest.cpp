#include "hid/AHIDReportDecoder.h"
#include "hid/AHIDReportDescriptor.h"
#include "tests/support/AHexFixture.h"
#include "tests/support/ATestPaths.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using AChanges = std::vector<std::pair<uint32_t, int32_t>>;  // (cookie, value)

AHIDElementList ParseFixture(const std::string& file)
{
    AHIDParseResult result = ParseReportDescriptor(ReadHexFixture(FixturePath("hid/" + file)));
    EXPECT_TRUE(result.fOK) << result.fError;
    return result.fElements;
}

uint32_t CookieOf(const AHIDElementList& elements, uint16_t page, uint16_t usage)
{
    for (const AHIDElement& element : elements) {
        if (element.fUsagePage == page && element.fUsage == usage)
            return element.fCookie;
    }
    ADD_FAILURE() << "no element " << page << ":" << usage;
    return 0;
}

AChanges Decode(AHIDReportDecoder& decoder, std::vector<uint8_t> report)
{
    std::vector<AHIDValueChange> changes;
    decoder.Decode(report, changes);
    AChanges result;
    for (const AHIDValueChange& change : changes)
        result.emplace_back(change.fCookie, change.fValue);
    return result;
}

// The composite device watched as the agent watches it.
class AHIDReportDecoderComposite : public testing::Test {
protected:
    AHIDReportDecoderComposite() : fElements(ParseFixture("nuvexa-composite.hex")), fDecoder(fElements)
    {
        for (auto [page, usage] : {std::pair<uint16_t, uint16_t>{9, 5}, {9, 4}, {7, 0x2F}, {7, 0x30}, {7, 0x05},
                                   {7, 0x13}, {1, 0x30}, {1, 0x31}})
            EXPECT_TRUE(fDecoder.Watch(CookieOf(fElements, page, usage)));
    }

    uint32_t Cookie(uint16_t page, uint16_t usage) const { return CookieOf(fElements, page, usage); }

    AHIDElementList fElements;
    AHIDReportDecoder fDecoder;
};

}  // namespace

TEST_F(AHIDReportDecoderComposite, ButtonPressAndReleaseAreChangesAndARepeatedValueIsNot)
{
    const std::vector<uint8_t> released = {0x02, 0x00, 0x00, 0x00, 0x00, 0x00};
    const std::vector<uint8_t> button5 = {0x02, 0x10, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(Decode(fDecoder, released), AChanges{});  // values start at 0
    EXPECT_EQ(Decode(fDecoder, button5), (AChanges{{Cookie(9, 5), 1}}));
    EXPECT_EQ(Decode(fDecoder, button5), AChanges{});
    EXPECT_EQ(Decode(fDecoder, {0x02, 0x18, 0x00, 0x00, 0x00, 0x00}), (AChanges{{Cookie(9, 4), 1}}));
    EXPECT_EQ(Decode(fDecoder, released), (AChanges{{Cookie(9, 4), 0}, {Cookie(9, 5), 0}}));
}

TEST_F(AHIDReportDecoderComposite, ArrayKeyIsOneWhileAnySlotHoldsIt)
{
    EXPECT_EQ(Decode(fDecoder, {0x08, 0x00, 0x00, 0x2F, 0x00, 0x00, 0x00, 0x00, 0x00}),
              (AChanges{{Cookie(7, 0x2F), 1}}));
    // The key moves to another slot while a second key arrives: only the new key changes.
    EXPECT_EQ(Decode(fDecoder, {0x08, 0x00, 0x00, 0x30, 0x00, 0x00, 0x00, 0x00, 0x2F}),
              (AChanges{{Cookie(7, 0x30), 1}}));
    // Changes come in element order, whatever the slot order.
    EXPECT_EQ(Decode(fDecoder, {0x08, 0x00, 0x00, 0x13, 0x05, 0x00, 0x00, 0x00, 0x00}),
              (AChanges{{Cookie(7, 0x05), 1}, {Cookie(7, 0x13), 1}, {Cookie(7, 0x2F), 0}, {Cookie(7, 0x30), 0}}));
    // Modifier bits beside the keys change nothing watched.
    EXPECT_EQ(Decode(fDecoder, {0x08, 0xFF, 0x00, 0x13, 0x05, 0x00, 0x00, 0x00, 0x00}), AChanges{});
}

TEST_F(AHIDReportDecoderComposite, ShortEmptyAndUnknownReportsChangeNothing)
{
    const std::vector<uint8_t> button5 = {0x02, 0x10, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(Decode(fDecoder, {}), AChanges{});
    EXPECT_EQ(Decode(fDecoder, {0x02, 0x10, 0x00, 0x00, 0x00}), AChanges{});  // one byte short
    EXPECT_EQ(Decode(fDecoder, {0x07, 0x10, 0x00, 0x00, 0x00, 0x00}), AChanges{});
    EXPECT_EQ(Decode(fDecoder, {0x10, 0xE9, 0x00}), AChanges{});  // consumer report: nothing watched there
    EXPECT_EQ(Decode(fDecoder, button5), (AChanges{{Cookie(9, 5), 1}}));
    // A longer buffer than the report needs is read as far as the report goes.
    EXPECT_EQ(Decode(fDecoder, {0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x10}), (AChanges{{Cookie(9, 5), 0}}));
}

TEST_F(AHIDReportDecoderComposite, SignedFieldsAreSignExtendedFromTheirSize)
{
    // X = 0x801 (-2047) and Y = 0x7FF (2047), 12 bits each from bit 8.
    EXPECT_EQ(Decode(fDecoder, {0x02, 0x00, 0x01, 0xF8, 0x7F, 0x00}),
              (AChanges{{Cookie(1, 0x30), -2047}, {Cookie(1, 0x31), 2047}}));
    EXPECT_EQ(Decode(fDecoder, {0x02, 0x00, 0xFF, 0x0F, 0x00, 0x00}),
              (AChanges{{Cookie(1, 0x30), -1}, {Cookie(1, 0x31), 0}}));
}

TEST(AHIDReportDecoder, DeviceWithoutReportIDsReadsTheWholeBuffer)
{
    AHIDElementList elements = ParseFixture("boot-mouse.hex");
    AHIDReportDecoder decoder(elements);
    uint32_t button1 = CookieOf(elements, 9, 1), x = CookieOf(elements, 1, 0x30);
    ASSERT_TRUE(decoder.Watch(button1));
    ASSERT_TRUE(decoder.Watch(x));
    EXPECT_EQ(Decode(decoder, {0x01, 0x05, 0x00}), (AChanges{{button1, 1}, {x, 5}}));
    EXPECT_EQ(Decode(decoder, {0x00, 0xFB, 0x00}), (AChanges{{button1, 0}, {x, -5}}));
    EXPECT_EQ(Decode(decoder, {0x01, 0xFB}), AChanges{});
}

TEST(AHIDReportDecoder, ArrayWithLogicalMinimumOneTreatsZeroAsNoUsage)
{
    AHIDElementList elements = ParseFixture("logitech-receiver-keyboard.hex");
    AHIDReportDecoder decoder(elements);
    uint32_t powerDown = CookieOf(elements, 1, 0x81), sleep = CookieOf(elements, 1, 0x82);
    ASSERT_TRUE(decoder.Watch(powerDown));
    ASSERT_TRUE(decoder.Watch(sleep));
    EXPECT_EQ(Decode(decoder, {0x04, 0x02}), (AChanges{{powerDown, 1}}));
    EXPECT_EQ(Decode(decoder, {0x04, 0x01}), (AChanges{{sleep, 1}, {powerDown, 0}}));  // sleep is listed first
    EXPECT_EQ(Decode(decoder, {0x04, 0x00}), (AChanges{{sleep, 0}}));
}

TEST(AHIDReportDecoder, WatchRefusesUnknownCookiesAndUnreadableElements)
{
    AHIDElement tooWide{.fCookie = 7, .fUsagePage = 9, .fUsage = 1, .fBitSize = 33};
    AHIDElement empty{.fCookie = 8, .fUsagePage = 9, .fUsage = 2, .fBitSize = 0};
    AHIDElement pastAnyReport{.fCookie = 9, .fUsagePage = 9, .fUsage = 3, .fBitOffset = 200000, .fBitSize = 1};
    AHIDElement button{.fCookie = 10, .fUsagePage = 9, .fUsage = 4, .fBitOffset = 1, .fBitSize = 1};
    AHIDReportDecoder decoder({tooWide, empty, pastAnyReport, button});
    EXPECT_FALSE(decoder.Watch(0));
    EXPECT_FALSE(decoder.Watch(11));
    EXPECT_FALSE(decoder.Watch(7));
    EXPECT_FALSE(decoder.Watch(8));
    EXPECT_FALSE(decoder.Watch(9));
    EXPECT_TRUE(decoder.Watch(10));
    EXPECT_TRUE(decoder.Watch(10));
    // The unreadable elements do not make the one-byte report "short".
    EXPECT_EQ(Decode(decoder, {0x02}), (AChanges{{10, 1}}));
}
