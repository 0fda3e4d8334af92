#include "agent/AButtonActions.h"

#include "keys/AEventSystemConnection.h"

#include <array>
#include <iterator>

namespace {

// Design key codes: 0 A, 20 3, 35 P, 55 Command, 56 Shift, 58 Option,
// 101 F9, 103 F11, 109 F10, 111 F12.
constexpr AKeyStep kEject[] = {{AKeyStepKind::kSysDefinedKey, NX_SUBTYPE_EJECT_KEY}};
constexpr AKeyStep kCommandShift3[] = {{AKeyStepKind::kModifierDown, 56},
                                       {AKeyStepKind::kModifierDown, 55},
                                       {AKeyStepKind::kKey, 20},
                                       {AKeyStepKind::kModifierUp, 55},
                                       {AKeyStepKind::kModifierUp, 56}};
constexpr AKeyStep kCommandA[] = {{AKeyStepKind::kModifierDown, 55},
                                  {AKeyStepKind::kKey, 0},
                                  {AKeyStepKind::kModifierUp, 55}};
constexpr AKeyStep kVolumeUp[] = {{AKeyStepKind::kAuxKey, NX_KEYTYPE_SOUND_UP}};
constexpr AKeyStep kVolumeDown[] = {{AKeyStepKind::kAuxKey, NX_KEYTYPE_SOUND_DOWN}};
constexpr AKeyStep kMute[] = {{AKeyStepKind::kAuxKey, NX_KEYTYPE_MUTE}};
constexpr AKeyStep kF9[] = {{AKeyStepKind::kKey, 101}};
constexpr AKeyStep kF10[] = {{AKeyStepKind::kKey, 109}};
constexpr AKeyStep kF11[] = {{AKeyStepKind::kKey, 103}};
constexpr AKeyStep kF12[] = {{AKeyStepKind::kKey, 111}};
constexpr AKeyStep kOptionCommandP[] = {{AKeyStepKind::kModifierDown, 58},
                                        {AKeyStepKind::kModifierDown, 55},
                                        {AKeyStepKind::kKey, 35},
                                        {AKeyStepKind::kModifierUp, 55},
                                        {AKeyStepKind::kModifierUp, 58}};

const AButtonAction kDefaultActions[] = {
    {{}, "SafariBack.scpt"},     // button 4
    {{}, "SafariForward.scpt"},  // button 5
};

// Indexed by function number. 10 is forward and 11 back, the opposite order
// of the default pair.
const AButtonAction kPredefinedFunctions[] = {
    {kEject, nullptr},
    {kCommandShift3, nullptr},
    {kCommandA, nullptr},
    {kVolumeUp, nullptr},
    {kVolumeDown, nullptr},
    {kMute, nullptr},
    {kF9, nullptr},
    {kF10, nullptr},
    {kF11, nullptr},
    {kF12, nullptr},
    {{}, "FirefoxForward.scpt"},
    {{}, "FirefoxBack.scpt"},
    {{}, "iTunesPlayPause.scpt"},
    {{}, "iTunesStop.scpt"},
};

// Indexed by presentation type.
const AButtonAction kPresentationActions[] = {
    {kOptionCommandP, nullptr},
    {{}, "PowerPointStart.scpt"},
};

} // namespace

const AButtonAction* FindDefaultAction(int32_t buttonId)
{
    if (buttonId == 4 || buttonId == 5)
        return &kDefaultActions[buttonId - 4];
    return nullptr;
}

const AButtonAction* FindPredefinedFunction(uint16_t number)
{
    return number < std::size(kPredefinedFunctions) ? &kPredefinedFunctions[number] : nullptr;
}

const AButtonAction* FindPresentationAction(int32_t presentationType)
{
    if (presentationType < 0 || static_cast<size_t>(presentationType) >= std::size(kPresentationActions))
        return nullptr;
    return &kPresentationActions[presentationType];
}
