#pragma once
// AHIDKeyboardAction posts synthetic keyboard input through the agent's
// event-system connection: complete key presses, modifier presses and
// releases, auxiliary control keys (volume up, volume down, mute) and
// system-defined events. One object serves one button action. It records the
// modifier flags it has pressed and, when it goes, tells the system that no
// modifier is held, so an action never leaves a modifier down. It does not
// own the connection; a null connection makes every operation a no-op that
// returns false.

#include "keys/AEventSystemConnection.h"

#include <cstdint>

class AHIDKeyboardAction {
public:
    explicit AHIDKeyboardAction(AEventSystemPort port);
    ~AHIDKeyboardAction();
    AHIDKeyboardAction(const AHIDKeyboardAction&) = delete;
    AHIDKeyboardAction& operator=(const AHIDKeyboardAction&) = delete;

    // One complete key press: key down, then key up; the key up's result.
    bool PostKey(uint8_t keyCode);
    // Presses (up false) or releases (up true) one modifier key and sets the
    // system's modifier flags to exactly those this object holds.
    bool PostVirtualKey(uint8_t keyCode, bool up);
    // Presses one auxiliary control key (NX_KEYTYPE_SOUND_UP, ...).
    bool PostAuxKey(uint8_t auxKeyCode);
    // Posts one system-defined event of that subtype (NX_SUBTYPE_EJECT_KEY).
    bool PostSysDefinedKey(uint8_t subType);
    // Forgets every held modifier and tells the system that none is held.
    void ClearModifiers();

    uint32_t GetModifiers() const { return fModifiers; }

private:
    bool Post(uint32_t eventType, const ANXEventData& data, uint32_t eventFlags, uint32_t options);

    AEventSystemPort fKeyboardPort;
    uint32_t fModifiers;
};
