#include "platform/devices/AHidrawConnection.h"

#include "hid/AHIDReportDescriptor.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <utility>

namespace {

int OpenNode(const std::string& devnode)
{
    return open(devnode.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

} // namespace

AHidrawConnection::AHidrawConnection(std::string devnode) : fDevnode(std::move(devnode)) {}

AHidrawConnection::~AHidrawConnection()
{
    Close();
}

bool AHidrawConnection::Open()
{
    if (!fDescriptor)
        fDescriptor.Reset(OpenNode(fDevnode));
    return static_cast<bool>(fDescriptor);
}

std::optional<AHIDElementList> AHidrawConnection::CopyElements()
{
    if (fElements)
        return fElements;
    std::optional<std::vector<uint8_t>> descriptor;
    if (fDescriptor) {
        descriptor = ReadReportDescriptor(fDescriptor.Get());
    } else {
        const AFileDescriptor node(OpenNode(fDevnode));
        if (!node)
            return std::nullopt;
        descriptor = ReadReportDescriptor(node.Get());
    }
    if (!descriptor)
        return std::nullopt;
    AHIDParseResult parsed = ParseReportDescriptor(*descriptor);
    if (!parsed.fOK)
        return std::nullopt;
    fElements = std::move(parsed.fElements);
    return fElements;
}

void AHidrawConnection::Close()
{
    fDescriptor.Reset();
}

std::optional<std::vector<uint8_t>> AHidrawConnection::ReadReportDescriptor(int fd)
{
    int size = 0;
    if (ioctl(fd, HIDIOCGRDESCSIZE, &size) < 0 || size < 0 || size > HID_MAX_DESCRIPTOR_SIZE)
        return std::nullopt;
    hidraw_report_descriptor descriptor{};
    descriptor.size = static_cast<uint32_t>(size);
    if (ioctl(fd, HIDIOCGRDESC, &descriptor) < 0)
        return std::nullopt;
    return std::vector<uint8_t>(descriptor.value, descriptor.value + size);
}
