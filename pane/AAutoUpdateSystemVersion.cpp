#include "pane/AAutoUpdateSystemVersion.h"

#include <sys/utsname.h>

#include <algorithm>
#include <array>

uint32_t PackKernelVersion(std::string_view release)
{
    std::array<uint32_t, 3> parts{};
    size_t at = 0;
    for (uint32_t& part : parts) {
        if (at >= release.size() || release[at] < '0' || release[at] > '9')
            break;
        for (; at < release.size() && release[at] >= '0' && release[at] <= '9'; ++at)
            part = std::min<uint32_t>(part * 10 + static_cast<uint32_t>(release[at] - '0'), 0xFFFF);
        if (at >= release.size() || release[at] != '.')
            break;
        ++at;
    }
    return (parts[0] << 16) + (std::min<uint32_t>(parts[1], 255) << 8) + std::min<uint32_t>(parts[2], 255);
}

uint32_t RunningSystemVersion()
{
    utsname name{};
    if (uname(&name) != 0)
        return 0;
    return PackKernelVersion(name.release);
}
