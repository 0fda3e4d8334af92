#include "uninstaller/AOutputReader.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

constexpr std::string_view kProgressPrefix = "PROGRESS:";

// Reads a decimal number (leading blanks skipped, the rest of the text
// ignored), as each part of a progress line is read.
std::optional<double> ReadNumber(std::string_view text)
{
    const std::string copy(text);
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(copy.c_str(), &end);
    if (end == copy.c_str() || errno == ERANGE || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

bool IsProgressLine(std::string_view line)
{
    return line.starts_with(kProgressPrefix);
}

std::optional<AProgress> ParseProgressLine(std::string_view line)
{
    if (!IsProgressLine(line))
        return std::nullopt;
    // The text between the first and the second colon, or to the end.
    std::string_view field = line.substr(kProgressPrefix.size());
    field = field.substr(0, field.find(':'));
    const size_t slash = field.find('/');
    if (slash == std::string_view::npos)
        return std::nullopt;
    const std::optional<double> value = ReadNumber(field.substr(0, slash));
    const std::optional<double> maximum = ReadNumber(field.substr(slash + 1));
    if (!value || !maximum || *maximum <= 0)
        return std::nullopt;
    return AProgress{*value, *maximum};
}

void AOutputReader::Complete(std::string line, std::vector<AOutputLine>& lines)
{
    if (IsProgressLine(line)) {
        if (std::optional<AProgress> progress = ParseProgressLine(line))
            lines.push_back({{}, progress});
        return;
    }
    line.push_back('\n');
    lines.push_back({std::move(line), std::nullopt});
}

std::vector<AOutputLine> AOutputReader::Read(std::string_view bytes)
{
    std::vector<AOutputLine> lines;
    for (size_t feed = bytes.find('\n'); feed != std::string_view::npos; feed = bytes.find('\n')) {
        fPartial.append(bytes.substr(0, feed));
        Complete(std::move(fPartial), lines);
        fPartial.clear();
        bytes.remove_prefix(feed + 1);
    }
    fPartial.append(bytes);
    return lines;
}

std::vector<AOutputLine> AOutputReader::Finish()
{
    std::vector<AOutputLine> lines;
    if (!fPartial.empty())
        Complete(std::move(fPartial), lines);
    fPartial.clear();
    return lines;
}
