#include "platform/devices/AHidrawNodeTable.h"

#include <charconv>

namespace {

// One group of hexadecimal digits, at most `maxDigits` of them, nothing else.
std::optional<uint32_t> ParseHexGroup(std::string_view group, size_t maxDigits)
{
    if (group.empty() || group.size() > maxDigits)
        return std::nullopt;
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(group.data(), group.data() + group.size(), value, 16);
    if (error != std::errc() || end != group.data() + group.size())
        return std::nullopt;
    return value;
}

bool SameDevice(const AHIDService& a, const AHIDService& b)
{
    return a.fVendorID == b.fVendorID && a.fProductID == b.fProductID;
}

} // namespace

std::optional<AHIDIdentity> ParseHIDID(std::string_view text)
{
    const size_t first = text.find(':');
    if (first == std::string_view::npos)
        return std::nullopt;
    const size_t second = text.find(':', first + 1);
    if (second == std::string_view::npos)
        return std::nullopt;
    const std::optional<uint32_t> bus = ParseHexGroup(text.substr(0, first), 4);
    const std::optional<uint32_t> vendor = ParseHexGroup(text.substr(first + 1, second - first - 1), 8);
    const std::optional<uint32_t> product = ParseHexGroup(text.substr(second + 1), 8);
    if (!bus || !vendor || !product)
        return std::nullopt;
    return AHIDIdentity{static_cast<uint16_t>(*bus), *vendor, *product};
}

std::optional<AHIDService> MakeHidrawService(const std::string& devnode, std::string_view hidID, uint32_t vendorID)
{
    const std::optional<AHIDIdentity> identity = ParseHIDID(hidID);
    if (devnode.empty() || !identity || identity->fVendorID != vendorID)
        return std::nullopt;
    return AHIDService{devnode, identity->fVendorID, identity->fProductID};
}

AHidrawNodeTable::AChange AHidrawNodeTable::NoteEvent(AHidrawAction action, const std::string& devnode,
                                                      std::string_view hidID, uint32_t vendorID)
{
    AChange change;
    if (action == AHidrawAction::kRemove) {
        change.fRemoved = NoteRemoval(devnode);
        return change;
    }
    if (action != AHidrawAction::kAdd && action != AHidrawAction::kChange)
        return change;
    const std::optional<AHIDService> service = MakeHidrawService(devnode, hidID, vendorID);
    if (!service)
        return change;
    change = NoteArrival(*service);
    if (action == AHidrawAction::kChange && !change.fArrived)
        change.fArrived = service;
    return change;
}

AHidrawNodeTable::AChange AHidrawNodeTable::NoteArrival(const AHIDService& service)
{
    AChange change;
    auto known = fServices.find(service.fKey);
    if (known != fServices.end()) {
        if (SameDevice(known->second, service))
            return change;
        change.fRemoved = known->second;
        known->second = service;
    } else {
        fServices.emplace(service.fKey, service);
    }
    change.fArrived = service;
    return change;
}

std::optional<AHIDService> AHidrawNodeTable::NoteRemoval(const std::string& devnode)
{
    auto known = fServices.find(devnode);
    if (known == fServices.end())
        return std::nullopt;
    AHIDService service = std::move(known->second);
    fServices.erase(known);
    return service;
}

void AHidrawNodeTable::Replace(const std::vector<AHIDService>& services)
{
    fServices.clear();
    for (const AHIDService& service : services)
        fServices.emplace(service.fKey, service);
}
