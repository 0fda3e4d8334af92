// Fuzzes the HID report-descriptor parser and the report decoder together.
// Input: a 2-byte little-endian descriptor length, the descriptor, then input
// reports, each a length byte followed by that many bytes (the last one may
// be cut short). Every element a descriptor gives must be watchable, and
// decoding must only ever report watched elements with sane values.
// tools/make-hid-fuzz-corpus.py writes the seed corpus from the fixtures.

#include "hid/AHIDReportDecoder.h"
#include "hid/AHIDReportDescriptor.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

void CheckElements(const AHIDParseResult& result)
{
    if (!result.fOK) {
        Check(!result.fError.empty() && result.fElements.empty());
        return;
    }
    for (size_t index = 0; index < result.fElements.size(); ++index) {
        const AHIDElement& element = result.fElements[index];
        Check(element.fCookie == index + 1);
        Check(element.fBitSize >= 1 && element.fBitSize <= 32);
        Check(element.fLogicalMin <= element.fLogicalMax);
        if (element.fIsArray) {
            Check(element.fReportCount >= 1 && element.fUsage != 0);
            Check(element.fArrayIndex >= element.fLogicalMin && element.fArrayIndex <= element.fLogicalMax);
        } else {
            Check(element.fReportCount == 1);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    std::span<const uint8_t> input(data, size);
    size_t descriptorSize = std::min<size_t>(input[0] | input[1] << 8, size - 2);
    AHIDParseResult result = ParseReportDescriptor(input.subspan(2, descriptorSize));
    CheckElements(result);
    if (!result.fOK)
        return 0;

    AHIDReportDecoder decoder(result.fElements);
    for (const AHIDElement& element : result.fElements)
        Check(decoder.Watch(element.fCookie));
    const AHIDElementList& elements = decoder.GetElements();

    std::span<const uint8_t> reports = input.subspan(2 + descriptorSize);
    std::vector<AHIDValueChange> changes;
    while (!reports.empty()) {
        size_t reportSize = std::min<size_t>(reports[0], reports.size() - 1);
        changes.clear();
        decoder.Decode(reports.subspan(1, reportSize), changes);
        uint32_t lastCookie = 0;
        for (const AHIDValueChange& change : changes) {
            Check(change.fCookie > lastCookie && change.fCookie <= elements.size());
            lastCookie = change.fCookie;
            if (elements[change.fCookie - 1].fIsArray)
                Check(change.fValue == 0 || change.fValue == 1);
        }
        reports = reports.subspan(1 + reportSize);
    }
    return 0;
}
