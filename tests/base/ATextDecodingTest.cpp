#include "base/ATextDecoding.h"

#include <gtest/gtest.h>

TEST(DecodeUTF8Lossy, KeepsValidTextAndReplacesEachBrokenSequenceOnce)
{
    const std::string r = "\xEF\xBF\xBD";  // U+FFFD
    struct ACase {
        const char* fRule;
        std::string fBytes;
        std::string fText;
    } cases[] = {
        {"ASCII is kept, percent signs included", "file '%@' %d not found\n", "file '%@' %d not found\n"},
        {"valid multi-byte text is kept", "Unable to load \xE2\x80\x98x\xE2\x80\x99 \xF0\x9F\x98\x80",
         "Unable to load \xE2\x80\x98x\xE2\x80\x99 \xF0\x9F\x98\x80"},
        {"a Latin-1 byte is replaced", "caf\xE9!", "caf" + r + "!"},
        {"a lone continuation byte is replaced", "a\x80" "b", "a" + r + "b"},
        {"bytes that never occur are replaced", "\xFF\xFE", r + r},
        {"an overlong form is replaced byte by byte", "\xC0\x80", r + r},
        {"an encoded surrogate is replaced", "\xED\xA0\x80", r + r + r},
        {"a code point above U+10FFFF is replaced", "\xF4\x90\x80\x80", r + r + r + r},
        {"a cut sequence is replaced once and decoding resumes", "\xE2\x82" "A", r + "A"},
        {"a sequence cut by the end is replaced once", "ok\xF0\x9F\x98", "ok" + r},
        {"a NUL byte, which D-Bus strings cannot carry, is replaced", std::string("a\0b", 3), "a" + r + "b"},
        {"empty stays empty", "", ""},
    };
    for (const ACase& c : cases)
        EXPECT_EQ(DecodeUTF8Lossy(c.fBytes), c.fText) << c.fRule;
}
