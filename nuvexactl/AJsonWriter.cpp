#include "nuvexactl/AJsonWriter.h"

namespace {

// The length of the valid UTF-8 sequence at the start of text, or 0.
size_t Utf8SequenceLength(std::string_view text)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const auto isTrail = [&](size_t i) { return i < text.size() && (byte(i) & 0xC0) == 0x80; };
    unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return isTrail(1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (!isTrail(1) || !isTrail(2))
            return 0;
        if ((lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xED && byte(1) >= 0xA0))
            return 0;  // overlong, or a UTF-16 surrogate
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (!isTrail(1) || !isTrail(2) || !isTrail(3))
            return 0;
        if ((lead == 0xF0 && byte(1) < 0x90) || (lead == 0xF4 && byte(1) >= 0x90))
            return 0;  // overlong, or beyond U+10FFFF
        return 4;
    }
    return 0;
}

} // namespace

std::string AJsonWriter::Quote(std::string_view value)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string quoted = "\"";
    while (!value.empty()) {
        unsigned char c = static_cast<unsigned char>(value[0]);
        size_t length = 1;
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            quoted += "\\u00";
            quoted += kHex[c >> 4];
            quoted += kHex[c & 0xF];
        } else if (c < 0x80) {
            quoted += static_cast<char>(c);
        } else if ((length = Utf8SequenceLength(value)) != 0) {
            quoted.append(value.substr(0, length));
        } else {
            quoted += "\\ufffd";
            length = 1;
        }
        value.remove_prefix(length);
    }
    quoted += '"';
    return quoted;
}

void AJsonWriter::BeginValue()
{
    if (fAfterKey) {
        fAfterKey = false;
        return;
    }
    if (!fScopeHasMembers.empty()) {
        if (fScopeHasMembers.back())
            fText += ',';
        fScopeHasMembers.back() = true;
    }
}

void AJsonWriter::BeginObject()
{
    BeginValue();
    fText += '{';
    fScopeHasMembers.push_back(false);
}

void AJsonWriter::EndObject()
{
    fText += '}';
    fScopeHasMembers.pop_back();
}

void AJsonWriter::BeginArray()
{
    BeginValue();
    fText += '[';
    fScopeHasMembers.push_back(false);
}

void AJsonWriter::EndArray()
{
    fText += ']';
    fScopeHasMembers.pop_back();
}

void AJsonWriter::Key(std::string_view key)
{
    BeginValue();
    fText += Quote(key);
    fText += ':';
    fAfterKey = true;
}

void AJsonWriter::String(std::string_view value)
{
    BeginValue();
    fText += Quote(value);
}

void AJsonWriter::Number(int64_t value)
{
    BeginValue();
    fText += std::to_string(value);
}
