#include "tests/support/AConfigHome.h"

AConfigHome::AConfigHome() : fConfigHome("XDG_CONFIG_HOME", (fFolder.Path() / "config").string()) {}

void AConfigHome::InstallFixture(const std::string& name) const
{
    std::filesystem::create_directories(StoreFolder());
    std::filesystem::copy_file(FixturePath(name), MappingPath(), std::filesystem::copy_options::overwrite_existing);
}
