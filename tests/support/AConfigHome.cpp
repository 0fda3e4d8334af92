#include "tests/support/AConfigHome.h"

#include <sys/stat.h>
#include <unistd.h>

AConfigHome::AConfigHome() : fConfigHome("XDG_CONFIG_HOME", (fFolder.Path() / "config").string()) {}

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
    if (chmod(MappingPath().c_str(), 0644) != 0)
        return false;
    return geteuid() == 0 || chmod(StoreFolder().c_str(), 0555) == 0;
}
