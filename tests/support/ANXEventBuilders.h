#pragma once
// NX event data as the agent posts it, zero-filled but for one kind's fields,
// for tests and benchmarks that feed the translation or a connection.

#include "keys/AEventSystemConnection.h"

// A keyboard event's data (NX_KEYDOWN, NX_KEYUP, NX_FLAGSCHANGED).
inline ANXEventData KeyData(uint16_t keyCode)
{
    ANXEventData data{};
    data.key.keyCode = keyCode;
    return data;
}

// A system-defined event's data (NX_SYSDEFINED) with its payload's first word.
inline ANXEventData SystemDefinedData(int16_t subType, uint32_t firstWord)
{
    ANXEventData data{};
    data.compound.subType = subType;
    data.compound.misc.L[0] = static_cast<int32_t>(firstWord);
    return data;
}

// An auxiliary control button: the key in bits 16-23, its state (0x0A down,
// 0x0B up) in bits 8-15.
inline ANXEventData AuxKeyData(uint8_t auxKeyCode, uint8_t keyState)
{
    return SystemDefinedData(NX_SUBTYPE_AUX_CONTROL_BUTTONS, (uint32_t{auxKeyCode} << 16) | (keyState << 8));
}
