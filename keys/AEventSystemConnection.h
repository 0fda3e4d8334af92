#pragma once
// The event-system connection: what the agent posts synthetic keyboard input
// through. It takes what the classic NX event system takes (an event type,
// the NX event data, event flags and options); the Linux implementation
// translates each posted event into evdev events on a uinput keyboard.
// A null connection stands for "no connection": nothing is posted.

#include <cstdint>

// Event types.
inline constexpr uint32_t NX_KEYDOWN = 10;
inline constexpr uint32_t NX_KEYUP = 11;
inline constexpr uint32_t NX_FLAGSCHANGED = 12;
inline constexpr uint32_t NX_SYSDEFINED = 14;

// Modifier flag masks.
inline constexpr uint32_t NX_ALPHASHIFTMASK = 0x00010000;
inline constexpr uint32_t NX_SHIFTMASK = 0x00020000;
inline constexpr uint32_t NX_CONTROLMASK = 0x00040000;
inline constexpr uint32_t NX_ALTERNATEMASK = 0x00080000;
inline constexpr uint32_t NX_COMMANDMASK = 0x00100000;

// System-defined subtypes and auxiliary control keys.
inline constexpr int16_t NX_SUBTYPE_AUX_CONTROL_BUTTONS = 8;
inline constexpr int16_t NX_SUBTYPE_EJECT_KEY = 10;
inline constexpr uint8_t NX_KEYTYPE_SOUND_UP = 0;
inline constexpr uint8_t NX_KEYTYPE_SOUND_DOWN = 1;
inline constexpr uint8_t NX_KEYTYPE_MUTE = 7;

// Options and the event data version.
inline constexpr uint32_t kIOHIDSetGlobalEventFlags = 0x00000001;
inline constexpr uint32_t kNXEventDataVersion = 2;

// The NX event data: keyboard events use `key`, system-defined events use
// `compound`. Always zero-filled in full before fields are set.
union ANXEventData {
    struct {
        uint16_t origCharSet;
        int16_t repeat;
        uint16_t charSet;
        uint16_t charCode;
        uint16_t keyCode;
        uint16_t origCharCode;
        int32_t reserved1;
        uint32_t keyboardType;
        int32_t reserved2;
        int32_t reserved3;
        int32_t reserved4;
        int32_t reserved5[4];
    } key;
    struct {
        int16_t reserved;
        int16_t subType;
        union {
            float F[11];
            int32_t L[11];
            int16_t S[22];
            char C[44];
        } misc;
    } compound;
};

class AEventSystemConnection {
public:
    virtual ~AEventSystemConnection() = default;
    // Posts one event at location (0, 0); true on success.
    virtual bool PostEvent(uint32_t eventType, const ANXEventData& data, uint32_t dataVersion,
                           uint32_t eventFlags, uint32_t options) = 0;
};

// The connection handle as the agent passes it around: null means none.
using AEventSystemPort = AEventSystemConnection*;
