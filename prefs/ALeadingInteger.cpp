#include "prefs/ALeadingInteger.h"

#include <limits>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

int32_t ReadLeadingInteger(std::string_view text)
{
    size_t at = 0;
    while (at < text.size() && IsBlank(text[at]))
        ++at;

    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }

    // The magnitude saturates just past the widest limit, so any number of
    // digits is read without overflow.
    constexpr int64_t kSaturated = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t magnitude = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        magnitude = magnitude * 10 + (text[at] - '0');
        if (magnitude > kSaturated)
            magnitude = kSaturated;
    }

    if (negative)
        return static_cast<int32_t>(-magnitude);  // -2^31 at the most
    if (magnitude > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(magnitude);
}
