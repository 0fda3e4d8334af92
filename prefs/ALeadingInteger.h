#pragma once
// The lenient reading of integers stored as text (attribute values of
// "mapping.xml", numbers inside launch arguments): leading blanks skipped, an
// optional sign, then decimal digits up to the first character that is not
// one. Text without digits reads as 0; a value beyond the signed 32-bit range
// reads as the nearest limit.

#include <cstdint>
#include <string_view>

int32_t ReadLeadingInteger(std::string_view text);
