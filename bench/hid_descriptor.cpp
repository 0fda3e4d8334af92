// The HID report descriptor parser on real devices' descriptors, and the
// decoding of one input report as the agent's HID queue does it for each
// report a device sends.

#include "hid/AHIDReportDecoder.h"
#include "hid/AHIDReportDescriptor.h"
#include "tests/support/ATestPaths.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Fixture(const std::string& file)
{
    return ReadHexFixture(FixturePath("hid/" + file));
}

AHIDElementList Elements(const std::string& file)
{
    AHIDParseResult result = ParseReportDescriptor(Fixture(file));
    if (!result.fOK)
        std::abort();
    return result.fElements;
}

// The six elements the agent watches: buttons 4 and 5, keys [ ] B P.
AHIDReportDecoder WatchedDecoder(const std::string& file)
{
    AHIDElementList elements = Elements(file);
    AHIDReportDecoder decoder(elements);
    for (const AHIDElement& element : elements) {
        bool button = element.fUsagePage == 9 && (element.fUsage == 4 || element.fUsage == 5);
        bool key = element.fUsagePage == 7 &&
                   (element.fUsage == 0x2F || element.fUsage == 0x30 || element.fUsage == 0x05 || element.fUsage == 0x13);
        if (button || key)
            decoder.Watch(element.fCookie);
    }
    return decoder;
}

void BM_ParseDescriptor(benchmark::State& state, const char* file)
{
    std::vector<uint8_t> descriptor = Fixture(file);
    for (auto _ : state) {
        AHIDParseResult result = ParseReportDescriptor(descriptor);
        benchmark::DoNotOptimize(result);
    }
    state.SetLabel(std::to_string(descriptor.size()) + " bytes, " +
                   std::to_string(ParseReportDescriptor(descriptor).fElements.size()) + " elements");
}
BENCHMARK_CAPTURE(BM_ParseDescriptor, MicrosoftTransceiverMouse, "microsoft-transceiver-mouse.hex");
BENCHMARK_CAPTURE(BM_ParseDescriptor, ITEKeyboard, "ite-keyboard.hex");
BENCHMARK_CAPTURE(BM_ParseDescriptor, Composite, "nuvexa-composite.hex");

// Two reports of the composite device decoded in turn.
void DecodeAlternately(benchmark::State& state, const std::vector<uint8_t> (&reports)[2])
{
    AHIDReportDecoder decoder = WatchedDecoder("nuvexa-composite.hex");
    std::vector<AHIDValueChange> changes;
    changes.reserve(8);
    size_t turn = 0;
    for (auto _ : state) {
        changes.clear();
        decoder.Decode(reports[turn ^= 1], changes);
        benchmark::DoNotOptimize(changes.data());
    }
}

// A button press and its release, alternately: every report gives a change.
void BM_DecodeButtonReport(benchmark::State& state)
{
    const std::vector<uint8_t> reports[2] = {{0x02, 0x10, 0x01, 0x00, 0x00, 0x00}, {0x02, 0x00, 0x02, 0x00, 0x00, 0x00}};
    DecodeAlternately(state, reports);
}
BENCHMARK(BM_DecodeButtonReport);

// A key report with four watched keys in a six-slot array, pressed and released.
void BM_DecodeKeyReport(benchmark::State& state)
{
    const std::vector<uint8_t> reports[2] = {{0x08, 0x00, 0x00, 0x2F, 0x13, 0x00, 0x00, 0x00, 0x00},
                                             {0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}};
    DecodeAlternately(state, reports);
}
BENCHMARK(BM_DecodeKeyReport);

}  // namespace
