#include "tests/support/ATestPaths.h"

#include <cctype>
#include <fstream>
#include <sstream>
#include <stdexcept>

ATemporaryFolder::ATemporaryFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "nuvexa-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    fPath = pattern;
}

ATemporaryFolder::~ATemporaryFolder()
{
    namespace fs = std::filesystem;
    std::error_code ignored;
    // Tests may leave read-only folders behind; make them writable first.
    fs::permissions(fPath, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (auto it = fs::recursive_directory_iterator(fPath, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(fPath, ignored);
}

std::string ReadWholeFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteWholeFile(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!(out << text).flush())
        throw std::runtime_error("cannot write " + path.string());
}

std::vector<uint8_t> ReadHexFixture(const std::filesystem::path& path)
{
    std::vector<uint8_t> bytes;
    std::istringstream lines(ReadWholeFile(path));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream tokens(line[0] == '#' ? "" : line);
        for (std::string token; tokens >> token; bytes.push_back(static_cast<uint8_t>(std::stoul(token, nullptr, 16))))
            if (token.size() != 2 || !std::isxdigit(static_cast<unsigned char>(token[0])) || !std::isxdigit(static_cast<unsigned char>(token[1])))
                throw std::runtime_error("bad byte '" + token + "' in " + path.string());
    }
    return bytes;
}

std::vector<AFixtureRow> ReadFixtureRows(const std::string& relative)
{
    std::vector<AFixtureRow> rows;
    std::istringstream lines(ReadWholeFile(FixturePath(relative)));
    std::string rule;
    for (std::string line; std::getline(lines, line);) {
        const size_t arrow = (" " + line).find(" =>");  // where "=>" starts in the line
        if (line.empty() || line[0] == '#' || arrow == std::string::npos)
            rule = line;
        else
            rows.push_back({rule, line.substr(0, arrow - (arrow > 0)), line.substr(std::min(line.size(), arrow + 3))});
    }
    if (rows.empty())
        throw std::runtime_error(relative + " has no rows");
    return rows;
}
