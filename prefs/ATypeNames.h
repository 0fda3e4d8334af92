#pragma once
// The names of device types and launch types: the names "mapping.xml" uses
// (compared without regard to letter case on read) and the device types'
// display names. The store's conversions and nuvexactl both look them up here.

#include "prefs/ATypes.h"

#include <cstddef>
#include <string_view>

struct ADeviceTypeName {
    EDeviceType fType;
    std::string_view fName;
    std::string_view fDisplayName;
};

struct ALaunchTypeName {
    ELaunchType fType;
    std::string_view fName;
};

// Rows in the order in which names are compared; the first row is also the
// name given to a value outside the table.
inline constexpr ADeviceTypeName kDeviceTypeNames[] = {
    {kDeviceRFMouse, "rfmouse", "Wireless Mouse"},
    {kDeviceBTMouse, "btmouse", "Bluetooth Mouse"},
    {kDevicePresenter, "presenter", "Bluetooth Presenter"},
};

inline constexpr ALaunchTypeName kLaunchTypeNames[] = {
    {kLaunchDefault, "default"},
    {kLaunchAppleScript, "applescript"},
    {kLaunchExec, "exec"},
    {kLaunchKeystroke, "keystroke"},
    {kLaunchPredefinedKeys, "predefinedkeys"},
};

// ASCII letters only: the names are ASCII, and the comparison must not
// depend on the user's locale.
constexpr bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (x != y)
            return false;
    }
    return true;
}

// The row of a name table with the name, compared in any letter case; null
// when there is none.
template <typename ARow, size_t kCount>
constexpr const ARow* FindRowNamed(const ARow (&rows)[kCount], std::string_view name)
{
    for (const ARow& row : rows) {
        if (EqualsIgnoringCase(name, row.fName))
            return &row;
    }
    return nullptr;
}

// The row of a name table with the type; null when there is none.
template <typename ARow, size_t kCount>
constexpr const ARow* FindRowOfType(const ARow (&rows)[kCount], int32_t type)
{
    for (const ARow& row : rows) {
        if (row.fType == type)
            return &row;
    }
    return nullptr;
}
