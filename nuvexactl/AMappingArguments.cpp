#include "nuvexactl/AMappingArguments.h"

#include "prefs/ATypeNames.h"

std::optional<int32_t> ParseDecimalArgument(std::string_view text, int32_t minimum, int32_t maximum)
{
    if (text.empty())
        return std::nullopt;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > maximum)
            return std::nullopt;
    }
    if (value < minimum)
        return std::nullopt;
    return static_cast<int32_t>(value);
}

std::optional<EDeviceType> ParseDeviceTypeArgument(std::string_view text)
{
    for (const ADeviceTypeName& row : kDeviceTypeNames) {
        if (EqualsIgnoringCase(text, row.fName))
            return row.fType;
    }
    if (std::optional<int32_t> number = ParseDecimalArgument(text, 0, INT32_MAX)) {
        for (const ADeviceTypeName& row : kDeviceTypeNames) {
            if (row.fType == *number)
                return row.fType;
        }
    }
    return std::nullopt;
}

std::optional<ELaunchType> ParseLaunchTypeArgument(std::string_view text)
{
    for (const ALaunchTypeName& row : kLaunchTypeNames) {
        if (EqualsIgnoringCase(text, row.fName))
            return row.fType;
    }
    if (std::optional<int32_t> number = ParseDecimalArgument(text, 0, INT32_MAX)) {
        for (const ALaunchTypeName& row : kLaunchTypeNames) {
            if (row.fType == *number)
                return row.fType;
        }
    }
    return std::nullopt;
}

std::optional<int32_t> ParseButtonIdArgument(std::string_view text)
{
    return ParseDecimalArgument(text, kButtonBack, kButtonForward);
}

std::string ListDeviceTypeNames()
{
    std::string names;
    for (const ADeviceTypeName& row : kDeviceTypeNames)
        names += (names.empty() ? "" : ", ") + std::string(row.fName);
    return names;
}

std::string ListLaunchTypeNames()
{
    std::string names;
    for (const ALaunchTypeName& row : kLaunchTypeNames)
        names += (names.empty() ? "" : ", ") + std::string(row.fName);
    return names;
}

uint32_t GetPID(EDeviceType type)
{
    switch (type) {
    case kDeviceRFMouse:
        return kProductRFMouse;
    case kDeviceBTMouse:
        return kProductBTMouse;
    default:
        return kProductPresenter;
    }
}
