#include "agent/AKeySteps.h"

#include "agent/AHIDKeyboardAction.h"
#include "prefs/ALeadingInteger.h"

#include <array>

namespace {

// The toggling modifiers; each action starts with all of them up.
constexpr std::array<uint16_t, 5> kToggleModifiers = {57, 56, 59, 58, 55};

} // namespace

std::vector<uint16_t> ReadKeyStrokeList(std::string_view text)
{
    std::vector<uint16_t> codes;
    if (text.empty())
        return codes;
    size_t start = 0;
    while (true) {
        const size_t bar = text.find('|', start);
        const std::string_view piece = text.substr(start, bar == std::string_view::npos ? text.npos : bar - start);
        codes.push_back(static_cast<uint16_t>(ReadLeadingInteger(piece)));
        if (bar == std::string_view::npos)
            break;
        start = bar + 1;
    }
    return codes;
}

void PlayKeyStrokes(AEventSystemPort port, const std::vector<uint16_t>& codes)
{
    if (codes.empty())
        return;
    AHIDKeyboardAction keyboard(port);
    std::array<bool, kToggleModifiers.size()> down{};
    for (const uint16_t code : codes) {
        size_t modifier = 0;
        while (modifier < kToggleModifiers.size() && kToggleModifiers[modifier] != code)
            ++modifier;
        if (modifier < kToggleModifiers.size()) {
            keyboard.PostVirtualKey(static_cast<uint8_t>(code), down[modifier]);
            down[modifier] = !down[modifier];
        } else {
            keyboard.PostKey(static_cast<uint8_t>(code & 0xFF));
        }
    }
    // Modifiers left down are released when the keyboard action ends.
}

void PlayKeyStrokeList(AEventSystemPort port, std::string_view text)
{
    PlayKeyStrokes(port, ReadKeyStrokeList(text));
}

void PlayKeySteps(AEventSystemPort port, std::span<const AKeyStep> steps)
{
    AHIDKeyboardAction keyboard(port);
    for (const AKeyStep& step : steps) {
        switch (step.fKind) {
        case AKeyStepKind::kKey:
            keyboard.PostKey(step.fCode);
            break;
        case AKeyStepKind::kModifierDown:
            keyboard.PostVirtualKey(step.fCode, false);
            break;
        case AKeyStepKind::kModifierUp:
            keyboard.PostVirtualKey(step.fCode, true);
            break;
        case AKeyStepKind::kAuxKey:
            keyboard.PostAuxKey(step.fCode);
            break;
        case AKeyStepKind::kSysDefinedKey:
            keyboard.PostSysDefinedKey(step.fCode);
            break;
        }
    }
}
