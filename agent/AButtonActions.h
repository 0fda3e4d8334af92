#pragma once
// The fixed actions a button can have, as tables: the default action of
// buttons 4 and 5 (browser back and forward), the fourteen predefined
// functions, and the presentation key's action by presentation type. A row
// either plays key steps or runs one of the agent's scripts, found by file
// name in the agent's resource folder.

#include "agent/AKeySteps.h"

#include <cstdint>
#include <span>

struct AButtonAction {
    std::span<const AKeyStep> fKeySteps;  // played when the row has no script
    const char* fScript = nullptr;        // a script's file name, or null
};

// The default action of a button id: a script row for 4 and 5, null otherwise.
const AButtonAction* FindDefaultAction(int32_t buttonId);
// Predefined functions 0 to 13; null for any other number.
const AButtonAction* FindPredefinedFunction(uint16_t number);
// Presentation type 0 (the key combination) and 1 (the slide-show script);
// null for any other type.
const AButtonAction* FindPresentationAction(int32_t presentationType);
