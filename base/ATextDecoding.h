#pragma once
// Bytes from the outside (a program's error output) made into text that is
// safe everywhere the system shows or sends it, a D-Bus string included.

#include <string>
#include <string_view>

// Valid UTF-8 is kept as it is (7-bit ASCII among it); every byte that does
// not belong to a valid sequence (overlong forms, surrogates and code points
// above U+10FFFF included) becomes U+FFFD, and so does a NUL byte, which no
// D-Bus string may carry.
std::string DecodeUTF8Lossy(std::string_view bytes);
