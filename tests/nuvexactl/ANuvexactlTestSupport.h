#pragma once
// A private configuration folder for a nuvexactl test (XDG_CONFIG_HOME of
// this process and so of the programs it runs), and JSON read back through
// an independent parser.

#include "tests/support/AChildProgram.h"
#include "tests/support/ATestPaths.h"

#include <filesystem>
#include <string>

class ANuvexactlHome {
public:
    ANuvexactlHome();

    std::filesystem::path ConfigFolder() const { return fFolder.Path() / "config"; }
    std::filesystem::path StoreFolder() const { return ConfigFolder() / "Nuvexa"; }
    std::filesystem::path MappingPath() const { return StoreFolder() / "mapping.xml"; }
    const std::filesystem::path& Root() const { return fFolder.Path(); }

    void InstallFixture(const std::string& name) const;

private:
    ATemporaryFolder fFolder;
    AScopedEnvironment fConfigHome;
};

inline AProgramResult RunNuvexactl(const std::vector<std::string>& arguments, const AProgramOptions& options = {})
{
    return RunProgram(BuildBinaryPath("nuvexactl"), arguments, options);
}

// Parses the text as JSON with Python's json module (strict UTF-8), checks
// the shape of "nuvexactl show --json" (keys, their order and value types) and
// gives one line per device, "<device_type> <type> <vid> <pid>
// <presentation_type>:" followed by " <id>/<launch_type>/<launch_arg>" per
// event. A text of another shape gives "invalid: " and the reason.
std::string DescribeShowJson(const std::string& json);
