#pragma once
// XDG_CONFIG_HOME of this process and its children at <temporary>/config for
// the object's life; the folders are made only when a test needs them.

#include "prefs/APrefController.h"
#include "tests/support/ATestPaths.h"

#include <sys/stat.h>
#include <unistd.h>

class AConfigHome {
public:
    AConfigHome() : fConfigHome("XDG_CONFIG_HOME", ConfigFolder().string()) {}

    std::filesystem::path ConfigFolder() const { return fFolder.Path() / "config"; }
    std::filesystem::path StoreFolder() const { return ConfigFolder() / "Nuvexa"; }
    std::filesystem::path MappingPath() const { return StoreFolder() / "mapping.xml"; }
    const std::filesystem::path& Root() const { return fFolder.Path(); }

    // Copies tests/fixtures/<name> to MappingPath(), making the folders.
    void InstallFixture(const std::string& name) const
    {
        std::filesystem::create_directories(StoreFolder());
        std::filesystem::copy_file(FixturePath(name), MappingPath(), std::filesystem::copy_options::overwrite_existing);
    }
    // The store's folder readable by all, writable by none but its owner (by
    // nobody at all when not root), so another user's save fails; false when
    // a mode cannot be set.
    bool ShutOutOtherSavers() const
    {
        for (const std::filesystem::path& path : {Root(), ConfigFolder(), StoreFolder(), MappingPath()}) {
            if (chmod(path.c_str(), path == MappingPath() ? 0644 : 0755) != 0)
                return false;
        }
        return geteuid() == 0 || chmod(StoreFolder().c_str(), 0555) == 0;
    }

private:
    ATemporaryFolder fFolder;
    AScopedEnvironment fConfigHome;
};

// A store's records, one line per device, "<type> <vid> <pid> <presentation>:"
// and then " <id>/<launch type>/<argument>" per event, all numbers decimal.
inline std::string DescribeRecords(const APrefController& store)
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
