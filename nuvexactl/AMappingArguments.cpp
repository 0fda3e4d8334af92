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

namespace {

// The type of the row named by the text (any letter case) or by its number.
template <typename ARow, size_t kCount>
std::optional<int32_t> ParseTypeArgument(std::string_view text, const ARow (&rows)[kCount])
{
    const ARow* row = FindRowNamed(rows, text);
    if (row == nullptr) {
        if (std::optional<int32_t> number = ParseDecimalArgument(text, 0, INT32_MAX))
            row = FindRowOfType(rows, *number);
    }
    return row != nullptr ? std::optional<int32_t>(row->fType) : std::nullopt;
}

} // namespace

std::optional<EDeviceType> ParseDeviceTypeArgument(std::string_view text)
{
    return ParseTypeArgument(text, kDeviceTypeNames);
}

std::optional<ELaunchType> ParseLaunchTypeArgument(std::string_view text)
{
    return ParseTypeArgument(text, kLaunchTypeNames);
}

std::optional<int32_t> ParseButtonIdArgument(std::string_view text)
{
    return ParseDecimalArgument(text, kButtonBack, kButtonForward);
}

