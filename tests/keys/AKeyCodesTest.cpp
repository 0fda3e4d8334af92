#include "keys/AKeyCodes.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <cstring>
#include <string>
#include <vector>

TEST(AKeyCodes, EveryEntryRoundTripsBothWays)
{
    ASSERT_GT(KeyCodeTable().size(), 100u);
    for (const AKeyCode& key : KeyCodeTable()) {
        EXPECT_EQ(MacKeyCodeToEvdev(key.fMacKeyCode), key.fEvdevCode) << key.fMacKeyCode;
        EXPECT_EQ(EvdevToMacKeyCode(key.fEvdevCode), key.fMacKeyCode) << key.fEvdevCode;
        EXPECT_EQ(FindMacKeyCode(key.fMacKeyCode), &key);
        EXPECT_EQ(FindEvdevCode(key.fEvdevCode), &key);
    }
}

TEST(AKeyCodes, KnownKeysMapToTheirEvdevCodes)
{
    struct ARow {
        uint16_t fMac;
        uint16_t fEvdev;
        const char* fKey;
    };
    const std::vector<ARow> rows = {
        {0, KEY_A, "A (code 0 is a key, not 'none')"}, {20, KEY_3, "3"},
        {55, KEY_LEFTMETA, "Command"}, {54, KEY_RIGHTMETA, "right Command"},
        {61, KEY_RIGHTALT, "right Option"}, {57, KEY_CAPSLOCK, "Caps Lock"},
        {105, KEY_SYSRQ, "F13 / Print Screen"}, {107, KEY_SCROLLLOCK, "F14 / Scroll Lock"},
        {113, KEY_PAUSE, "F15 / Pause"}, {90, KEY_F20, "F20"},
        {51, KEY_BACKSPACE, "Delete (backwards)"}, {117, KEY_DELETE, "forward Delete"},
        {114, KEY_INSERT, "Help / Insert"}, {71, KEY_NUMLOCK, "keypad Clear / Num Lock"},
        {76, KEY_KPENTER, "keypad Enter"}, {72, KEY_VOLUMEUP, "volume up"},
        {74, KEY_MUTE, "mute"}, {10, KEY_102ND, "ISO section"},
        {102, KEY_HANJA, "JIS Eisu"}, {104, KEY_HANGEUL, "JIS Kana"},
    };
    for (const ARow& row : rows) {
        EXPECT_EQ(MacKeyCodeToEvdev(row.fMac), row.fEvdev) << row.fKey;
        EXPECT_EQ(EvdevToMacKeyCode(row.fEvdev), row.fMac) << row.fKey;
    }
}

TEST(AKeyCodes, CodesWithoutAKeyOnTheOtherSideAreAbsent)
{
    for (uint16_t mac : {52, 63, 66, 68, 70, 77, 108, 112, 127, 128, 256, 0xFFFF})
        EXPECT_EQ(MacKeyCodeToEvdev(mac), std::nullopt) << mac;
    for (uint16_t evdev : {KEY_RESERVED, KEY_PRINT, KEY_F13, KEY_F21, KEY_EJECTCD, KEY_PLAYPAUSE, KEY_FN,
                           KEY_MAX, KEY_MAX + 1, 0xFFFF})
        EXPECT_EQ(EvdevToMacKeyCode(evdev), std::nullopt) << evdev;
}

TEST(AKeyCodes, EveryKeyOfAStandardPcKeyboardIsRecorded)
{
    std::vector<uint16_t> keys;
    for (uint16_t code = KEY_ESC; code <= KEY_KPDOT; ++code)
        keys.push_back(code);
    for (uint16_t code : {KEY_102ND, KEY_F11, KEY_F12, KEY_KPENTER, KEY_RIGHTCTRL, KEY_KPSLASH, KEY_SYSRQ,
                          KEY_RIGHTALT, KEY_HOME, KEY_UP, KEY_PAGEUP, KEY_LEFT, KEY_RIGHT, KEY_END, KEY_DOWN,
                          KEY_PAGEDOWN, KEY_INSERT, KEY_DELETE, KEY_MUTE, KEY_VOLUMEDOWN, KEY_VOLUMEUP,
                          KEY_KPEQUAL, KEY_PAUSE, KEY_LEFTMETA, KEY_RIGHTMETA, KEY_COMPOSE})
        keys.push_back(code);
    for (uint16_t code : keys)
        EXPECT_TRUE(EvdevToMacKeyCode(code).has_value()) << code;
}

TEST(AKeyCodes, FixedNamesAreTheKeyNamesOfTheSettingsApp)
{
    struct ARow {
        uint16_t fMac;
        const char* fName;
        const char* fClosingName;
    };
    // Every key with a fixed name; all other keys are named by the character
    // they type in the user's layout.
    const std::vector<ARow> rows = {
        {122, "F1", nullptr}, {120, "F2", nullptr}, {99, "F3", nullptr}, {118, "F4", nullptr},
        {96, "F5", nullptr}, {97, "F6", nullptr}, {98, "F7", nullptr}, {100, "F8", nullptr},
        {101, "F9", nullptr}, {109, "F10", nullptr}, {103, "F11", nullptr}, {111, "F12", nullptr},
        {105, "F13", nullptr}, {107, "F14", nullptr}, {113, "F15", nullptr}, {106, "F16", nullptr},
        {64, "F17", nullptr}, {79, "F18", nullptr}, {80, "F19", nullptr}, {71, "NumLock", nullptr},
        {48, "Tab", nullptr}, {126, "Up", nullptr}, {123, "Lft", nullptr}, {124, "Rht", nullptr},
        {125, "Dn", nullptr}, {51, "Bck", nullptr}, {56, "<Shift>", "</Shift>"}, {60, "<Shift>", "</Shift>"},
        {59, "<Ctrl>", "</Ctrl>"}, {62, "<Ctrl>", "</Ctrl>"}, {58, "<Opt>", "</Opt>"}, {61, "<Opt>", "</Opt>"},
        {54, "<Cmd>", "</Cmd>"}, {55, "<Cmd>", "</Cmd>"}, {115, "Home", nullptr}, {119, "End", nullptr},
        {116, "PgUp", nullptr}, {121, "PgDn", nullptr}, {117, "Del", nullptr}, {36, "Ret", nullptr},
        {76, "Ent", nullptr}, {57, "<CpLk>", "</CpLk>"}, {49, "Spc", nullptr}, {53, "Esc", nullptr},
    };
    for (const ARow& row : rows) {
        const AKeyCode* key = FindMacKeyCode(row.fMac);
        ASSERT_NE(key, nullptr) << row.fMac;
        ASSERT_NE(key->fName, nullptr) << row.fMac;
        EXPECT_STREQ(key->fName, row.fName) << row.fMac;
        EXPECT_EQ(key->fClosingName == nullptr, row.fClosingName == nullptr) << row.fMac;
        if (row.fClosingName && key->fClosingName) {
            EXPECT_STREQ(key->fClosingName, row.fClosingName) << row.fMac;
        }
    }
    std::size_t named = 0;
    for (const AKeyCode& key : KeyCodeTable())
        named += key.fName != nullptr;
    EXPECT_EQ(named, rows.size());
}
