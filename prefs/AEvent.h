#pragma once
// AEvent is the mapping of one button: its identifier, the kind of action
// (an ELaunchType) and the action's argument. The kind and the argument only
// ever change together, through SetLaunchType; the argument is never absent,
// it is the empty string when none was given.

#include "prefs/ATypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class AEvent {
public:
    int32_t GetButtonId() const { return fId; }
    void SetButtonId(int32_t buttonId) { fId = buttonId; }

    ELaunchType GetLaunchType() const { return fLaunchType; }
    const std::string& GetLaunchArg() const { return fLaunchArg; }

    // An absent argument (std::nullopt) is stored as "".
    void SetLaunchType(ELaunchType launchType, std::optional<std::string_view> launchArg);

private:
    int32_t fId = 0;
    ELaunchType fLaunchType = kLaunchDefault;
    std::string fLaunchArg;
};
