#pragma once
// ANXEventTranslator turns the NX-style events that the agent posts into the
// evdev events of a virtual keyboard, and keeps that keyboard's state: which
// keys it holds down and which modifier flags are in force.
//
// - Key down and key up press and release the key of the Mac key code
//   (through the key-code table); codes without a key give nothing.
// - A flags change presses and releases the modifier keys that take the
//   modifier flags from their current to the new mask. Caps Lock is a toggle:
//   a change of the alpha-shift flag is one press and release of Caps Lock.
// - A system-defined auxiliary control key (volume up, volume down, mute) in
//   its down state, and the eject event, are a full click of their key,
//   since the poster sends no key up.
// Every key event is followed by a SYN_REPORT, so that each change reaches
// readers on its own. Anything else gives no events. Plain code over plain
// data: the caller writes the events.

#include "keys/AEventSystemConnection.h"
#include "keys/AVirtualKeyboard.h"

#include <cstdint>
#include <vector>

class ANXEventTranslator {
public:
    ANXEventTranslator();

    // Appends the evdev events for one posted event to `events`.
    void Translate(uint32_t eventType, const ANXEventData& data, uint32_t eventFlags,
                   std::vector<AEvdevEvent>& events);
    // Appends the events that undo everything this keyboard still holds:
    // the modifier flags go to none (Caps Lock toggled back if set), then
    // every key still down is released, the latest pressed first.
    void ReleaseAll(std::vector<AEvdevEvent>& events);

    uint32_t GetModifiers() const { return fModifiers; }
    const std::vector<uint16_t>& GetHeldKeys() const { return fHeldKeys; }  // in press order

    // Every evdev key code that translation can emit, sorted: what the
    // virtual keyboard must be able to send.
    static std::vector<uint16_t> EmittedKeyCodes();

private:
    void TranslateSystemDefined(const ANXEventData& data, std::vector<AEvdevEvent>& events);
    void ChangeModifiers(uint32_t modifiers, std::vector<AEvdevEvent>& events);
    void Press(uint16_t evdevCode, std::vector<AEvdevEvent>& events);
    void Release(uint16_t evdevCode, std::vector<AEvdevEvent>& events);
    void Click(uint16_t evdevCode, std::vector<AEvdevEvent>& events);
    bool IsHeld(uint16_t evdevCode) const;

    std::vector<uint16_t> fHeldKeys;
    uint32_t fModifiers = 0;
};
