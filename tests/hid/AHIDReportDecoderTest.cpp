#include "hid/AHIDReportDecoder.h"
#include "tests/hid/AHIDTextFixture.h"

#include <gtest/gtest.h>

#include <memory>

TEST(AHIDReportDecoder, ReportsGiveTheValueChangesOfTheWatchedElements)
{
    std::string rule, word;
    AHIDElementList elements;
    std::unique_ptr<AHIDReportDecoder> decoder;
    for (const std::string& line : FixtureLines("reports.txt")) {
        std::istringstream words(line);
        if (line[0] == '#') {
            rule = line;
        } else if (words >> word && word == "device") {
            words >> word;
            elements = ParseFixture(word);
            decoder = std::make_unique<AHIDReportDecoder>(elements);
            for (words >> word; words >> word;)  // after "watch"
                ASSERT_TRUE(decoder->Watch(CookieOf(elements, word))) << word;
        } else {
            SCOPED_TRACE(rule);
            const auto [bytes, expected] = SplitRow(line);
            std::vector<AHIDValueChange> changes;
            decoder->Decode(HexBytes(bytes), changes);
            EXPECT_EQ(ChangesText(elements, changes), expected) << line;
        }
    }
}

TEST(AHIDReportDecoder, WatchRefusesUnknownCookiesAndUnreadableElements)
{
    const AHIDElement tooWide{.fCookie = 7, .fBitSize = 33}, empty{.fCookie = 8, .fBitSize = 0},
        pastAnyReport{.fCookie = 9, .fBitOffset = 200000, .fBitSize = 1},
        button{.fCookie = 10, .fBitOffset = 1, .fBitSize = 1};
    AHIDReportDecoder decoder({tooWide, empty, pastAnyReport, button});
    for (uint32_t refused : {0, 11, 7, 8, 9})
        EXPECT_FALSE(decoder.Watch(refused)) << refused;
    EXPECT_TRUE(decoder.Watch(10));
    EXPECT_TRUE(decoder.Watch(10));
    // The unreadable elements do not make the one-byte report "short".
    std::vector<AHIDValueChange> changes;
    decoder.Decode(std::vector<uint8_t>{0x02}, changes);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].fCookie, 10u);
    EXPECT_EQ(changes[0].fValue, 1);
}
