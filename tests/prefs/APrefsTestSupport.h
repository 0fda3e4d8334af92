#pragma once
// Helpers for the store's tests. AConfigHome (tests/support) gives each test
// its own configuration folder.

#include "prefs/AException.h"
#include "prefs/APrefController.h"
#include "tests/support/AConfigHome.h"

#include <functional>
#include <set>
#include <string>

// One line per device, "<type> <vid> <pid> <presentation>:" and then
// " <id>/<launch type>/<argument>" per event, in the maps' order.
inline std::string DescribeStore(const APrefController& store)
{
    std::string text;
    for (const auto& [type, device] : store.GetDevices()) {
        text += std::to_string(type) + " " + std::to_string(device.GetDeviceVID()) + " " +
                std::to_string(device.GetDevicePID()) + " " + std::to_string(device.GetPresentationType()) + ":";
        for (const auto& [id, event] : device.GetEvents())
            text += " " + std::to_string(id) + "/" + std::to_string(event.GetLaunchType()) + "/" + event.GetLaunchArg();
        text += "\n";
    }
    return text;
}

// "<name>: <reason>" of the AException the action raises, or "no failure".
inline std::string FailureOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const AException& failure) {
        return failure.GetName() + ": " + failure.GetReason();
    }
    return "no failure";
}

// The names in a folder, sorted, joined by spaces.
inline std::string ListFolder(const std::filesystem::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : " ") + name;
    return text;
}
