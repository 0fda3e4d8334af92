#pragma once
// The system version code the update check sends to its service as "?os=%x":
// the running kernel's version packed like the kernel's own
// KERNEL_VERSION(a,b,c), that is a << 16 | b << 8 | c, with c capped at 255
// as the kernel caps it (its stable series passed 255).

#include <cstdint>
#include <string_view>

// A kernel release as uname(2) gives it ("6.1.0-18-amd64"): the numbers up
// to the first character that belongs to none; missing parts count as 0.
uint32_t PackKernelVersion(std::string_view release);
// The running kernel's code; 0 when uname(2) fails.
uint32_t RunningSystemVersion();
