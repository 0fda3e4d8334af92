#include "hid/AHIDReportDescriptor.h"
#include "tests/hid/AHIDTextFixture.h"

#include <gtest/gtest.h>

namespace {

// An element as a row of elements.txt writes it, with its logical range when
// the row gives one.
std::string ElementRow(const AHIDElement& element, bool withRange)
{
    std::ostringstream row;
    row << UsageName(element) << " r" << int{element.fReportID} << " @" << element.fBitOffset << '+'
        << element.fBitSize << " x" << element.fReportCount;
    if (element.fIsArray)
        row << " arr " << std::uppercase << std::hex << element.fArrayIndex << std::dec;
    if (withRange)
        row << ' ' << element.fLogicalMin << ".." << element.fLogicalMax;
    return row.str();
}

} // namespace

TEST(AHIDReportDescriptor, DescriptorsGiveTheirInputElementsWhereTheirReportsCarryThem)
{
    std::string rule;
    AHIDElementList elements;
    for (const std::string& line : FixtureLines("elements.txt")) {
        if (line[0] == '#') {
            rule = line;
            continue;
        }
        SCOPED_TRACE(rule);
        if (line.starts_with("descriptor ")) {
            const size_t last = line.rfind(' ');
            const std::string source = line.substr(11, last - 11);
            const AHIDParseResult result = ParseReportDescriptor(
                source.ends_with(".hex") ? ReadHexFixture(FixturePath("hid/" + source)) : HexBytes(source));
            EXPECT_TRUE(result.fOK) << result.fError;
            elements = result.fElements;
            EXPECT_EQ(elements.size(), std::stoul(line.substr(last + 1)));
            for (size_t i = 0; i < elements.size(); ++i)
                EXPECT_EQ(elements[i].fCookie, i + 1);
        } else if (uint32_t cookie = CookieOf(elements, line.substr(0, line.find(' '))); cookie == 0) {
            ADD_FAILURE() << "no element for " << line;
        } else {
            EXPECT_EQ(ElementRow(elements[cookie - 1], line.find("..") != std::string::npos), line);
        }
    }
}

TEST(AHIDReportDescriptor, MalformedDescriptorIsRejectedWithItsExactReason)
{
    for (const std::string& line : FixtureLines("malformed.txt")) {
        if (line[0] == '#')
            continue;
        const auto [bytes, reason] = SplitRow(line);
        SCOPED_TRACE(reason);
        const AHIDParseResult result = ParseReportDescriptor(HexBytes(bytes));
        EXPECT_FALSE(result.fOK);
        EXPECT_EQ(result.fError, reason);
        EXPECT_TRUE(result.fElements.empty());
    }
}
