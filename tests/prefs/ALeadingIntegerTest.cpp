// The lenient integer reader used for every number in "mapping.xml".

#include "prefs/ALeadingInteger.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ALeadingIntegerTest, ReadsBlanksSignAndDigitsUpToTheFirstOtherCharacter)
{
    const std::pair<std::string_view, int32_t> rows[] = {
        {"4", 4},
        {"4a", 4},
        {"1002", 1002},
        {"  \t\n\v\f\r 17", 17},
        {"-3", -3},
        {"+7", 7},
        {"007", 7},
        {"12 34", 12},
        {"3.9", 3},
        {"0x10", 0},
    };
    for (const auto& [text, value] : rows)
        EXPECT_EQ(ReadLeadingInteger(text), value) << '"' << text << '"';
}

TEST(ALeadingIntegerTest, TextWithoutLeadingDigitsReadsAsZero)
{
    for (std::string_view text : {"", " ", "-", "+", "- 3", "+-3", "a4", "\xEF\xBC\x91", "--1"})
        EXPECT_EQ(ReadLeadingInteger(text), 0) << '"' << text << '"';
}

TEST(ALeadingIntegerTest, ValuesBeyondTheSigned32BitRangeGiveTheNearestLimit)
{
    const std::pair<std::string, int32_t> rows[] = {
        {"2147483647", INT32_MAX},
        {"2147483648", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {"4294967296", INT32_MAX},
        {"18446744073709551617", INT32_MAX},
        {std::string(5000, '9'), INT32_MAX},
        {"-" + std::string(5000, '9'), INT32_MIN},
        {std::string(100, '0') + "42", 42},
    };
    for (const auto& [text, value] : rows)
        EXPECT_EQ(ReadLeadingInteger(text), value) << text.substr(0, 30);
}

TEST(ALeadingIntegerTest, StopsAtTheEndOfTheViewNotAtATerminator)
{
    std::string_view text("123456", 3);
    EXPECT_EQ(ReadLeadingInteger(text), 123);
}

} // namespace
