#pragma once
// Strict reading of the words a user types for a mapping: device types and
// launch types by their names in "mapping.xml" (any letter case) or by number,
// button identifiers, plain decimal numbers. Anything else is refused, unlike
// the lenient reading of the file itself. Also the product identifier written
// with a device type's record, as the settings editor writes it.

#include "prefs/ATypes.h"

#include <cstdint>
#include <optional>
#include <string_view>

// Digits only, no sign or blanks, within [minimum, maximum].
std::optional<int32_t> ParseDecimalArgument(std::string_view text, int32_t minimum, int32_t maximum);
std::optional<EDeviceType> ParseDeviceTypeArgument(std::string_view text);
std::optional<ELaunchType> ParseLaunchTypeArgument(std::string_view text);
// The configurable buttons, 4 and 5.
std::optional<int32_t> ParseButtonIdArgument(std::string_view text);
