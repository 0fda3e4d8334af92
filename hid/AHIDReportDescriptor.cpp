#include "hid/AHIDReportDescriptor.h"

#include "hid/AHIDUsageList.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>

namespace {

// Bounds that no real device comes near; they keep a hostile descriptor from
// costing unbounded memory or time.
constexpr uint32_t kMaxReportCount = 12288;
constexpr uint64_t kMaxReportBytes = 16383;  // hidraw carries 16384 bytes, one of them the report ID
constexpr uint64_t kMaxReportBits = kMaxReportBytes * 8;
constexpr uint64_t kMaxFieldElements = 4096;
constexpr size_t kMaxElements = 16384;
constexpr size_t kMaxGlobalStackDepth = 16;
constexpr size_t kMaxCollectionDepth = 32;
constexpr uint32_t kMaxValueBits = 32;

constexpr uint8_t kLongItemPrefix = 0xFE;

enum EItemType : uint8_t { kItemMain = 0, kItemGlobal = 1, kItemLocal = 2 };

enum EMainTag : uint8_t {
    kMainInput = 0x8,
    kMainOutput = 0x9,
    kMainCollection = 0xA,
    kMainFeature = 0xB,
    kMainEndCollection = 0xC,
};

enum EGlobalTag : uint8_t {
    kGlobalUsagePage = 0x0,
    kGlobalLogicalMinimum = 0x1,
    kGlobalLogicalMaximum = 0x2,
    kGlobalReportSize = 0x7,
    kGlobalReportID = 0x8,
    kGlobalReportCount = 0x9,
    kGlobalPush = 0xA,
    kGlobalPop = 0xB,
};

enum ELocalTag : uint8_t {
    kLocalUsage = 0x0,
    kLocalUsageMinimum = 0x1,
    kLocalUsageMaximum = 0x2,
    kLocalDelimiter = 0xA,
};

// Each of Input, Output and Feature lays out its reports on its own.
enum EReportKind : uint8_t { kReportInput = 0, kReportOutput = 1, kReportFeature = 2, kReportKindCount = 3 };

constexpr uint32_t kFlagConstant = 1u << 0;
constexpr uint32_t kFlagVariable = 1u << 1;

struct AItem {
    size_t fOffset = 0;
    uint8_t fType = 0;
    uint8_t fTag = 0;
    uint32_t fData = 0;
    size_t fSize = 0;
};

int64_t SignedData(uint32_t data, size_t size)
{
    switch (size) {
    case 1: return static_cast<int8_t>(data);
    case 2: return static_cast<int16_t>(data);
    case 4: return static_cast<int32_t>(data);
    default: return 0;
    }
}

struct AGlobalState {
    uint16_t fUsagePage = 0;
    int64_t fLogicalMinimum = 0;
    uint32_t fLogicalMaximumData = 0;
    size_t fLogicalMaximumSize = 0;
    uint32_t fReportSize = 0;
    uint32_t fReportCount = 0;
    uint8_t fReportID = 0;

    // Many devices write an unsigned maximum such as 255 in one byte (0xFF),
    // which reads as -1: with a non-negative minimum, read it unsigned.
    int64_t LogicalMaximum() const
    {
        int64_t maximum = SignedData(fLogicalMaximumData, fLogicalMaximumSize);
        if (fLogicalMinimum >= 0 && maximum < 0)
            maximum = fLogicalMaximumData;
        return maximum;
    }
};

// Walks a report descriptor item by item. It keeps the global state with its
// Push/Pop stack, the usages that local items give the next main item, and
// for each report kind and report ID the bits laid out so far; each Input
// field that carries data and usages becomes elements at its place.
class AHIDDescriptorParser {
public:
    AHIDParseResult Parse(std::span<const uint8_t> descriptor);

private:
    std::string HandleMain(const AItem& item);
    std::string HandleGlobal(const AItem& item);
    std::string HandleLocal(const AItem& item);
    std::string AddField(EReportKind kind, uint32_t flags);
    std::string AddVariableElements(uint32_t bitOffset);
    std::string AddArrayElements(uint32_t bitOffset);
    AHIDElement FieldElement(uint32_t bitOffset) const;
    void Append(AHIDElement& element, uint32_t usage);

    AGlobalState fGlobal;
    std::vector<AGlobalState> fGlobalStack;
    AHIDUsageList fUsages;
    size_t fCollectionDepth = 0;
    std::array<std::array<uint32_t, 256>, kReportKindCount> fReportBits{};
    AHIDElementList fElements;
};

AHIDParseResult Rejected(std::string reason)
{
    AHIDParseResult result;
    result.fError = std::move(reason);
    return result;
}

AHIDParseResult AHIDDescriptorParser::Parse(std::span<const uint8_t> descriptor)
{
    if (descriptor.empty())
        return Rejected("empty descriptor");
    size_t position = 0;
    while (position < descriptor.size()) {
        size_t remaining = descriptor.size() - position;
        uint8_t prefix = descriptor[position];
        if (prefix == kLongItemPrefix) {
            // No long item tags are defined; skip the item by its length.
            if (remaining < 3 || remaining - 3 < descriptor[position + 1])
                return Rejected("long item runs past the end (byte " + std::to_string(position) + ")");
            position += 3 + descriptor[position + 1];
            continue;
        }
        AItem item;
        item.fOffset = position;
        item.fSize = (prefix & 0x3) == 3 ? 4 : (prefix & 0x3);
        item.fType = (prefix >> 2) & 0x3;
        item.fTag = prefix >> 4;
        if (remaining - 1 < item.fSize)
            return Rejected("item runs past the end (byte " + std::to_string(position) + ")");
        for (size_t i = 0; i < item.fSize; ++i)
            item.fData |= static_cast<uint32_t>(descriptor[position + 1 + i]) << (8 * i);
        position += 1 + item.fSize;

        std::string reason;
        switch (item.fType) {
        case kItemMain: reason = HandleMain(item); break;
        case kItemGlobal: reason = HandleGlobal(item); break;
        case kItemLocal: reason = HandleLocal(item); break;
        default: break;  // reserved item type: nothing defined to do
        }
        if (!reason.empty())
            return Rejected(reason + " (byte " + std::to_string(item.fOffset) + ")");
    }
    if (fCollectionDepth != 0) {
        return Rejected("descriptor ends inside " + std::to_string(fCollectionDepth) + " open collection" +
                        (fCollectionDepth == 1 ? "" : "s"));
    }
    AHIDParseResult result;
    result.fOK = true;
    result.fElements = std::move(fElements);
    return result;
}

std::string AHIDDescriptorParser::HandleMain(const AItem& item)
{
    if (fUsages.IsInDelimiter())
        return "main item inside an open Delimiter set";
    fUsages.ApplyUsagePage(fGlobal.fUsagePage);
    std::string reason;
    switch (item.fTag) {
    case kMainInput: reason = AddField(kReportInput, item.fData); break;
    case kMainOutput: reason = AddField(kReportOutput, item.fData); break;
    case kMainFeature: reason = AddField(kReportFeature, item.fData); break;
    case kMainCollection:
        if (fCollectionDepth == kMaxCollectionDepth)
            reason = "Collection nested deeper than " + std::to_string(kMaxCollectionDepth) + " levels";
        ++fCollectionDepth;
        break;
    case kMainEndCollection:
        if (fCollectionDepth == 0)
            reason = "End Collection without an open Collection";
        else
            --fCollectionDepth;
        break;
    default: break;  // reserved main item tag: it only ends the local items
    }
    fUsages.Clear();
    return reason;
}

std::string AHIDDescriptorParser::HandleGlobal(const AItem& item)
{
    switch (item.fTag) {
    case kGlobalUsagePage: fGlobal.fUsagePage = static_cast<uint16_t>(item.fData); break;
    case kGlobalLogicalMinimum: fGlobal.fLogicalMinimum = SignedData(item.fData, item.fSize); break;
    case kGlobalLogicalMaximum:
        fGlobal.fLogicalMaximumData = item.fData;
        fGlobal.fLogicalMaximumSize = item.fSize;
        break;
    case kGlobalReportSize: fGlobal.fReportSize = item.fData; break;
    case kGlobalReportCount: fGlobal.fReportCount = item.fData; break;
    case kGlobalReportID:
        if (item.fData == 0)
            return "Report ID 0 is reserved";
        if (item.fData > 255)
            return "Report ID " + std::to_string(item.fData) + " is over 255";
        fGlobal.fReportID = static_cast<uint8_t>(item.fData);
        break;
    case kGlobalPush:
        if (fGlobalStack.size() == kMaxGlobalStackDepth)
            return "Push nested deeper than " + std::to_string(kMaxGlobalStackDepth) + " levels";
        fGlobalStack.push_back(fGlobal);
        break;
    case kGlobalPop:
        if (fGlobalStack.empty())
            return "Pop without a matching Push";
        fGlobal = fGlobalStack.back();
        fGlobalStack.pop_back();
        break;
    default: break;  // physical range, units: not needed for values
    }
    return {};
}

std::string AHIDDescriptorParser::HandleLocal(const AItem& item)
{
    switch (item.fTag) {
    case kLocalUsage: fUsages.AddUsage(item.fData, item.fSize, fGlobal.fUsagePage); return {};
    case kLocalUsageMinimum: return fUsages.SetMinimum(item.fData, item.fSize, fGlobal.fUsagePage);
    case kLocalUsageMaximum: return fUsages.SetMaximum(item.fData, item.fSize, fGlobal.fUsagePage);
    case kLocalDelimiter: return item.fData != 0 ? fUsages.OpenDelimiter() : fUsages.CloseDelimiter();
    default: return {};  // designators and strings: not needed for values
    }
}

std::string AHIDDescriptorParser::AddField(EReportKind kind, uint32_t flags)
{
    if (fGlobal.fReportCount > kMaxReportCount) {
        return "Report Count " + std::to_string(fGlobal.fReportCount) + " is over " +
               std::to_string(kMaxReportCount);
    }
    uint32_t& reportBits = fReportBits[kind][fGlobal.fReportID];
    uint64_t fieldBits = static_cast<uint64_t>(fGlobal.fReportSize) * fGlobal.fReportCount;
    if (reportBits + fieldBits > kMaxReportBits) {
        return "report " + std::to_string(fGlobal.fReportID) + " grows longer than " +
               std::to_string(kMaxReportBytes) + " bytes";
    }
    uint32_t bitOffset = reportBits;
    reportBits += static_cast<uint32_t>(fieldBits);

    // Output and Feature fields only take their place in their reports;
    // constant fields and fields without usages are padding.
    if (kind != kReportInput || (flags & kFlagConstant) != 0 || fUsages.GetCount() == 0 || fGlobal.fReportCount == 0)
        return {};
    if (fGlobal.fReportSize == 0)
        return "Report Size 0 for a field with usages";
    if (fGlobal.fReportSize > kMaxValueBits) {
        return "Report Size " + std::to_string(fGlobal.fReportSize) + " is over " +
               std::to_string(kMaxValueBits) + " bits for a field with usages";
    }
    if (fGlobal.LogicalMaximum() < fGlobal.fLogicalMinimum) {
        return "Logical Maximum " + std::to_string(fGlobal.LogicalMaximum()) + " is below Logical Minimum " +
               std::to_string(fGlobal.fLogicalMinimum);
    }
    return (flags & kFlagVariable) != 0 ? AddVariableElements(bitOffset) : AddArrayElements(bitOffset);
}

// What all elements of the current field share.
AHIDElement AHIDDescriptorParser::FieldElement(uint32_t bitOffset) const
{
    AHIDElement element;
    element.fReportID = fGlobal.fReportID;
    element.fBitOffset = bitOffset;
    element.fBitSize = fGlobal.fReportSize;
    element.fLogicalMin = static_cast<int32_t>(fGlobal.fLogicalMinimum);
    element.fLogicalMax = static_cast<int32_t>(std::min<int64_t>(fGlobal.LogicalMaximum(), INT32_MAX));
    return element;
}

void AHIDDescriptorParser::Append(AHIDElement& element, uint32_t usage)
{
    element.fCookie = static_cast<uint32_t>(fElements.size() + 1);
    element.fUsagePage = static_cast<uint16_t>(usage >> 16);
    element.fUsage = static_cast<uint16_t>(usage);
    fElements.push_back(element);
}

// Makes room for a field's elements at once: a keyboard or consumer array
// brings hundreds, and growing one by one would copy the list many times.
std::string ReserveElements(AHIDElementList& elements, uint64_t fieldElements)
{
    if (fieldElements > kMaxFieldElements) {
        return "field has " + std::to_string(fieldElements) + " elements, over " +
               std::to_string(kMaxFieldElements);
    }
    if (elements.size() + fieldElements > kMaxElements)
        return "descriptor has over " + std::to_string(kMaxElements) + " elements";
    if (elements.size() + fieldElements > elements.capacity())
        elements.reserve(std::max<size_t>(elements.size() + fieldElements, 2 * elements.capacity()));
    return {};
}

// One element per value; values beyond the listed usages repeat the last one.
std::string AHIDDescriptorParser::AddVariableElements(uint32_t bitOffset)
{
    uint32_t count = fGlobal.fReportCount;
    std::string reason = ReserveElements(fElements, count);
    if (!reason.empty())
        return reason;
    uint32_t size = fGlobal.fReportSize;
    AHIDElement element = FieldElement(bitOffset);
    uint32_t lastUsage = 0;
    fUsages.Visit(count, [&](uint64_t index, uint32_t usage) {
        element.fBitOffset = bitOffset + static_cast<uint32_t>(index) * size;
        Append(element, usage);
        lastUsage = usage;
    });
    for (uint64_t index = std::min<uint64_t>(count, fUsages.GetCount()); index < count; ++index) {
        element.fBitOffset = bitOffset + static_cast<uint32_t>(index) * size;
        Append(element, lastUsage);
    }
    return {};
}

// One element per usage that a slot can name: the slot value logical minimum
// + i names the i-th usage, so usages past the logical range never occur.
std::string AHIDDescriptorParser::AddArrayElements(uint32_t bitOffset)
{
    int64_t minimum = fGlobal.fLogicalMinimum;
    uint64_t reachable = std::min<uint64_t>(fUsages.GetCount(), fGlobal.LogicalMaximum() - minimum + 1);
    reachable = std::min<uint64_t>(reachable, static_cast<uint64_t>(INT32_MAX - minimum) + 1);
    std::string reason = ReserveElements(fElements, reachable);
    if (!reason.empty())
        return reason;
    AHIDElement element = FieldElement(bitOffset);
    element.fIsArray = true;
    element.fReportCount = fGlobal.fReportCount;
    fUsages.Visit(reachable, [&](uint64_t index, uint32_t usage) {
        // Usage 0 of a page means "no control": the value of an empty slot.
        if ((usage & 0xFFFF) == 0)
            return;
        element.fArrayIndex = static_cast<int32_t>(minimum + static_cast<int64_t>(index));
        Append(element, usage);
    });
    return {};
}

}  // namespace

AHIDParseResult ParseReportDescriptor(std::span<const uint8_t> descriptor)
{
    return AHIDDescriptorParser().Parse(descriptor);
}
