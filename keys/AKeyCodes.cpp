#include "keys/AKeyCodes.h"

#include <linux/input-event-codes.h>

#include <array>
#include <cstddef>
#include <stdexcept>

namespace {

// Where the two sides disagree about a key, the entry follows what a Mac
// reports for the same physical key of a PC keyboard:
// - Help (114) is the key in the Insert position: KEY_INSERT.
// - Keypad Clear (71) is the key in the Num Lock position: KEY_NUMLOCK.
// - F13, F14 and F15 (105, 107, 113) sit where a PC keyboard has Print Screen,
//   Scroll Lock and Pause, and a Mac reports those keys as F13 to F15. On
//   Linux the keys in those places are KEY_SYSRQ (Print Screen's evdev code),
//   KEY_SCROLLLOCK and KEY_PAUSE, so a captured Print Screen replays as Print
//   Screen. The rarely present KEY_F13 to KEY_F15 are therefore not recorded.
// - The JIS Eisu and Kana keys (102, 104) are USB Lang2 and Lang1, which
//   Linux reports as KEY_HANJA and KEY_HANGEUL.
// - The contextual menu key (110) is KEY_COMPOSE, the evdev code of the PC
//   keyboard's Menu key.
constexpr AKeyCode kKeyCodes[] = {
    {0, KEY_A, nullptr, nullptr},
    {1, KEY_S, nullptr, nullptr},
    {2, KEY_D, nullptr, nullptr},
    {3, KEY_F, nullptr, nullptr},
    {4, KEY_H, nullptr, nullptr},
    {5, KEY_G, nullptr, nullptr},
    {6, KEY_Z, nullptr, nullptr},
    {7, KEY_X, nullptr, nullptr},
    {8, KEY_C, nullptr, nullptr},
    {9, KEY_V, nullptr, nullptr},
    {10, KEY_102ND, nullptr, nullptr},  // ISO section key, left of Z or 1
    {11, KEY_B, nullptr, nullptr},
    {12, KEY_Q, nullptr, nullptr},
    {13, KEY_W, nullptr, nullptr},
    {14, KEY_E, nullptr, nullptr},
    {15, KEY_R, nullptr, nullptr},
    {16, KEY_Y, nullptr, nullptr},
    {17, KEY_T, nullptr, nullptr},
    {18, KEY_1, nullptr, nullptr},
    {19, KEY_2, nullptr, nullptr},
    {20, KEY_3, nullptr, nullptr},
    {21, KEY_4, nullptr, nullptr},
    {22, KEY_6, nullptr, nullptr},
    {23, KEY_5, nullptr, nullptr},
    {24, KEY_EQUAL, nullptr, nullptr},
    {25, KEY_9, nullptr, nullptr},
    {26, KEY_7, nullptr, nullptr},
    {27, KEY_MINUS, nullptr, nullptr},
    {28, KEY_8, nullptr, nullptr},
    {29, KEY_0, nullptr, nullptr},
    {30, KEY_RIGHTBRACE, nullptr, nullptr},
    {31, KEY_O, nullptr, nullptr},
    {32, KEY_U, nullptr, nullptr},
    {33, KEY_LEFTBRACE, nullptr, nullptr},
    {34, KEY_I, nullptr, nullptr},
    {35, KEY_P, nullptr, nullptr},
    {36, KEY_ENTER, "Ret", nullptr},
    {37, KEY_L, nullptr, nullptr},
    {38, KEY_J, nullptr, nullptr},
    {39, KEY_APOSTROPHE, nullptr, nullptr},
    {40, KEY_K, nullptr, nullptr},
    {41, KEY_SEMICOLON, nullptr, nullptr},
    {42, KEY_BACKSLASH, nullptr, nullptr},
    {43, KEY_COMMA, nullptr, nullptr},
    {44, KEY_SLASH, nullptr, nullptr},
    {45, KEY_N, nullptr, nullptr},
    {46, KEY_M, nullptr, nullptr},
    {47, KEY_DOT, nullptr, nullptr},
    {48, KEY_TAB, "Tab", nullptr},
    {49, KEY_SPACE, "Spc", nullptr},
    {50, KEY_GRAVE, nullptr, nullptr},
    {51, KEY_BACKSPACE, "Bck", nullptr},  // Delete, which erases backwards
    {53, KEY_ESC, "Esc", nullptr},
    {54, KEY_RIGHTMETA, "<Cmd>", "</Cmd>"},
    {55, KEY_LEFTMETA, "<Cmd>", "</Cmd>"},
    {56, KEY_LEFTSHIFT, "<Shift>", "</Shift>"},
    {57, KEY_CAPSLOCK, "<CpLk>", "</CpLk>"},
    {58, KEY_LEFTALT, "<Opt>", "</Opt>"},
    {59, KEY_LEFTCTRL, "<Ctrl>", "</Ctrl>"},
    {60, KEY_RIGHTSHIFT, "<Shift>", "</Shift>"},
    {61, KEY_RIGHTALT, "<Opt>", "</Opt>"},
    {62, KEY_RIGHTCTRL, "<Ctrl>", "</Ctrl>"},
    {64, KEY_F17, "F17", nullptr},
    {65, KEY_KPDOT, nullptr, nullptr},
    {67, KEY_KPASTERISK, nullptr, nullptr},
    {69, KEY_KPPLUS, nullptr, nullptr},
    {71, KEY_NUMLOCK, "NumLock", nullptr},  // keypad Clear
    {72, KEY_VOLUMEUP, nullptr, nullptr},
    {73, KEY_VOLUMEDOWN, nullptr, nullptr},
    {74, KEY_MUTE, nullptr, nullptr},
    {75, KEY_KPSLASH, nullptr, nullptr},
    {76, KEY_KPENTER, "Ent", nullptr},
    {78, KEY_KPMINUS, nullptr, nullptr},
    {79, KEY_F18, "F18", nullptr},
    {80, KEY_F19, "F19", nullptr},
    {81, KEY_KPEQUAL, nullptr, nullptr},
    {82, KEY_KP0, nullptr, nullptr},
    {83, KEY_KP1, nullptr, nullptr},
    {84, KEY_KP2, nullptr, nullptr},
    {85, KEY_KP3, nullptr, nullptr},
    {86, KEY_KP4, nullptr, nullptr},
    {87, KEY_KP5, nullptr, nullptr},
    {88, KEY_KP6, nullptr, nullptr},
    {89, KEY_KP7, nullptr, nullptr},
    {90, KEY_F20, nullptr, nullptr},
    {91, KEY_KP8, nullptr, nullptr},
    {92, KEY_KP9, nullptr, nullptr},
    {93, KEY_YEN, nullptr, nullptr},
    {94, KEY_RO, nullptr, nullptr},          // JIS underscore
    {95, KEY_KPCOMMA, nullptr, nullptr},     // JIS keypad comma
    {96, KEY_F5, "F5", nullptr},
    {97, KEY_F6, "F6", nullptr},
    {98, KEY_F7, "F7", nullptr},
    {99, KEY_F3, "F3", nullptr},
    {100, KEY_F8, "F8", nullptr},
    {101, KEY_F9, "F9", nullptr},
    {102, KEY_HANJA, nullptr, nullptr},      // JIS Eisu
    {103, KEY_F11, "F11", nullptr},
    {104, KEY_HANGEUL, nullptr, nullptr},    // JIS Kana
    {105, KEY_SYSRQ, "F13", nullptr},        // F13, Print Screen
    {106, KEY_F16, "F16", nullptr},
    {107, KEY_SCROLLLOCK, "F14", nullptr},   // F14, Scroll Lock
    {109, KEY_F10, "F10", nullptr},
    {110, KEY_COMPOSE, nullptr, nullptr},    // contextual menu
    {111, KEY_F12, "F12", nullptr},
    {113, KEY_PAUSE, "F15", nullptr},        // F15, Pause
    {114, KEY_INSERT, nullptr, nullptr},     // Help, Insert
    {115, KEY_HOME, "Home", nullptr},
    {116, KEY_PAGEUP, "PgUp", nullptr},
    {117, KEY_DELETE, "Del", nullptr},       // forward Delete
    {118, KEY_F4, "F4", nullptr},
    {119, KEY_END, "End", nullptr},
    {120, KEY_F2, "F2", nullptr},
    {121, KEY_PAGEDOWN, "PgDn", nullptr},
    {122, KEY_F1, "F1", nullptr},
    {123, KEY_LEFT, "Lft", nullptr},
    {124, KEY_RIGHT, "Rht", nullptr},
    {125, KEY_DOWN, "Dn", nullptr},
    {126, KEY_UP, "Up", nullptr},
};

constexpr std::size_t kMacCodeCount = 128;  // Mac virtual key codes are 7-bit
constexpr uint8_t kNoEntry = 0xFF;
static_assert(std::size(kKeyCodes) < kNoEntry);

// Position of each code's entry in the table, built from the table itself at
// compile time; a code listed twice on either side stops the build.
template <std::size_t Count, typename CodeOf>
constexpr std::array<uint8_t, Count> BuildIndex(CodeOf codeOf)
{
    std::array<uint8_t, Count> index{};
    index.fill(kNoEntry);
    for (std::size_t i = 0; i < std::size(kKeyCodes); ++i) {
        const uint16_t code = codeOf(kKeyCodes[i]);
        if (code >= Count)
            throw std::logic_error("key code out of range");
        if (index[code] != kNoEntry)
            throw std::logic_error("key code listed twice");
        index[code] = static_cast<uint8_t>(i);
    }
    return index;
}

constexpr auto kByMacCode = BuildIndex<kMacCodeCount>([](const AKeyCode& key) { return key.fMacKeyCode; });
constexpr auto kByEvdevCode = BuildIndex<KEY_CNT>([](const AKeyCode& key) { return key.fEvdevCode; });

} // namespace

std::span<const AKeyCode> KeyCodeTable()
{
    return kKeyCodes;
}

const AKeyCode* FindMacKeyCode(uint16_t macKeyCode)
{
    if (macKeyCode >= kByMacCode.size() || kByMacCode[macKeyCode] == kNoEntry)
        return nullptr;
    return &kKeyCodes[kByMacCode[macKeyCode]];
}

const AKeyCode* FindEvdevCode(uint16_t evdevCode)
{
    if (evdevCode >= kByEvdevCode.size() || kByEvdevCode[evdevCode] == kNoEntry)
        return nullptr;
    return &kKeyCodes[kByEvdevCode[evdevCode]];
}

std::optional<uint16_t> MacKeyCodeToEvdev(uint16_t macKeyCode)
{
    if (const AKeyCode* key = FindMacKeyCode(macKeyCode))
        return key->fEvdevCode;
    return std::nullopt;
}

std::optional<uint16_t> EvdevToMacKeyCode(uint16_t evdevCode)
{
    if (const AKeyCode* key = FindEvdevCode(evdevCode))
        return key->fMacKeyCode;
    return std::nullopt;
}
