#include "pane/AKeyStrokeList.h"

#include <algorithm>
#include <array>

namespace {

// The order in which SetKeyStrokes counts the modifiers.
constexpr std::array<uint16_t, 5> kToggledModifiers = {57, 56, 59, 58, 55};

} // namespace

void AKeyStrokeList::SetKeyStrokes(const AKeyCodeList* keyStrokes)
{
    fKeyStrokes = keyStrokes ? *keyStrokes : AKeyCodeList{};
    fNumberOfVirtualKeys = 0;
    for (uint16_t modifier : kToggledModifiers) {
        if (VirtualKeyExists(modifier))
            ++fNumberOfVirtualKeys;
    }
}

bool AKeyStrokeList::VirtualKeyExists(uint16_t keyCode) const
{
    return std::ranges::find(fKeyStrokes, keyCode) != fKeyStrokes.end();
}

void AKeyStrokeList::ToggleVirtualKey(uint16_t keyCode, bool add)
{
    // Adding a modifier that is already on, or removing one that is off,
    // would leave the count out of step with the pairs in the list, and a
    // later key would then land among the keys instead of before the closing
    // modifiers; such a toggle changes nothing.
    if (add == VirtualKeyExists(keyCode))
        return;
    if (add) {
        ++fNumberOfVirtualKeys;
        fKeyStrokes.insert(fKeyStrokes.begin(), keyCode);
        fKeyStrokes.push_back(keyCode);
    } else {
        --fNumberOfVirtualKeys;
        RemoveAll(keyCode);
    }
}

void AKeyStrokeList::KeyUp(uint16_t keyCode)
{
    if (keyCode == kDeleteKeyCode) {
        if (fKeyStrokes.empty())
            return;
        const uint16_t last = fKeyStrokes.back();
        if (IsToggledModifier(last)) {
            --fNumberOfVirtualKeys;
            RemoveAll(last);
        } else {
            fKeyStrokes.pop_back();
        }
        return;
    }
    // The count never exceeds the list's length for lists built here; the
    // clamp keeps a hand-made list from placing a key outside the list.
    const auto size = static_cast<int32_t>(fKeyStrokes.size());
    const int32_t position = std::clamp(size - fNumberOfVirtualKeys, 0, size);
    fKeyStrokes.insert(fKeyStrokes.begin() + position, keyCode);
}

void AKeyStrokeList::RemoveAll(uint16_t keyCode)
{
    std::erase(fKeyStrokes, keyCode);
}
