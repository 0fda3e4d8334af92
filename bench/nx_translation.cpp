// NX-style events to evdev events, per posted event: the translation alone,
// and a whole key-stroke action (keyboard action -> connection -> translation)
// up to the virtual keyboard's write, which is left out here.

#include "agent/AHIDKeyboardAction.h"
#include "platform/input/AEvdevEventSystem.h"
#include "keys/ANXEventTranslator.h"

#include "tests/support/ANXEventBuilders.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

// A keyboard that takes the events and drops them.
class ADiscardingKeyboard : public AVirtualKeyboard {
public:
    bool Emit(std::span<const AEvdevEvent> events) override
    {
        benchmark::DoNotOptimize(events.data());
        return true;
    }
};

void KeyDownThenUp(benchmark::State& state)
{
    ANXEventTranslator translator;
    std::vector<AEvdevEvent> events;
    events.reserve(16);
    const ANXEventData data = KeyData(20);
    for (auto _ : state) {
        events.clear();
        translator.Translate(NX_KEYDOWN, data, 1, events);
        translator.Translate(NX_KEYUP, data, 1, events);
        benchmark::DoNotOptimize(events.data());
    }
    state.SetItemsProcessed(state.iterations() * 2);  // items = posted events
}
BENCHMARK(KeyDownThenUp);

void ModifierPressThenRelease(benchmark::State& state)
{
    ANXEventTranslator translator;
    std::vector<AEvdevEvent> events;
    events.reserve(16);
    const ANXEventData data = KeyData(0);
    for (auto _ : state) {
        events.clear();
        translator.Translate(NX_FLAGSCHANGED, data, NX_SHIFTMASK | NX_COMMANDMASK, events);
        translator.Translate(NX_FLAGSCHANGED, data, 0, events);
        benchmark::DoNotOptimize(events.data());
    }
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(ModifierPressThenRelease);

void AuxKeyClick(benchmark::State& state)
{
    ANXEventTranslator translator;
    std::vector<AEvdevEvent> events;
    events.reserve(16);
    const ANXEventData data = AuxKeyData(NX_KEYTYPE_MUTE, 0x0A);
    for (auto _ : state) {
        events.clear();
        translator.Translate(NX_SYSDEFINED, data, 0, events);
        benchmark::DoNotOptimize(events.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(AuxKeyClick);

void UnknownKeyCode(benchmark::State& state)
{
    ANXEventTranslator translator;
    std::vector<AEvdevEvent> events;
    const ANXEventData data = KeyData(52);
    for (auto _ : state) {
        events.clear();
        translator.Translate(NX_KEYDOWN, data, 1, events);
        benchmark::DoNotOptimize(events.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(UnknownKeyCode);

// Shift, Command, 3, Command up, Shift up, and the clearing at the end: seven
// posted events through the connection.
void ShiftCommand3Action(benchmark::State& state)
{
    AEvdevEventSystem connection(std::make_unique<ADiscardingKeyboard>());
    for (auto _ : state) {
        AHIDKeyboardAction keyboard(&connection);
        keyboard.PostVirtualKey(56, false);
        keyboard.PostVirtualKey(55, false);
        keyboard.PostKey(20);
        keyboard.PostVirtualKey(55, true);
        keyboard.PostVirtualKey(56, true);
    }
    state.SetItemsProcessed(state.iterations() * 7);  // 4 flags changes, key down, key up, clearing
}
BENCHMARK(ShiftCommand3Action);

} // namespace
