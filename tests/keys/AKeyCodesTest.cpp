#include "keys/AKeyCodes.h"

#include "tests/support/ATestPaths.h"

#include <gtest/gtest.h>
#include <libevdev/libevdev.h>

#include <sstream>

TEST(AKeyCodes, TheTableMatchesItsReferenceBothWaysAndNamesOnlyItsNamedKeys)
{
    size_t named = 0;
    for (const AKeyCode& key : KeyCodeTable()) {
        EXPECT_EQ(FindMacKeyCode(key.fMacKeyCode), &key) << key.fMacKeyCode;
        EXPECT_EQ(FindEvdevCode(key.fEvdevCode), &key) << key.fEvdevCode;
        named += key.fName != nullptr || key.fClosingName != nullptr;
    }
    const auto evdev = [](const std::string& word) {  // a key's name or a number
        const int code = word.starts_with("KEY_") ? libevdev_event_code_from_name(EV_KEY, word.c_str()) : std::stoi(word);
        EXPECT_GE(code, 0) << word;
        return static_cast<uint16_t>(code);
    };
    std::string rule, kind, word;
    for (const std::string& line : ReadFixtureLines("keys/key-codes.txt")) {
        if (line[0] == '#') {
            rule = line;
            continue;
        }
        SCOPED_TRACE(rule + ": " + line);
        std::istringstream words(line);
        words >> kind;
        if (kind == "name") {
            std::string names;
            words >> word;
            std::getline(words, names);
            const AKeyCode* key = FindMacKeyCode(std::stoi(word));
            ASSERT_NE(key, nullptr);
            EXPECT_EQ(std::string(" ") + (key->fName ? key->fName : "") +
                          (key->fClosingName ? std::string(" ") + key->fClosingName : ""), names);
            --named;
        }
        while (words >> word) {
            if (kind == "pc")
                EXPECT_TRUE(EvdevToMacKeyCode(evdev(word)).has_value());
            else if (kind == "no-evdev")
                EXPECT_EQ(MacKeyCodeToEvdev(std::stoi(word)), std::nullopt);
            else if (kind == "no-mac")
                EXPECT_EQ(EvdevToMacKeyCode(evdev(word)), std::nullopt);
            else {
                EXPECT_EQ(MacKeyCodeToEvdev(std::stoi(kind)), evdev(word));
                EXPECT_EQ(EvdevToMacKeyCode(evdev(word)), std::stoi(kind));
            }
        }
    }
    for (uint16_t code = KEY_ESC; code <= KEY_KPDOT; ++code)
        EXPECT_TRUE(EvdevToMacKeyCode(code).has_value()) << "every key of a PC keyboard is recorded: " << code;
    EXPECT_EQ(named, 0u) << "keys named in the table but not in the reference";
}
