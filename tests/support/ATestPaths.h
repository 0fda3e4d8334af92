#pragma once
// Paths and folders for tests: a temporary folder removed with its contents,
// and where the build put the programs, their resources and the fixtures.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class ATemporaryFolder {
public:
    ATemporaryFolder();
    ~ATemporaryFolder();
    ATemporaryFolder(const ATemporaryFolder&) = delete;
    ATemporaryFolder& operator=(const ATemporaryFolder&) = delete;

    const std::filesystem::path& Path() const { return fPath; }

private:
    std::filesystem::path fPath;
};

class AScopedEnvironment {  // sets an environment variable for the object's life, then restores it
public:
    AScopedEnvironment(std::string name, const std::string& value) : fName(std::move(name))
    {
        fOldValue = getenv(fName.c_str()) ? std::optional<std::string>(getenv(fName.c_str())) : std::nullopt;
        setenv(fName.c_str(), value.c_str(), 1);
    }
    ~AScopedEnvironment() { fOldValue ? setenv(fName.c_str(), fOldValue->c_str(), 1) : unsetenv(fName.c_str()); }
    AScopedEnvironment(const AScopedEnvironment&) = delete;
    AScopedEnvironment& operator=(const AScopedEnvironment&) = delete;

private:
    std::string fName;
    std::optional<std::string> fOldValue;
};

inline std::filesystem::path BuildBinaryPath(const std::string& program)  // build/<preset>/bin/<program>
{
    return std::filesystem::path(NUVEXA_BUILD_BIN_DIR) / program;
}
inline std::filesystem::path BuildDataFolder() { return NUVEXA_BUILD_DATA_DIR; }  // build/<preset>/share/nuvexa
inline std::filesystem::path FixturePath(const std::string& relative)            // tests/fixtures/<relative>
{
    return std::filesystem::path(NUVEXA_TEST_FIXTURES) / relative;
}
std::string ReadWholeFile(const std::filesystem::path& path);
void WriteWholeFile(const std::filesystem::path& path, const std::string& text);
// A byte fixture written as hex text: two-digit bytes separated by blanks,
// and '#' lines saying where the bytes come from. Throws on a bad token.
std::vector<uint8_t> ReadHexFixture(const std::filesystem::path& path);

// The rows "<given> => <expected>" of tests/fixtures/<relative> (the given
// may be empty), each with the comment line above it, which names its rule.
// Throws when it has no rows.
struct AFixtureRow {
    std::string fRule, fGiven, fExpected;
};
std::vector<AFixtureRow> ReadFixtureRows(const std::string& relative);
