#include "keys/AKeyCodes.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <sstream>
#include <string>
#include <vector>

TEST(AKeyCodes, EntriesAreFoundBothWaysKeysWhereTheSidesDifferMapByPositionAndOthersAreAbsent)
{
    ASSERT_GT(KeyCodeTable().size(), 100u);
    for (const AKeyCode& key : KeyCodeTable()) {
        EXPECT_EQ(FindMacKeyCode(key.fMacKeyCode), &key) << key.fMacKeyCode;
        EXPECT_EQ(FindEvdevCode(key.fEvdevCode), &key) << key.fEvdevCode;
    }
    const std::tuple<uint16_t, uint16_t, const char*> rows[] = {
        {0, KEY_A, "A (code 0 is a key, not 'none')"}, {20, KEY_3, "3"}, {55, KEY_LEFTMETA, "Command"},
        {54, KEY_RIGHTMETA, "right Command"}, {61, KEY_RIGHTALT, "right Option"}, {57, KEY_CAPSLOCK, "Caps Lock"},
        {105, KEY_SYSRQ, "F13 / Print Screen"}, {107, KEY_SCROLLLOCK, "F14 / Scroll Lock"},
        {113, KEY_PAUSE, "F15 / Pause"}, {90, KEY_F20, "F20"}, {51, KEY_BACKSPACE, "Delete (backwards)"},
        {117, KEY_DELETE, "forward Delete"}, {114, KEY_INSERT, "Help / Insert"},
        {71, KEY_NUMLOCK, "keypad Clear / Num Lock"}, {76, KEY_KPENTER, "keypad Enter"},
        {72, KEY_VOLUMEUP, "volume up"}, {74, KEY_MUTE, "mute"}, {10, KEY_102ND, "ISO section"},
        {102, KEY_HANJA, "JIS Eisu"}, {104, KEY_HANGEUL, "JIS Kana"}, {110, KEY_COMPOSE, "contextual menu"},
    };
    for (const auto& [mac, evdev, key] : rows) {
        EXPECT_EQ(MacKeyCodeToEvdev(mac), evdev) << key;
        EXPECT_EQ(EvdevToMacKeyCode(evdev), mac) << key;
    }
    std::vector<uint16_t> pcKeys = {KEY_102ND, KEY_F11, KEY_F12, KEY_KPENTER, KEY_RIGHTCTRL, KEY_KPSLASH, KEY_SYSRQ,
                                    KEY_RIGHTALT, KEY_HOME, KEY_UP, KEY_PAGEUP, KEY_LEFT, KEY_RIGHT, KEY_END,
                                    KEY_DOWN, KEY_PAGEDOWN, KEY_INSERT, KEY_DELETE, KEY_MUTE, KEY_VOLUMEDOWN,
                                    KEY_VOLUMEUP, KEY_KPEQUAL, KEY_PAUSE, KEY_LEFTMETA, KEY_RIGHTMETA, KEY_COMPOSE};
    for (uint16_t code = KEY_ESC; code <= KEY_KPDOT; ++code)
        pcKeys.push_back(code);
    for (uint16_t code : pcKeys)
        EXPECT_TRUE(EvdevToMacKeyCode(code).has_value()) << "every key of a PC keyboard is recorded: " << code;
    for (uint16_t mac : {52, 63, 66, 68, 70, 77, 108, 112, 127, 128, 256, 0xFFFF})
        EXPECT_EQ(MacKeyCodeToEvdev(mac), std::nullopt) << mac;
    for (uint16_t evdev : {KEY_RESERVED, KEY_PRINT, KEY_F13, KEY_F21, KEY_EJECTCD, KEY_PLAYPAUSE, KEY_FN, KEY_MAX,
                           KEY_MAX + 1, 0xFFFF})
        EXPECT_EQ(EvdevToMacKeyCode(evdev), std::nullopt) << evdev;
}

TEST(AKeyCodes, FixedNamesAreTheKeyNamesOfTheSettingsAppAndNoOtherKeyHasOne)
{
    // code=name[,closing name]; every other key is named by the character it
    // types in the user's layout.
    std::istringstream rows(
        "122=F1 120=F2 99=F3 118=F4 96=F5 97=F6 98=F7 100=F8 101=F9 109=F10 103=F11 111=F12 105=F13 107=F14 "
        "113=F15 106=F16 64=F17 79=F18 80=F19 71=NumLock 48=Tab 126=Up 123=Lft 124=Rht 125=Dn 51=Bck 115=Home "
        "119=End 116=PgUp 121=PgDn 117=Del 36=Ret 76=Ent 49=Spc 53=Esc 56=<Shift>,</Shift> 60=<Shift>,</Shift> "
        "59=<Ctrl>,</Ctrl> 62=<Ctrl>,</Ctrl> 58=<Opt>,</Opt> 61=<Opt>,</Opt> 54=<Cmd>,</Cmd> 55=<Cmd>,</Cmd> "
        "57=<CpLk>,</CpLk>");
    size_t count = 0;
    for (std::string row; rows >> row; ++count) {
        SCOPED_TRACE(row);
        const AKeyCode* key = FindMacKeyCode(std::stoi(row));
        ASSERT_NE(key, nullptr);
        std::string names = std::string(key->fName ? key->fName : "") + (key->fClosingName ? "," : "") +
                            (key->fClosingName ? key->fClosingName : "");
        EXPECT_EQ(names, row.substr(row.find('=') + 1));
    }
    size_t named = 0;
    for (const AKeyCode& key : KeyCodeTable())
        named += key.fName != nullptr || key.fClosingName != nullptr;
    EXPECT_EQ(named, count);
}
