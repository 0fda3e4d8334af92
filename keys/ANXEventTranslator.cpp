#include "keys/ANXEventTranslator.h"

#include "keys/AKeyCodes.h"

#include <linux/input-event-codes.h>

#include <algorithm>
#include <iterator>

namespace {

// The modifier flags and their keys, in the order they are pressed; releases
// go the other way. The flags follow the left-hand keys.
struct AModifierKey {
    uint32_t fMask;
    uint16_t fMacKeyCode;
};

constexpr AModifierKey kModifierKeys[] = {
    {NX_ALPHASHIFTMASK, 57},  // Caps Lock: toggled, not held
    {NX_SHIFTMASK, 56},
    {NX_CONTROLMASK, 59},
    {NX_ALTERNATEMASK, 58},
    {NX_COMMANDMASK, 55},
};

constexpr uint32_t kAllModifierMasks =
    NX_ALPHASHIFTMASK | NX_SHIFTMASK | NX_CONTROLMASK | NX_ALTERNATEMASK | NX_COMMANDMASK;

struct AAuxKey {
    uint8_t fAuxKeyCode;
    uint16_t fEvdevCode;
};

constexpr AAuxKey kAuxKeys[] = {
    {NX_KEYTYPE_SOUND_UP, KEY_VOLUMEUP},
    {NX_KEYTYPE_SOUND_DOWN, KEY_VOLUMEDOWN},
    {NX_KEYTYPE_MUTE, KEY_MUTE},
};

constexpr uint16_t kEjectKey = KEY_EJECTCD;

// The key state of an auxiliary control key's data word (bits 8 to 15).
constexpr uint32_t kAuxKeyStateDown = NX_KEYDOWN;

} // namespace

ANXEventTranslator::ANXEventTranslator()
{
    fHeldKeys.reserve(16);
}

void ANXEventTranslator::Translate(uint32_t eventType, const ANXEventData& data, uint32_t eventFlags,
                                   std::vector<AEvdevEvent>& events)
{
    switch (eventType) {
    case NX_KEYDOWN:
        if (auto key = MacKeyCodeToEvdev(data.key.keyCode))
            Press(*key, events);
        break;
    case NX_KEYUP:
        if (auto key = MacKeyCodeToEvdev(data.key.keyCode))
            Release(*key, events);
        break;
    case NX_FLAGSCHANGED:
        ChangeModifiers(eventFlags, events);
        break;
    case NX_SYSDEFINED:
        TranslateSystemDefined(data, events);
        break;
    default:
        break;
    }
}

void ANXEventTranslator::ReleaseAll(std::vector<AEvdevEvent>& events)
{
    ChangeModifiers(0, events);
    while (!fHeldKeys.empty())
        Release(fHeldKeys.back(), events);
}

std::vector<uint16_t> ANXEventTranslator::EmittedKeyCodes()
{
    std::vector<uint16_t> codes;
    for (const AKeyCode& key : KeyCodeTable())
        codes.push_back(key.fEvdevCode);
    for (const AAuxKey& key : kAuxKeys)
        codes.push_back(key.fEvdevCode);
    codes.push_back(kEjectKey);
    std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
    return codes;
}

void ANXEventTranslator::TranslateSystemDefined(const ANXEventData& data, std::vector<AEvdevEvent>& events)
{
    switch (data.compound.subType) {
    case NX_SUBTYPE_AUX_CONTROL_BUTTONS: {
        const auto word = static_cast<uint32_t>(data.compound.misc.L[0]);
        const auto auxKeyCode = static_cast<uint8_t>(word >> 16);
        const uint32_t keyState = (word >> 8) & 0xFF;
        if (keyState != kAuxKeyStateDown)
            break;
        const auto* aux = std::find_if(std::begin(kAuxKeys), std::end(kAuxKeys),
                                       [&](const AAuxKey& key) { return key.fAuxKeyCode == auxKeyCode; });
        if (aux != std::end(kAuxKeys))
            Click(aux->fEvdevCode, events);
        break;
    }
    case NX_SUBTYPE_EJECT_KEY:
        Click(kEjectKey, events);
        break;
    default:
        break;
    }
}

void ANXEventTranslator::ChangeModifiers(uint32_t modifiers, std::vector<AEvdevEvent>& events)
{
    modifiers &= kAllModifierMasks;
    const uint32_t released = fModifiers & ~modifiers;
    const uint32_t pressed = modifiers & ~fModifiers;
    fModifiers = modifiers;
    for (auto it = std::rbegin(kModifierKeys); it != std::rend(kModifierKeys); ++it) {
        if (!(released & it->fMask))
            continue;
        const uint16_t key = *MacKeyCodeToEvdev(it->fMacKeyCode);
        if (it->fMask == NX_ALPHASHIFTMASK)
            Click(key, events);
        else
            Release(key, events);
    }
    for (const AModifierKey& modifier : kModifierKeys) {
        if (!(pressed & modifier.fMask))
            continue;
        const uint16_t key = *MacKeyCodeToEvdev(modifier.fMacKeyCode);
        if (modifier.fMask == NX_ALPHASHIFTMASK)
            Click(key, events);
        else
            Press(key, events);
    }
}

// The input core drops a press of a key already down and a release of a key
// that is up; skipping them here keeps the held set equal to the kernel's.
void ANXEventTranslator::Press(uint16_t evdevCode, std::vector<AEvdevEvent>& events)
{
    if (IsHeld(evdevCode))
        return;
    fHeldKeys.push_back(evdevCode);
    events.push_back({EV_KEY, evdevCode, 1});
    events.push_back({EV_SYN, SYN_REPORT, 0});
}

void ANXEventTranslator::Release(uint16_t evdevCode, std::vector<AEvdevEvent>& events)
{
    auto held = std::find(fHeldKeys.begin(), fHeldKeys.end(), evdevCode);
    if (held == fHeldKeys.end())
        return;
    fHeldKeys.erase(held);
    events.push_back({EV_KEY, evdevCode, 0});
    events.push_back({EV_SYN, SYN_REPORT, 0});
}

void ANXEventTranslator::Click(uint16_t evdevCode, std::vector<AEvdevEvent>& events)
{
    Press(evdevCode, events);
    Release(evdevCode, events);
}

bool ANXEventTranslator::IsHeld(uint16_t evdevCode) const
{
    return std::find(fHeldKeys.begin(), fHeldKeys.end(), evdevCode) != fHeldKeys.end();
}
