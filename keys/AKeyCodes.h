#pragma once
// The key-code table: every key of a standard keyboard as a Mac OS X virtual
// key code (the codes a key-stroke list stores in "mapping.xml") beside its
// Linux evdev code (KEY_* of <linux/input-event-codes.h>). The agent replays
// stored codes through it; the settings app captures keys (evdev code = XKB
// keycode - 8) and names them through it. Both directions are one-to-one.
// Mac code 0 is the A key, so absence is an empty optional, never 0. Keys that
// exist only on the evdev side have no entry and are not recorded.

#include <cstdint>
#include <optional>
#include <span>

struct AKeyCode {
    uint16_t fMacKeyCode;
    uint16_t fEvdevCode;
    // The key's fixed display name; null where the key is named by the
    // character it types in the user's layout. For the modifier keys this is
    // the name that opens a pair ("<Shift>")...
    const char* fName;
    // ...and this the name that closes it ("</Shift>"); null for other keys.
    const char* fClosingName;
};

// The whole table, in Mac code order.
std::span<const AKeyCode> KeyCodeTable();

// The entry of a Mac key code; null when the code names no key we know.
const AKeyCode* FindMacKeyCode(uint16_t macKeyCode);
// The entry of an evdev key code; null when the key has no Mac code.
const AKeyCode* FindEvdevCode(uint16_t evdevCode);

std::optional<uint16_t> MacKeyCodeToEvdev(uint16_t macKeyCode);
std::optional<uint16_t> EvdevToMacKeyCode(uint16_t evdevCode);
