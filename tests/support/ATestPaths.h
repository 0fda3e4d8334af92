#pragma once
// Paths and folders for tests: a temporary folder removed with its contents,
// and where the build put the programs, their resources and the fixtures.

#include <cstdint>
#include <filesystem>
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

// Sets an environment variable for the life of the object, then restores it.
class AScopedEnvironment {
public:
    AScopedEnvironment(std::string name, const std::string& value);
    ~AScopedEnvironment();
    AScopedEnvironment(const AScopedEnvironment&) = delete;
    AScopedEnvironment& operator=(const AScopedEnvironment&) = delete;

private:
    std::string fName;
    bool fHadValue = false;
    std::string fOldValue;
};

std::filesystem::path BuildBinaryPath(const std::string& program);  // build/<preset>/bin/<program>
std::filesystem::path BuildDataFolder();                              // build/<preset>/share/nuvexa
std::filesystem::path FixturePath(const std::string& relative);       // tests/fixtures/<relative>
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
