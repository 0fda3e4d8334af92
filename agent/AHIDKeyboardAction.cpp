#include "agent/AHIDKeyboardAction.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

struct AModifierFlag {
    uint8_t fKeyCode;
    uint32_t fFlag;
};

// The left-hand modifier keys and their event flags. The right-hand codes
// (54, 60 to 62) are not modifiers here: they change no flag.
constexpr AModifierFlag kModifierFlags[] = {
    {57, NX_ALPHASHIFTMASK},  // Caps Lock
    {56, NX_SHIFTMASK},       // Shift
    {59, NX_CONTROLMASK},     // Control
    {58, NX_ALTERNATEMASK},   // Option
    {55, NX_COMMANDMASK},     // Command
};

// Event flags of a key event: no modifier bits of its own, the system's
// global modifier state applies.
constexpr uint32_t kKeyEventFlags = 0x00000001;

constexpr uint32_t kAuxKeyStateDown = NX_KEYDOWN;

uint32_t ModifierFlag(uint8_t keyCode)
{
    const auto* entry = std::find_if(std::begin(kModifierFlags), std::end(kModifierFlags),
                                     [&](const AModifierFlag& modifier) { return modifier.fKeyCode == keyCode; });
    return entry == std::end(kModifierFlags) ? 0 : entry->fFlag;
}

ANXEventData ZeroedEventData()
{
    ANXEventData data;
    std::memset(&data, 0, sizeof data);
    return data;
}

} // namespace

AHIDKeyboardAction::AHIDKeyboardAction(AEventSystemPort port) : fKeyboardPort(port), fModifiers(0)
{
}

AHIDKeyboardAction::~AHIDKeyboardAction()
{
    ClearModifiers();
}

bool AHIDKeyboardAction::PostKey(uint8_t keyCode)
{
    if (!fKeyboardPort)
        return false;
    ANXEventData down = ZeroedEventData();
    down.key.keyCode = keyCode;
    // The key down's result is not reported: the key up's result stands for both.
    Post(NX_KEYDOWN, down, kKeyEventFlags, 0);
    ANXEventData up = ZeroedEventData();
    up.key.keyCode = keyCode;
    return Post(NX_KEYUP, up, kKeyEventFlags, 0);
}

bool AHIDKeyboardAction::PostVirtualKey(uint8_t keyCode, bool up)
{
    if (!fKeyboardPort)
        return false;
    const uint32_t flag = ModifierFlag(keyCode);
    fModifiers = up ? (fModifiers & ~flag) : (fModifiers | flag);
    return Post(NX_FLAGSCHANGED, ZeroedEventData(), fModifiers, kIOHIDSetGlobalEventFlags);
}

bool AHIDKeyboardAction::PostAuxKey(uint8_t auxKeyCode)
{
    if (!fKeyboardPort)
        return false;
    ANXEventData data = ZeroedEventData();
    data.compound.subType = NX_SUBTYPE_AUX_CONTROL_BUTTONS;
    // Bits 16-23 the key, bits 8-15 the key state, bits 0-7 the repeat flag.
    data.compound.misc.L[0] = static_cast<int32_t>((uint32_t{auxKeyCode} << 16) | (kAuxKeyStateDown << 8));
    return Post(NX_SYSDEFINED, data, 0, 0);
}

bool AHIDKeyboardAction::PostSysDefinedKey(uint8_t subType)
{
    if (!fKeyboardPort)
        return false;
    ANXEventData data = ZeroedEventData();
    data.compound.subType = subType;
    return Post(NX_SYSDEFINED, data, 0, 0);
}

void AHIDKeyboardAction::ClearModifiers()
{
    if (!fKeyboardPort)
        return;
    fModifiers = 0;
    // Clearing reports no result: it runs at destruction, where no one could act on it.
    Post(NX_FLAGSCHANGED, ZeroedEventData(), 0, kIOHIDSetGlobalEventFlags);
}

bool AHIDKeyboardAction::Post(uint32_t eventType, const ANXEventData& data, uint32_t eventFlags, uint32_t options)
{
    return fKeyboardPort->PostEvent(eventType, data, kNXEventDataVersion, eventFlags, options);
}
