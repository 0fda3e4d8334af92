#pragma once
// Key names: how a key-code list reads on screen. The function, arrow,
// editing and modifier keys have fixed names from the key-code table
// (keys/AKeyCodes); every other key is named by the character it types in a
// keyboard layout with no modifier held, which AKeyLayout supplies.

#include "pane/AKeyStrokeList.h"

#include <QString>

#include <cstdint>

class AKeyLayout {
public:
    virtual ~AKeyLayout() = default;
    // The character the key with this evdev code types at the first level
    // with no modifier held, as a string of one character; "" when it types
    // none.
    virtual QString GetKeyCharacter(uint16_t evdevCode) const = 0;
};

// The display name of one key in `layout`: its fixed name (for the modifiers
// the opening form when `open` is true, the closing form otherwise), else its
// character, else "" (also for a code that names no key).
QString GetKeyString(uint16_t keyCode, bool open, const AKeyLayout& layout);

// The list as display text, the names joined by single blanks. Each of the
// five toggled modifiers alternates between its opening and closing name as
// it recurs; the right-hand modifiers always show the opening name. "" for
// none or an empty list.
QString FormatKeyStrings(const AKeyCodeList* keyStrokes, const AKeyLayout& layout);
