// The HID logic: report descriptors into elements, reports into the value
// changes of watched elements, and the queue that holds those changes.

#include "hid/AHIDEventQueue.h"
#include "hid/AHIDReportDecoder.h"
#include "tests/hid/AHIDTextFixture.h"

#include <gtest/gtest.h>

#include <memory>

TEST(AHIDReportDescriptor, DescriptorsGiveTheirInputElementsWhereTheirReportsCarryThemOrTheReasonTheyAreRefused)
{
    AHIDElementList elements;
    for (const char* file : {"hid/elements.txt", "hid/malformed.txt"}) {
        for (const auto& [rule, given, expected] : ReadFixtureRows(file)) {
            SCOPED_TRACE(rule + ": " + given);
            if (given.starts_with("descriptor")) {
                const std::string source = given.substr(std::min<size_t>(11, given.size()));
                const AHIDParseResult result = ParseReportDescriptor(
                    source.ends_with(".hex") ? ReadHexFixture(FixturePath("hid/" + source)) : HexBytes(source));
                elements = result.fElements;
                EXPECT_EQ(result.fOK ? std::to_string(elements.size()) + " elements" : result.fError, expected);
                EXPECT_TRUE(result.fOK || elements.empty());
            } else if (const uint32_t cookie = CookieOf(elements, given); cookie == 0) {
                ADD_FAILURE() << "no element for " << given;
            } else {
                const AHIDElement& element = elements[cookie - 1];
                std::ostringstream row;  // the logical range only when the row gives one
                row << "r" << int{element.fReportID} << " @" << element.fBitOffset << '+' << element.fBitSize << " x"
                    << element.fReportCount;
                if (element.fIsArray)
                    row << " arr " << std::uppercase << std::hex << element.fArrayIndex << std::dec;
                if (expected.find("..") != std::string::npos)
                    row << ' ' << element.fLogicalMin << ".." << element.fLogicalMax;
                EXPECT_EQ(row.str(), expected);
            }
        }
    }
}

TEST(AHIDReportDecoder, ReportsGiveTheValueChangesOfTheWatchedElements)
{
    AHIDElementList elements;
    std::unique_ptr<AHIDReportDecoder> decoder;
    for (const auto& [rule, given, expected] : ReadFixtureRows("hid/reports.txt")) {
        std::istringstream words(given);
        if (std::string word; given.starts_with("device ") && words >> word >> word) {
            elements = ParseFixture(word);
            decoder = std::make_unique<AHIDReportDecoder>(elements);
            for (words >> word; words >> word;)  // after "watch"
                ASSERT_TRUE(decoder->Watch(CookieOf(elements, word))) << word;
            continue;
        }
        std::vector<AHIDValueChange> changes;
        decoder->Decode(HexBytes(given), changes);
        EXPECT_EQ(ChangesText(elements, changes), expected) << rule << ": " << given;
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
    EXPECT_TRUE(decoder.Watch(10) && decoder.Watch(10));
    // The unreadable elements do not make the one-byte report "short".
    std::vector<AHIDValueChange> changes;
    decoder.Decode(std::vector<uint8_t>{0x02}, changes);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_TRUE(changes[0].fCookie == 10u && changes[0].fValue == 1);
}

TEST(AHIDEventQueue, KeepsChangesOldestFirstUpToItsDepthAndDropsThoseThatFindItFull)
{
    const AHIDElementList mouse = ParseFixture("boot-mouse.hex");
    AHIDEventQueue queue(3, mouse), shallow(0, mouse);
    for (AHIDEventQueue* each : {&queue, &shallow})
        ASSERT_TRUE(each->Watch(CookieOf(mouse, "9:1")) && each->Watch(CookieOf(mouse, "9:2")));
    auto take = [&](AHIDEventQueue& from, size_t most) {
        std::vector<AHIDValueChange> changes(1);
        while (changes.size() <= most && from.GetNextEvent(changes.back()))
            changes.emplace_back();
        changes.pop_back();
        return ChangesText(mouse, changes);
    };
    EXPECT_EQ(queue.EnqueueReport(HexBytes("00 00 00")), 0u);  // the values repeated: nothing
    EXPECT_EQ(queue.EnqueueReport(HexBytes("03 00 00")), 2u);
    EXPECT_EQ(take(queue, 1), "9:1=1");
    // Two places left after one was taken; the slots wrap round.
    EXPECT_EQ(queue.EnqueueReport(HexBytes("00 00 00")), 2u);
    EXPECT_EQ(queue.EnqueueReport(HexBytes("03 00 00")), 0u);  // full: both presses dropped
    EXPECT_EQ(queue.GetEventCount(), 3u);
    EXPECT_EQ(take(queue, 9), "9:2=1 9:1=0 9:2=0");
    // The dropped presses were still decoded, so the next change is their release.
    EXPECT_EQ(queue.EnqueueReport(HexBytes("00 00 00")), 2u);
    EXPECT_EQ(take(queue, 9), "9:1=0 9:2=0");
    // One report with more changes than the depth keeps the first; depth 0 is one place.
    EXPECT_EQ(shallow.EnqueueReport(HexBytes("03 00 00")), 1u);
    EXPECT_EQ(take(shallow, 9), "9:1=1");
}
