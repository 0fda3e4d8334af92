#pragma once
// Key actions as data: a key-code list in its stored form ("56|55|20|55|56")
// read into codes, and a fixed sequence of key steps (a predefined function,
// the presentation key) - both played through one keyboard action on the
// agent's event-system connection, which clears any modifier still held when
// the action ends.

#include "keys/AEventSystemConnection.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

enum class AKeyStepKind : uint8_t {
    kKey,            // one complete key press (down, up)
    kModifierDown,
    kModifierUp,
    kAuxKey,         // an auxiliary control key (volume, mute)
    kSysDefinedKey,  // a system-defined event of this subtype
};

struct AKeyStep {
    AKeyStepKind fKind;
    uint8_t fCode;
};

// Splits at every "|" and reads each piece as a leading decimal integer (an
// empty or non-numeric piece is 0), keeping its low 16 bits. The empty text
// is the empty list.
std::vector<uint16_t> ReadKeyStrokeList(std::string_view text);

// Plays a key-code list: the modifier codes (Caps Lock 57, Shift 56,
// Control 59, Option 58, Command 55) toggle - first occurrence down, next up;
// every other code is one key press of its low 8 bits. An empty list posts
// nothing at all.
void PlayKeyStrokes(AEventSystemPort port, const std::vector<uint16_t>& codes);
void PlayKeyStrokeList(AEventSystemPort port, std::string_view text);

// Plays fixed key steps through one keyboard action.
void PlayKeySteps(AEventSystemPort port, std::span<const AKeyStep> steps);
