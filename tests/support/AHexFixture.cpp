#include "tests/support/AHexFixture.h"

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

std::vector<uint8_t> ReadHexFixture(const std::filesystem::path& path)
{
    std::ifstream file(path);
    if (!file)
        throw std::runtime_error("cannot read " + path.string());
    std::vector<uint8_t> bytes;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line[0] == '#')
            continue;
        std::istringstream tokens(line);
        for (std::string token; tokens >> token;) {
            if (token.size() != 2 || !std::isxdigit(static_cast<unsigned char>(token[0])) ||
                !std::isxdigit(static_cast<unsigned char>(token[1])))
                throw std::runtime_error("bad byte '" + token + "' in " + path.string());
            bytes.push_back(static_cast<uint8_t>(std::stoul(token, nullptr, 16)));
        }
    }
    return bytes;
}
