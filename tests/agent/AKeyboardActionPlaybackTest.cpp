// A keyboard action played through the Linux event-system connection: the
// evdev events that reach the virtual keyboard.

#include "agent/AHIDKeyboardAction.h"
#include "platform/input/AEvdevEventSystem.h"

#include "tests/support/ARecordingVirtualKeyboard.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

struct APlayback {
    std::shared_ptr<std::vector<AEvdevEvent>> fRecord;
    std::unique_ptr<AEvdevEventSystem> fConnection;

    APlayback()
    {
        auto keyboard = std::make_unique<ARecordingVirtualKeyboard>();
        fRecord = keyboard->Record();
        fConnection = std::make_unique<AEvdevEventSystem>(std::move(keyboard));
    }
    std::string Written() const { return FormatEvdevEvents(*fRecord); }
};

// Plays a key-code list the way a key-stroke action does: modifier codes
// toggle, every other code is one key press.
void PlayKeyCodes(AHIDKeyboardAction& keyboard, const std::vector<uint8_t>& codes)
{
    bool down[256] = {};
    for (uint8_t code : codes) {
        if (code >= 55 && code <= 59) {
            keyboard.PostVirtualKey(code, down[code]);
            down[code] = !down[code];
        } else {
            keyboard.PostKey(code);
        }
    }
}

} // namespace

TEST(AKeyboardActionPlayback, ShiftCommand3PressesEachKeyInTurnAndClearingAddsNothing)
{
    APlayback playback;
    {
        AHIDKeyboardAction keyboard(playback.fConnection.get());
        PlayKeyCodes(keyboard, {56, 55, 20, 55, 56});
        EXPECT_EQ(playback.Written(),
                  "KEY_LEFTSHIFT down, SYN_REPORT, KEY_LEFTMETA down, SYN_REPORT, "
                  "KEY_3 down, SYN_REPORT, KEY_3 up, SYN_REPORT, "
                  "KEY_LEFTMETA up, SYN_REPORT, KEY_LEFTSHIFT up, SYN_REPORT");
        playback.fRecord->clear();
    }
    EXPECT_EQ(playback.Written(), "");  // the clearing at destruction finds nothing held
}

TEST(AKeyboardActionPlayback, EachKindOfActionGivesTheKeysALinuxDesktopNeeds)
{
    struct ARow {
        std::string fRule;
        std::function<void(AHIDKeyboardAction&)> fAction;
        std::string fWritten;  // including what destruction of the action adds
    };
    const std::vector<ARow> rows = {
        {"Command-A", [](AHIDKeyboardAction& k) { PlayKeyCodes(k, {55, 0, 55}); },
         "KEY_LEFTMETA down, SYN_REPORT, KEY_A down, SYN_REPORT, KEY_A up, SYN_REPORT, "
         "KEY_LEFTMETA up, SYN_REPORT"},
        {"a modifier left pressed is released when the action ends",
         [](AHIDKeyboardAction& k) { PlayKeyCodes(k, {58, 124}); },
         "KEY_LEFTALT down, SYN_REPORT, KEY_RIGHT down, SYN_REPORT, KEY_RIGHT up, SYN_REPORT, "
         "KEY_LEFTALT up, SYN_REPORT"},
        {"Caps Lock toggles on and back off",
         [](AHIDKeyboardAction& k) { PlayKeyCodes(k, {57, 0, 57}); },
         "KEY_CAPSLOCK down, SYN_REPORT, KEY_CAPSLOCK up, SYN_REPORT, KEY_A down, SYN_REPORT, "
         "KEY_A up, SYN_REPORT, KEY_CAPSLOCK down, SYN_REPORT, KEY_CAPSLOCK up, SYN_REPORT"},
        {"Caps Lock left on is toggled off when the action ends",
         [](AHIDKeyboardAction& k) { PlayKeyCodes(k, {57}); },
         "KEY_CAPSLOCK down, SYN_REPORT, KEY_CAPSLOCK up, SYN_REPORT, "
         "KEY_CAPSLOCK down, SYN_REPORT, KEY_CAPSLOCK up, SYN_REPORT"},
        {"a code without a key types nothing", [](AHIDKeyboardAction& k) { k.PostKey(52); }, ""},
        {"mute", [](AHIDKeyboardAction& k) { k.PostAuxKey(NX_KEYTYPE_MUTE); },
         "KEY_MUTE down, SYN_REPORT, KEY_MUTE up, SYN_REPORT"},
        {"eject", [](AHIDKeyboardAction& k) { k.PostSysDefinedKey(NX_SUBTYPE_EJECT_KEY); },
         "KEY_EJECTCD down, SYN_REPORT, KEY_EJECTCD up, SYN_REPORT"},
    };
    for (const ARow& row : rows) {
        APlayback playback;
        {
            AHIDKeyboardAction keyboard(playback.fConnection.get());
            row.fAction(keyboard);
        }
        EXPECT_EQ(playback.Written(), row.fWritten) << row.fRule;
    }
}
