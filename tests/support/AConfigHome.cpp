#include "tests/support/AConfigHome.h"

#include <sys/stat.h>
#include <unistd.h>

void AConfigHome::InstallFixture(const std::string& name) const
{
    std::filesystem::create_directories(StoreFolder());
    std::filesystem::copy_file(FixturePath(name), MappingPath(), std::filesystem::copy_options::overwrite_existing);
}

bool AConfigHome::ShutOutOtherSavers() const
{
    for (const std::filesystem::path& path : {Root(), ConfigFolder(), StoreFolder()}) {
        if (chmod(path.c_str(), 0755) != 0)
            return false;
    }
    return chmod(MappingPath().c_str(), 0644) == 0 && (geteuid() == 0 || chmod(StoreFolder().c_str(), 0555) == 0);
}

std::string DescribeRecords(const APrefController& store)
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
