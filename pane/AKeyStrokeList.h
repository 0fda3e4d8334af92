#pragma once
// AKeyStrokeList is the key-stroke window's list editing, as plain code: an
// ordered list of stored key codes (keys/AKeyCodes) in which each modifier
// that is switched on occurs twice, its first entry where the key goes down
// and its second where it goes up. A list built here always reads: opening
// modifiers, the other keys in the order typed, the closing modifiers in
// mirror order, the modifier switched on last outermost. The count of
// modifiers switched on is kept beside the list, so that a new key goes in
// just before the closing modifiers.

#include <cstdint>
#include <vector>

using AKeyCodeList = std::vector<uint16_t>;

// The Delete key, which erases backwards instead of being recorded.
inline constexpr uint16_t kDeleteKeyCode = 51;

// The five modifiers the toggles add in pairs: Command (55), Shift (56), Caps
// Lock (57), Option (58) and Control (59).
inline constexpr uint16_t kFirstToggledModifier = 55;
inline constexpr uint16_t kLastToggledModifier = 59;
constexpr bool IsToggledModifier(uint16_t keyCode)
{
    return keyCode >= kFirstToggledModifier && keyCode <= kLastToggledModifier;
}

class AKeyStrokeList {
public:
    const AKeyCodeList& GetKeyStrokes() const { return fKeyStrokes; }
    int32_t GetNumberOfVirtualKeys() const { return fNumberOfVirtualKeys; }

    // Replaces the list (none: empty) and counts the modifiers it holds, each
    // once however often it occurs, so a hand-made list that holds a modifier
    // once counts it as switched on.
    void SetKeyStrokes(const AKeyCodeList* keyStrokes);
    bool VirtualKeyExists(uint16_t keyCode) const;

    // Adds a modifier pair around everything in the list, or removes both of
    // its entries wherever they are.
    void ToggleVirtualKey(uint16_t keyCode, bool add);

    // A key released: Delete removes the outermost modifier pair, or the last
    // key once no modifier is left; any other key goes in just before the
    // closing modifiers.
    void KeyUp(uint16_t keyCode);

private:
    void RemoveAll(uint16_t keyCode);

    AKeyCodeList fKeyStrokes;
    int32_t fNumberOfVirtualKeys = 0;
};
