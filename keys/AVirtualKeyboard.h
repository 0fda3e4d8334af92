#pragma once
// The virtual keyboard: where the agent's synthetic key events end up as
// evdev events. The Linux implementation is a uinput device
// (AUinputKeyboard); tests put a recorder in its place.

#include <cstdint>
#include <span>

// One evdev event: type (EV_KEY, EV_SYN), code (KEY_*, SYN_REPORT) and value
// (1 press, 0 release).
struct AEvdevEvent {
    uint16_t fType;
    uint16_t fCode;
    int32_t fValue;

    bool operator==(const AEvdevEvent&) const = default;
};

class AVirtualKeyboard {
public:
    virtual ~AVirtualKeyboard() = default;
    // Writes the events in order; true when every one was written.
    virtual bool Emit(std::span<const AEvdevEvent> events) = 0;
};
