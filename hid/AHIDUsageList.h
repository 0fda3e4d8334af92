#pragma once
// The usages that a report descriptor's local items give the next main item:
// single usages and Usage Minimum/Maximum ranges, kept as ranges so that a
// range of 65536 usages costs one entry. Short usages (1 or 2 bytes) take the
// usage page in effect at the main item, unless a usage page declared after
// them was already applied (devices put the Usage Page item on either side of
// their usages); extended usages (4 bytes) carry their own page. Within a
// Delimiter set only the first usage counts, as the set lists alternatives.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class AHIDUsageList {
public:
    // Each Add/Set returns an empty text, or why the item is malformed.
    void AddUsage(uint32_t data, size_t dataSize, uint16_t usagePage);
    std::string SetMinimum(uint32_t data, size_t dataSize, uint16_t usagePage);
    std::string SetMaximum(uint32_t data, size_t dataSize, uint16_t usagePage);
    std::string OpenDelimiter();
    std::string CloseDelimiter();

    bool IsInDelimiter() const { return fInDelimiter; }

    // Gives every short usage after the last one already on this page the
    // page in effect at the main item.
    void ApplyUsagePage(uint16_t usagePage);

    uint64_t GetCount() const { return fCount; }

    // The usage (page << 16 | id) of each index below count, in order.
    template <typename Visitor> void Visit(uint64_t count, Visitor&& visitor) const;

    // Drops everything: local items last only until the next main item.
    void Clear();

private:
    struct ARange {
        uint32_t fFirst = 0;  // page << 16 | id
        uint32_t fLast = 0;   // same page as fFirst
        bool fExtended = false;
    };

    void AddRange(ARange range);
    std::string CompleteRange(uint16_t usagePage);

    std::vector<ARange> fRanges;
    uint64_t fCount = 0;
    uint32_t fMinimum = 0;
    uint32_t fMaximum = 0;
    size_t fMinimumSize = 0;  // 0 while no Usage Minimum is pending
    size_t fMaximumSize = 0;
    bool fInDelimiter = false;
    bool fDelimiterTaken = false;
};

template <typename Visitor> void AHIDUsageList::Visit(uint64_t count, Visitor&& visitor) const
{
    uint64_t index = 0;
    for (const ARange& range : fRanges) {
        for (uint64_t usage = range.fFirst; usage <= range.fLast; ++usage) {
            if (index == count)
                return;
            visitor(index++, static_cast<uint32_t>(usage));
        }
    }
}
