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
    for (const auto& [rule, kind, codes] : ReadFixtureRows("keys/key-codes.txt")) {
        SCOPED_TRACE(rule + ": " + kind + " => " + codes);
        if (const AKeyCode* key = kind.starts_with("name ") ? FindMacKeyCode(std::stoi(kind.substr(5))) : nullptr) {
            EXPECT_EQ(std::string(key->fName ? key->fName : "") + (key->fClosingName ? " " + std::string(key->fClosingName) : ""),
                      codes);
            --named;
            continue;
        }
        ASSERT_FALSE(kind.starts_with("name ")) << "no such key";
        std::istringstream words(codes);
        for (std::string word; words >> word;) {
            if (kind == "pc")
                EXPECT_TRUE(EvdevToMacKeyCode(evdev(word)).has_value());
            else if (kind == "no-evdev")
                EXPECT_EQ(MacKeyCodeToEvdev(std::stoi(word)), std::nullopt);
            else if (kind == "no-mac")
                EXPECT_EQ(EvdevToMacKeyCode(evdev(word)), std::nullopt);
            else
                EXPECT_TRUE(MacKeyCodeToEvdev(std::stoi(kind)) == evdev(word) && EvdevToMacKeyCode(evdev(word)) == std::stoi(kind));
        }
    }
    EXPECT_EQ(named, 0u) << "keys named in the table but not in the reference";
}
