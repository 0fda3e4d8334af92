#include "hid/AHIDUsageList.h"

#include <cstdio>

namespace {

constexpr size_t kExtendedUsageSize = 4;

uint32_t FullUsage(uint32_t data, size_t dataSize, uint16_t usagePage)
{
    if (dataSize == kExtendedUsageSize)
        return data;
    return static_cast<uint32_t>(usagePage) << 16 | (data & 0xFFFF);
}

std::string Hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

}  // namespace

void AHIDUsageList::AddRange(ARange range)
{
    if (fInDelimiter) {
        if (fDelimiterTaken)
            return;
        fDelimiterTaken = true;
    }
    fRanges.push_back(range);
    fCount += static_cast<uint64_t>(range.fLast - range.fFirst) + 1;
}

void AHIDUsageList::AddUsage(uint32_t data, size_t dataSize, uint16_t usagePage)
{
    uint32_t usage = FullUsage(data, dataSize, usagePage);
    AddRange({usage, usage, dataSize == kExtendedUsageSize});
}

std::string AHIDUsageList::SetMinimum(uint32_t data, size_t dataSize, uint16_t usagePage)
{
    fMinimum = data;
    fMinimumSize = dataSize == 0 ? 1 : dataSize;
    return CompleteRange(usagePage);
}

std::string AHIDUsageList::SetMaximum(uint32_t data, size_t dataSize, uint16_t usagePage)
{
    fMaximum = data;
    fMaximumSize = dataSize == 0 ? 1 : dataSize;
    return CompleteRange(usagePage);
}

// Devices give Usage Minimum and Maximum in either order; the range exists
// once both are there.
std::string AHIDUsageList::CompleteRange(uint16_t usagePage)
{
    if (fMinimumSize == 0 || fMaximumSize == 0)
        return {};
    uint32_t first = FullUsage(fMinimum, fMinimumSize, usagePage);
    uint32_t last = FullUsage(fMaximum, fMaximumSize, usagePage);
    bool extended = fMinimumSize == kExtendedUsageSize || fMaximumSize == kExtendedUsageSize;
    fMinimumSize = fMaximumSize = 0;
    if (first >> 16 != last >> 16)
        return "Usage Minimum " + Hex(first) + " and Usage Maximum " + Hex(last) + " lie on different usage pages";
    if (first > last)
        return "Usage Minimum " + Hex(first & 0xFFFF) + " is above Usage Maximum " + Hex(last & 0xFFFF);
    AddRange({first, last, extended});
    return {};
}

std::string AHIDUsageList::OpenDelimiter()
{
    if (fInDelimiter)
        return "Delimiter opens a set inside a set";
    fInDelimiter = true;
    fDelimiterTaken = false;
    return {};
}

std::string AHIDUsageList::CloseDelimiter()
{
    if (!fInDelimiter)
        return "Delimiter closes no set";
    fInDelimiter = false;
    return {};
}

void AHIDUsageList::ApplyUsagePage(uint16_t usagePage)
{
    for (auto range = fRanges.rbegin(); range != fRanges.rend(); ++range) {
        if (range->fExtended)
            continue;
        if (range->fFirst >> 16 == usagePage)
            break;
        range->fFirst = static_cast<uint32_t>(usagePage) << 16 | (range->fFirst & 0xFFFF);
        range->fLast = static_cast<uint32_t>(usagePage) << 16 | (range->fLast & 0xFFFF);
    }
}

void AHIDUsageList::Clear()
{
    fRanges.clear();
    fCount = 0;
    fMinimumSize = fMaximumSize = 0;
    fInDelimiter = false;
    fDelimiterTaken = false;
}
