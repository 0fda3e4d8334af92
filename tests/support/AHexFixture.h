#pragma once
// Reads a byte fixture written as hex text: two-digit hex bytes separated by
// blanks, and lines starting with '#' that say where the bytes come from.

#include <cstdint>
#include <filesystem>
#include <vector>

// Throws std::runtime_error for a file that cannot be read or a bad token.
std::vector<uint8_t> ReadHexFixture(const std::filesystem::path& path);
