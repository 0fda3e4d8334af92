#include "base/ATextDecoding.h"

#include "tests/hid/AHIDTextFixture.h"

#include <gtest/gtest.h>

TEST(DecodeUTF8Lossy, KeepsValidTextAndReplacesEachBrokenSequenceOnce)
{
    for (const auto& [rule, bytes, text] : ReadFixtureRows("../base/utf8-decoding.txt")) {
        const std::vector<uint8_t> given = HexBytes(bytes), expected = HexBytes(text);
        EXPECT_EQ(DecodeUTF8Lossy(std::string(given.begin(), given.end())), std::string(expected.begin(), expected.end())) << rule;
    }
}
