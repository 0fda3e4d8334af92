#include "hid/AHIDReportDecoder.h"

#include <algorithm>

namespace {

// A report never carries more than hidraw's 16384 bytes, one of them the ID.
constexpr uint64_t kMaxReportBits = 16383 * 8;

uint64_t ElementEndBit(const AHIDElement& element)
{
    uint64_t values = element.fIsArray ? element.fReportCount : 1;
    return element.fBitOffset + static_cast<uint64_t>(element.fBitSize) * values;
}

// Only elements whose bits fit a real report and whose values fit 32 bits
// can be read; anything else in a list handed in is never decoded.
bool IsReadable(const AHIDElement& element)
{
    return element.fBitSize >= 1 && element.fBitSize <= 32 && (!element.fIsArray || element.fReportCount >= 1) &&
           ElementEndBit(element) <= kMaxReportBits;
}

// Little-endian bits, as HID lays out every field; the caller has checked
// that the bytes are there.
uint32_t ReadBits(const uint8_t* data, uint32_t bitOffset, uint32_t bitSize)
{
    uint32_t first = bitOffset / 8;
    uint32_t last = (bitOffset + bitSize - 1) / 8;
    uint64_t word = 0;
    for (uint32_t index = first; index <= last; ++index)
        word |= static_cast<uint64_t>(data[index]) << (8 * (index - first));
    word >>= bitOffset % 8;
    return static_cast<uint32_t>(word & ((uint64_t{1} << bitSize) - 1));
}

int64_t ReadValue(const uint8_t* data, uint32_t bitOffset, uint32_t bitSize, bool isSigned)
{
    uint32_t bits = ReadBits(data, bitOffset, bitSize);
    if (isSigned && bitSize < 32 && (bits >> (bitSize - 1)) != 0)
        return static_cast<int64_t>(bits) - (int64_t{1} << bitSize);
    if (isSigned)
        return static_cast<int32_t>(bits);
    return bits;
}

int32_t ElementValue(const AHIDElement& element, const uint8_t* data)
{
    bool isSigned = element.fLogicalMin < 0;
    if (!element.fIsArray)
        return static_cast<int32_t>(ReadValue(data, element.fBitOffset, element.fBitSize, isSigned));
    for (uint32_t slot = 0; slot < element.fReportCount; ++slot) {
        if (ReadValue(data, element.fBitOffset + slot * element.fBitSize, element.fBitSize, isSigned) ==
            element.fArrayIndex)
            return 1;
    }
    return 0;
}

}  // namespace

AHIDReportDecoder::AHIDReportDecoder(AHIDElementList elements)
    : fElements(std::move(elements)), fWatched(fElements.size(), false), fValues(fElements.size(), 0)
{
    fReportBytes.fill(0);
    for (const AHIDElement& element : fElements) {
        if (element.fReportID != 0)
            fUsesReportIDs = true;
        if (IsReadable(element)) {
            uint32_t bytes = static_cast<uint32_t>((ElementEndBit(element) + 7) / 8);
            fReportBytes[element.fReportID] = std::max(fReportBytes[element.fReportID], bytes);
        }
    }
}

bool AHIDReportDecoder::Watch(uint32_t cookie)
{
    // The parser makes each cookie its element's position + 1; other lists are searched.
    auto found = fElements.end();
    if (cookie != 0 && cookie <= fElements.size() && fElements[cookie - 1].fCookie == cookie)
        found = fElements.begin() + (cookie - 1);
    else
        found = std::find_if(fElements.begin(), fElements.end(),
                             [cookie](const AHIDElement& element) { return element.fCookie == cookie; });
    if (cookie == 0 || found == fElements.end() || !IsReadable(*found))
        return false;
    uint32_t index = static_cast<uint32_t>(found - fElements.begin());
    if (!fWatched[index]) {
        fWatched[index] = true;
        std::vector<uint32_t>& watched = fWatchedByReport[found->fReportID];
        watched.insert(std::upper_bound(watched.begin(), watched.end(), index), index);
    }
    return true;
}

void AHIDReportDecoder::Decode(std::span<const uint8_t> report, std::vector<AHIDValueChange>& changes)
{
    uint8_t reportID = 0;
    if (fUsesReportIDs) {
        if (report.empty())
            return;
        reportID = report[0];
        report = report.subspan(1);
    }
    const std::vector<uint32_t>& watched = fWatchedByReport[reportID];
    if (watched.empty() || report.size() < fReportBytes[reportID])
        return;
    for (uint32_t index : watched) {
        const AHIDElement& element = fElements[index];
        int32_t value = ElementValue(element, report.data());
        if (value != fValues[index]) {
            fValues[index] = value;
            changes.push_back({element.fCookie, value});
        }
    }
}
