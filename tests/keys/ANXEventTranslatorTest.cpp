#include "keys/ANXEventTranslator.h"

#include "tests/support/ANXEventBuilders.h"
#include "tests/support/ARecordingVirtualKeyboard.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::string Translate(ANXEventTranslator& translator, uint32_t type, const ANXEventData& data, uint32_t flags = 0)
{
    std::vector<AEvdevEvent> events;
    translator.Translate(type, data, flags, events);
    return FormatEvdevEvents(events);
}

std::string SetFlags(ANXEventTranslator& translator, uint32_t flags)
{
    return Translate(translator, NX_FLAGSCHANGED, KeyData(0), flags);
}

} // namespace

TEST(ANXEventTranslator, KeyDownAndUpPressAndReleaseTheTableKey)
{
    ANXEventTranslator translator;
    EXPECT_EQ(Translate(translator, NX_KEYDOWN, KeyData(0)), "KEY_A down, SYN_REPORT");
    EXPECT_EQ(translator.GetHeldKeys(), std::vector<uint16_t>{KEY_A});
    EXPECT_EQ(Translate(translator, NX_KEYUP, KeyData(0)), "KEY_A up, SYN_REPORT");
    EXPECT_TRUE(translator.GetHeldKeys().empty());
    EXPECT_EQ(Translate(translator, NX_KEYDOWN, KeyData(105)), "KEY_SYSRQ down, SYN_REPORT");
}

TEST(ANXEventTranslator, EventsThatChangeNoKeyGiveNoEvents)
{
    ANXEventTranslator translator;
    for (uint32_t type : {0u, 1u, 2u, 5u, 13u, 15u, 16u, 0xFFFFFFFFu})
        EXPECT_EQ(Translate(translator, type, KeyData(0), NX_SHIFTMASK), "") << type;
    EXPECT_EQ(translator.GetModifiers(), 0u);
    // Codes without a key.
    for (uint16_t code : {52, 127, 128, 255, 0xFFFF}) {
        EXPECT_EQ(Translate(translator, NX_KEYDOWN, KeyData(code)), "") << code;
        EXPECT_EQ(Translate(translator, NX_KEYUP, KeyData(code)), "") << code;
    }
    // A release of a key that is up, a second press of a key that is down:
    // the input core would drop both.
    EXPECT_EQ(Translate(translator, NX_KEYUP, KeyData(0)), "");
    Translate(translator, NX_KEYDOWN, KeyData(0));
    EXPECT_EQ(Translate(translator, NX_KEYDOWN, KeyData(0)), "");
    EXPECT_EQ(Translate(translator, NX_KEYUP, KeyData(0)), "KEY_A up, SYN_REPORT");
}

TEST(ANXEventTranslator, FlagsChangePressesAndReleasesTheModifiersBetweenTheMasks)
{
    struct ARow {
        std::string fRule;
        uint32_t fFrom;
        uint32_t fTo;
        std::string fEvents;
    };
    const std::vector<ARow> rows = {
        {"Shift", 0, NX_SHIFTMASK, "KEY_LEFTSHIFT down, SYN_REPORT"},
        {"a second modifier joins the first", NX_SHIFTMASK, NX_SHIFTMASK | NX_COMMANDMASK,
         "KEY_LEFTMETA down, SYN_REPORT"},
        {"several at once press in order Shift, Control, Option, Command", 0,
         NX_COMMANDMASK | NX_ALTERNATEMASK | NX_CONTROLMASK | NX_SHIFTMASK,
         "KEY_LEFTSHIFT down, SYN_REPORT, KEY_LEFTCTRL down, SYN_REPORT, "
         "KEY_LEFTALT down, SYN_REPORT, KEY_LEFTMETA down, SYN_REPORT"},
        {"release goes in the reverse order", NX_SHIFTMASK | NX_COMMANDMASK, 0,
         "KEY_LEFTMETA up, SYN_REPORT, KEY_LEFTSHIFT up, SYN_REPORT"},
        {"a swap releases before it presses", NX_SHIFTMASK, NX_CONTROLMASK,
         "KEY_LEFTSHIFT up, SYN_REPORT, KEY_LEFTCTRL down, SYN_REPORT"},
        {"Caps Lock on is one click", 0, NX_ALPHASHIFTMASK,
         "KEY_CAPSLOCK down, SYN_REPORT, KEY_CAPSLOCK up, SYN_REPORT"},
        {"Caps Lock off is one more click", NX_ALPHASHIFTMASK | NX_SHIFTMASK, NX_SHIFTMASK,
         "KEY_CAPSLOCK down, SYN_REPORT, KEY_CAPSLOCK up, SYN_REPORT"},
        {"the same mask again changes nothing", NX_SHIFTMASK, NX_SHIFTMASK, ""},
        {"other flag bits are not modifiers", NX_SHIFTMASK, NX_SHIFTMASK | 0x00200001 | 0x00800000, ""},
    };
    for (const ARow& row : rows) {
        ANXEventTranslator translator;
        SetFlags(translator, row.fFrom);
        EXPECT_EQ(SetFlags(translator, row.fTo), row.fEvents) << row.fRule;
        EXPECT_EQ(translator.GetModifiers(), row.fTo & 0x001F0000u) << row.fRule;
    }
}

TEST(ANXEventTranslator, ModifierKeysFollowWhatIsReallyHeld)
{
    ANXEventTranslator translator;
    // Shift already down through a key event: the flag does not press it again...
    Translate(translator, NX_KEYDOWN, KeyData(56));
    EXPECT_EQ(SetFlags(translator, NX_SHIFTMASK), "");
    // ...and clearing the flag releases it once.
    EXPECT_EQ(SetFlags(translator, 0), "KEY_LEFTSHIFT up, SYN_REPORT");
    EXPECT_EQ(Translate(translator, NX_KEYUP, KeyData(56)), "");
}

TEST(ANXEventTranslator, AuxiliaryKeysDownAreFullClicks)
{
    struct ARow {
        std::string fRule;
        ANXEventData fData;
        std::string fEvents;
    };
    const std::vector<ARow> rows = {
        {"volume up", AuxKeyData(NX_KEYTYPE_SOUND_UP, 0x0A), "KEY_VOLUMEUP down, SYN_REPORT, KEY_VOLUMEUP up, SYN_REPORT"},
        {"volume down", AuxKeyData(NX_KEYTYPE_SOUND_DOWN, 0x0A),
         "KEY_VOLUMEDOWN down, SYN_REPORT, KEY_VOLUMEDOWN up, SYN_REPORT"},
        {"mute", AuxKeyData(NX_KEYTYPE_MUTE, 0x0A), "KEY_MUTE down, SYN_REPORT, KEY_MUTE up, SYN_REPORT"},
        {"a repeat flag does not stop the click",
         SystemDefinedData(NX_SUBTYPE_AUX_CONTROL_BUTTONS, 0x00070A01),
         "KEY_MUTE down, SYN_REPORT, KEY_MUTE up, SYN_REPORT"},
        {"key up state: the click was already made", AuxKeyData(NX_KEYTYPE_MUTE, 0x0B), ""},
        {"an auxiliary key we do not send", AuxKeyData(16, 0x0A), ""},
        {"eject", SystemDefinedData(NX_SUBTYPE_EJECT_KEY, 0),
         "KEY_EJECTCD down, SYN_REPORT, KEY_EJECTCD up, SYN_REPORT"},
        {"another subtype", SystemDefinedData(7, 0x00000A00), ""},
        {"subtype 0", SystemDefinedData(0, 0), ""},
    };
    for (const ARow& row : rows) {
        ANXEventTranslator translator;
        EXPECT_EQ(Translate(translator, NX_SYSDEFINED, row.fData), row.fEvents) << row.fRule;
        EXPECT_TRUE(translator.GetHeldKeys().empty()) << row.fRule;
    }
}

TEST(ANXEventTranslator, ReleaseAllTogglesCapsLockBackAndReleasesEveryKeyLatestFirst)
{
    ANXEventTranslator translator;
    SetFlags(translator, NX_ALPHASHIFTMASK | NX_SHIFTMASK | NX_COMMANDMASK);
    Translate(translator, NX_KEYDOWN, KeyData(0));
    Translate(translator, NX_KEYDOWN, KeyData(11));
    std::vector<AEvdevEvent> events;
    translator.ReleaseAll(events);
    EXPECT_EQ(FormatEvdevEvents(events),
              "KEY_LEFTMETA up, SYN_REPORT, KEY_LEFTSHIFT up, SYN_REPORT, "
              "KEY_CAPSLOCK down, SYN_REPORT, KEY_CAPSLOCK up, SYN_REPORT, "
              "KEY_B up, SYN_REPORT, KEY_A up, SYN_REPORT");
    EXPECT_EQ(translator.GetModifiers(), 0u);
    EXPECT_TRUE(translator.GetHeldKeys().empty());
    events.clear();
    translator.ReleaseAll(events);
    EXPECT_TRUE(events.empty());
}

TEST(ANXEventTranslator, EveryKeyItCanSendIsAmongTheKeysTheKeyboardEnables)
{
    const std::vector<uint16_t> enabled = ANXEventTranslator::EmittedKeyCodes();
    ASSERT_TRUE(std::is_sorted(enabled.begin(), enabled.end()));
    std::vector<AEvdevEvent> events;
    ANXEventTranslator translator;
    for (uint32_t code = 0; code < 256; ++code) {
        translator.Translate(NX_KEYDOWN, KeyData(static_cast<uint16_t>(code)), 0, events);
        translator.Translate(NX_SYSDEFINED, AuxKeyData(static_cast<uint8_t>(code), 0x0A), 0, events);
        translator.Translate(NX_SYSDEFINED, SystemDefinedData(static_cast<int16_t>(code), 0), 0, events);
    }
    for (uint32_t flags = 0; flags < 32; ++flags)
        translator.Translate(NX_FLAGSCHANGED, KeyData(0), flags << 16, events);
    translator.ReleaseAll(events);
    std::vector<uint16_t> sent;
    for (const AEvdevEvent& event : events) {
        if (event.fType == EV_KEY) {
            sent.push_back(event.fCode);
            EXPECT_TRUE(std::binary_search(enabled.begin(), enabled.end(), event.fCode)) << event.fCode;
        }
    }
    // Everything enabled is sent by something.
    std::sort(sent.begin(), sent.end());
    sent.erase(std::unique(sent.begin(), sent.end()), sent.end());
    EXPECT_EQ(sent, enabled);
}
