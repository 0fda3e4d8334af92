#pragma once
// AUinputKeyboard is the agent's virtual keyboard: one uinput device,
// "Nuvexa Virtual Keyboard", able to send the keys it was created with. It
// owns the device from creation to destruction; destroying the device makes
// the kernel release every key it still holds. The device is created once
// and kept, because readers only see events sent after they opened the node.

#include "base/AFileDescriptor.h"
#include "keys/AVirtualKeyboard.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>

struct libevdev_uinput;

class AUinputKeyboard : public AVirtualKeyboard {
public:
    static constexpr const char* kDeviceName = "Nuvexa Virtual Keyboard";
    static constexpr const char* kUinputPath = "/dev/uinput";

    // Creates the device with EV_KEY for each of `keyCodes`; null when the
    // uinput node cannot be opened or the kernel refuses the device.
    static std::unique_ptr<AUinputKeyboard> Create(std::span<const uint16_t> keyCodes,
                                                   const std::filesystem::path& uinputPath = kUinputPath);
    ~AUinputKeyboard() override;
    AUinputKeyboard(const AUinputKeyboard&) = delete;
    AUinputKeyboard& operator=(const AUinputKeyboard&) = delete;

    bool Emit(std::span<const AEvdevEvent> events) override;
    // The device's event node (/dev/input/eventN), empty when unknown.
    std::filesystem::path GetDeviceNode() const;

private:
    AUinputKeyboard(AFileDescriptor uinput, libevdev_uinput* device);

    AFileDescriptor fUinput;
    libevdev_uinput* fDevice;
};
