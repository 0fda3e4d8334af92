#pragma once
// AEvdevEventSystem is the agent's event-system connection on Linux: each
// posted NX-style event is translated into evdev events and written to the
// virtual keyboard in one batch. It owns the keyboard; before the keyboard
// goes, every key and modifier the connection still holds is released, so
// nothing stays pressed when the agent detaches.

#include "keys/AEventSystemConnection.h"
#include "keys/ANXEventTranslator.h"
#include "keys/AVirtualKeyboard.h"

#include <filesystem>
#include <memory>
#include <vector>

class AEvdevEventSystem : public AEventSystemConnection {
public:
    // Opens the connection on a new uinput keyboard; null where uinput is
    // unavailable (no node, no permission), which stands for "no connection".
    static std::unique_ptr<AEventSystemConnection> Open(const std::filesystem::path& uinputPath = "/dev/uinput");

    explicit AEvdevEventSystem(std::unique_ptr<AVirtualKeyboard> keyboard);
    ~AEvdevEventSystem() override;
    AEvdevEventSystem(const AEvdevEventSystem&) = delete;
    AEvdevEventSystem& operator=(const AEvdevEventSystem&) = delete;

    // Only data version kNXEventDataVersion is understood; any other is
    // refused. An event that changes no key is accepted and writes nothing.
    // A flags change always sets this keyboard's modifiers, so the options
    // (kIOHIDSetGlobalEventFlags) add nothing.
    bool PostEvent(uint32_t eventType, const ANXEventData& data, uint32_t dataVersion, uint32_t eventFlags,
                   uint32_t options) override;

private:
    std::unique_ptr<AVirtualKeyboard> fKeyboard;
    ANXEventTranslator fTranslator;
    std::vector<AEvdevEvent> fEvents;  // reused for every post
};
