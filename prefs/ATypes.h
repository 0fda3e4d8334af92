#pragma once
// The system's shared vocabulary: device types, launch types, button ids and
// the maker's USB identifiers. Used by the store, the agent, the settings app
// and nuvexactl alike.

#include <cstdint>

#ifndef NUVEXA_VENDOR_ID
#define NUVEXA_VENDOR_ID 0xFEED
#endif

// The maker's USB vendor identifier (a build-time constant; CMake option
// NUVEXA_VENDOR_ID overrides it).
inline constexpr uint32_t kVendorID = NUVEXA_VENDOR_ID;

// Device type; -1 is a device of the maker whose product is none of the three.
using EDeviceType = int32_t;
inline constexpr EDeviceType kDeviceUnknown = -1;
inline constexpr EDeviceType kDeviceRFMouse = 0;
inline constexpr EDeviceType kDeviceBTMouse = 1;
inline constexpr EDeviceType kDevicePresenter = 2;

// Product identifiers of the three device types.
inline constexpr uint32_t kProductRFMouse = 1001;
inline constexpr uint32_t kProductBTMouse = 1002;
inline constexpr uint32_t kProductPresenter = 2001;

// The product identifier written with a device type's record, as the
// settings editor and nuvexactl write it: the presenter's for any type but
// the two mice.
constexpr uint32_t GetPID(EDeviceType type)
{
    return type == kDeviceRFMouse ? kProductRFMouse : type == kDeviceBTMouse ? kProductBTMouse : kProductPresenter;
}

// The kind of action mapped to a button.
using ELaunchType = int32_t;
inline constexpr ELaunchType kLaunchDefault = 0;
inline constexpr ELaunchType kLaunchAppleScript = 1;
inline constexpr ELaunchType kLaunchExec = 2;
inline constexpr ELaunchType kLaunchKeystroke = 3;
inline constexpr ELaunchType kLaunchPredefinedKeys = 4;

// The two configurable buttons of every device type.
inline constexpr int32_t kButtonBack = 4;
inline constexpr int32_t kButtonForward = 5;
