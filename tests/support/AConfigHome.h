#pragma once
// A private configuration folder for a test: XDG_CONFIG_HOME of this process,
// and so of the programs it runs, points at <temporary>/config for the
// object's life. The folders are not made until a test needs them.

#include "prefs/APrefController.h"
#include "tests/support/ATestPaths.h"

class AConfigHome {
public:
    AConfigHome() : fConfigHome("XDG_CONFIG_HOME", ConfigFolder().string()) {}

    std::filesystem::path ConfigFolder() const { return fFolder.Path() / "config"; }
    std::filesystem::path StoreFolder() const { return ConfigFolder() / "Nuvexa"; }
    std::filesystem::path MappingPath() const { return StoreFolder() / "mapping.xml"; }
    const std::filesystem::path& Root() const { return fFolder.Path(); }

    // Copies tests/fixtures/<name> to MappingPath(), making the folders.
    void InstallFixture(const std::string& name) const;
    // Makes the store's folder readable by everyone and writable by its owner
    // only, so that a save by another user (a child that became "nobody")
    // fails; not run as root, the folder is read-only to its owner too.
    // False when a mode cannot be set.
    bool ShutOutOtherSavers() const;

private:
    ATemporaryFolder fFolder;
    AScopedEnvironment fConfigHome;
};

// A store's records, one line per device, "<type> <vid> <pid> <presentation>:"
// and then " <id>/<launch type>/<argument>" per event, all numbers decimal.
std::string DescribeRecords(const APrefController& store);
