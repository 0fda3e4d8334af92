#include "platform/input/AUinputKeyboard.h"

#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

std::unique_ptr<AUinputKeyboard> AUinputKeyboard::Create(std::span<const uint16_t> keyCodes,
                                                         const std::filesystem::path& uinputPath)
{
    // The descriptor is opened here rather than by libevdev so that the
    // node's path can be chosen and a missing node costs nothing but a value.
    AFileDescriptor uinput(open(uinputPath.c_str(), O_RDWR | O_CLOEXEC));
    if (!uinput)
        return nullptr;
    std::unique_ptr<libevdev, decltype(&libevdev_free)> description(libevdev_new(), libevdev_free);
    if (!description)
        return nullptr;
    libevdev_set_name(description.get(), kDeviceName);
    libevdev_set_id_bustype(description.get(), BUS_VIRTUAL);
    bool described = libevdev_enable_event_type(description.get(), EV_KEY) == 0;
    for (uint16_t code : keyCodes)
        described = described && libevdev_enable_event_code(description.get(), EV_KEY, code, nullptr) == 0;
    libevdev_uinput* device = nullptr;
    if (!described || libevdev_uinput_create_from_device(description.get(), uinput.Get(), &device) != 0)
        return nullptr;
    return std::unique_ptr<AUinputKeyboard>(new AUinputKeyboard(std::move(uinput), device));
}

AUinputKeyboard::AUinputKeyboard(AFileDescriptor uinput, libevdev_uinput* device)
    : fUinput(std::move(uinput)), fDevice(device)
{
}

AUinputKeyboard::~AUinputKeyboard()
{
    // The device goes before the descriptor it was made on.
    libevdev_uinput_destroy(fDevice);
}

bool AUinputKeyboard::Emit(std::span<const AEvdevEvent> events)
{
    // One write for the whole batch; the kernel stamps the time.
    std::vector<input_event> buffer(events.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
        buffer[i].type = events[i].fType;
        buffer[i].code = events[i].fCode;
        buffer[i].value = events[i].fValue;
    }
    const auto* bytes = reinterpret_cast<const char*>(buffer.data());
    std::size_t left = buffer.size() * sizeof(input_event);
    while (left > 0) {
        const ssize_t written = write(fUinput.Get(), bytes, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

std::filesystem::path AUinputKeyboard::GetDeviceNode() const
{
    const char* node = libevdev_uinput_get_devnode(fDevice);
    return node ? std::filesystem::path(node) : std::filesystem::path();
}
