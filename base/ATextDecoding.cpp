#include "base/ATextDecoding.h"

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The length of the well-formed sequence a lead byte starts, and the range
// its second byte must fall in (narrower than 80..BF where that excludes
// overlong forms, surrogates and code points above U+10FFFF); 0 for a byte
// that starts no sequence.
struct ALead {
    int fLength;
    unsigned char fSecondLow;
    unsigned char fSecondHigh;
};

ALead LeadOf(unsigned char byte)
{
    if (byte >= 0xC2 && byte <= 0xDF)
        return {2, 0x80, 0xBF};
    if (byte == 0xE0)
        return {3, 0xA0, 0xBF};
    if ((byte >= 0xE1 && byte <= 0xEC) || byte == 0xEE || byte == 0xEF)
        return {3, 0x80, 0xBF};
    if (byte == 0xED)
        return {3, 0x80, 0x9F};
    if (byte == 0xF0)
        return {4, 0x90, 0xBF};
    if (byte >= 0xF1 && byte <= 0xF3)
        return {4, 0x80, 0xBF};
    if (byte == 0xF4)
        return {4, 0x80, 0x8F};
    return {0, 0, 0};
}

} // namespace

std::string DecodeUTF8Lossy(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte != 0 && byte < 0x80) {
            text += static_cast<char>(byte);
            ++i;
            continue;
        }
        const ALead lead = LeadOf(byte);
        // A broken sequence is replaced once, as far as it went right (its
        // maximal valid prefix); decoding resumes at the byte that broke it.
        size_t length = 1;
        while (lead.fLength > 0 && length < static_cast<size_t>(lead.fLength) && i + length < bytes.size()) {
            const auto next = static_cast<unsigned char>(bytes[i + length]);
            const bool fits = length == 1 ? (next >= lead.fSecondLow && next <= lead.fSecondHigh)
                                          : (next >= 0x80 && next <= 0xBF);
            if (!fits)
                break;
            ++length;
        }
        if (lead.fLength > 0 && length == static_cast<size_t>(lead.fLength))
            text.append(bytes.substr(i, length));
        else
            text += kReplacement;
        i += length;
    }
    return text;
}
