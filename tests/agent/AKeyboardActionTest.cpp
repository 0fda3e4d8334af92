// The keyboard action and the key-stroke lists at the event-system level:
// what one action posts, each post written as text and checked for the
// invariants every post keeps (data version 2, the flags and options of its
// kind, every data byte but its own fields zero).

#include "agent/AHIDKeyboardAction.h"
#include "agent/AKeySteps.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>

namespace {

class ARecorder : public AEventSystemConnection {
public:
    bool PostEvent(uint32_t type, const ANXEventData& data, uint32_t version, uint32_t flags, uint32_t options) override
    {
        ANXEventData expected;
        std::memset(&expected, 0, sizeof expected);
        std::string text;
        if (type == NX_KEYDOWN || type == NX_KEYUP) {
            expected.key.keyCode = data.key.keyCode;
            text = (type == NX_KEYDOWN ? "down " : "up ") + std::to_string(data.key.keyCode);
            text += flags != 1 || options != 0 ? " (bad flags)" : "";
        } else if (type == NX_FLAGSCHANGED) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%x", flags);
            text = std::string("flags ") + hex + (options != kIOHIDSetGlobalEventFlags ? " (bad options)" : "");
        } else {
            expected.compound.subType = data.compound.subType;
            expected.compound.misc.L[0] = data.compound.misc.L[0];
            char word[16];
            std::snprintf(word, sizeof word, "0x%08x", static_cast<uint32_t>(data.compound.misc.L[0]));
            text = (data.compound.subType == NX_SUBTYPE_AUX_CONTROL_BUTTONS ? "aux " : "sys ") +
                   std::to_string(data.compound.subType) + " " + word +
                   (flags != 0 || options != 0 ? " (bad flags)" : "");
        }
        text += version != 2 ? " (bad version)" : std::memcmp(&expected, &data, sizeof data) != 0 ? " (bad data)" : "";
        fText += (fText.empty() ? "" : ", ") + text;
        return !fFail && type != fFailedType;
    }
    std::string fText;
    bool fFail = false;
    std::optional<uint32_t> fFailedType;
};

constexpr uint8_t kShift = 56, kCommand = 55, kCapsLock = 57, kOption = 58, kControl = 59, kRightCommand = 54;

} // namespace

TEST(AHIDKeyboardAction, EachOperationPostsItsEventsAndTheActionEndsByClearingTheFlags)
{
    using AOperation = std::function<void(AHIDKeyboardAction&)>;
    const auto press = [](std::vector<std::pair<uint8_t, bool>> steps) {  // key code, up
        return [steps](AHIDKeyboardAction& keyboard) {
            for (auto [code, up] : steps)
                EXPECT_TRUE(keyboard.PostVirtualKey(code, up));
        };
    };
    const struct {
        const char* fRule;
        AOperation fOperation;
        const char* fPosts;
    } rows[] = {
        {"a key is key down then key up", [](auto& k) { EXPECT_TRUE(k.PostKey(111)); }, "down 111, up 111, flags 0x0"},
        {"an aux key is one system-defined key down: key in bits 16-23, state 0x0A",
         [](auto& k) { EXPECT_TRUE(k.PostAuxKey(NX_KEYTYPE_MUTE)); }, "aux 8 0x00070a00, flags 0x0"},
        {"volume down is aux key 1", [](auto& k) { k.PostAuxKey(NX_KEYTYPE_SOUND_DOWN); },
         "aux 8 0x00010a00, flags 0x0"},
        {"a system-defined key sets only its subtype",
         [](auto& k) { EXPECT_TRUE(k.PostSysDefinedKey(NX_SUBTYPE_EJECT_KEY)); }, "sys 10 0x00000000, flags 0x0"},
        {"modifier flags accumulate and release one by one",
         press({{kShift, false}, {kCommand, false}, {kCommand, true}, {kShift, true}}),
         "flags 0x20000, flags 0x120000, flags 0x20000, flags 0x0, flags 0x0"},
        {"each modifier has its own flag", press({{kCapsLock, false}, {kControl, false}, {kOption, false}}),
         "flags 0x10000, flags 0x50000, flags 0xd0000, flags 0x0"},
        {"pressing twice sets the flag once", press({{kShift, false}, {kShift, false}, {kShift, true}}),
         "flags 0x20000, flags 0x20000, flags 0x0, flags 0x0"},
        {"releasing what was never pressed posts the unchanged mask", press({{kShift, false}, {kCommand, true}}),
         "flags 0x20000, flags 0x20000, flags 0x0"},
        {"right Command and other codes change no flag",
         press({{kCommand, false}, {kRightCommand, false}, {60, false}, {0, false}}),
         "flags 0x100000, flags 0x100000, flags 0x100000, flags 0x100000, flags 0x0"},
        {"clearing forgets held modifiers", [](auto& k) {
             k.PostVirtualKey(kShift, false);
             k.ClearModifiers();
             EXPECT_EQ(k.GetModifiers(), 0u);
         }, "flags 0x20000, flags 0x0, flags 0x0"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fRule);
        ARecorder connection;
        {
            AHIDKeyboardAction keyboard(&connection);
            row.fOperation(keyboard);
        }
        EXPECT_EQ(connection.fText, row.fPosts);
    }
}

TEST(AHIDKeyboardAction, FailedPostsAreReportedAndTheirEffectsStay)
{
    AHIDKeyboardAction unconnected(nullptr);
    EXPECT_FALSE(unconnected.PostKey(0));
    EXPECT_FALSE(unconnected.PostVirtualKey(kShift, false));
    EXPECT_FALSE(unconnected.PostAuxKey(NX_KEYTYPE_SOUND_UP));
    EXPECT_FALSE(unconnected.PostSysDefinedKey(NX_SUBTYPE_EJECT_KEY));
    EXPECT_EQ(unconnected.GetModifiers(), 0u);

    ARecorder connection;
    AHIDKeyboardAction keyboard(&connection);
    connection.fFail = true;
    EXPECT_FALSE(keyboard.PostVirtualKey(kShift, false));
    EXPECT_EQ(keyboard.GetModifiers(), NX_SHIFTMASK);  // the press counts although its post failed
    EXPECT_FALSE(keyboard.PostAuxKey(NX_KEYTYPE_SOUND_UP));
    EXPECT_FALSE(keyboard.PostSysDefinedKey(NX_SUBTYPE_EJECT_KEY));
    connection.fFail = false;
    // A key answers with its key up's result, and posts the key up even when
    // the key down failed.
    connection.fFailedType = NX_KEYDOWN;
    connection.fText.clear();
    EXPECT_TRUE(keyboard.PostKey(0));
    EXPECT_EQ(connection.fText, "down 0, up 0");
    connection.fFailedType = NX_KEYUP;
    EXPECT_FALSE(keyboard.PostKey(0));
}

TEST(AKeySteps, AListIsReadAsLeadingIntegersKeepingTheirLow16Bits)
{
    const struct {
        const char* fText;
        std::vector<uint16_t> fCodes;
    } rows[] = {
        {"", {}},
        {"56|55|20|55|56", {56, 55, 20, 55, 56}},
        {"1||2|", {1, 0, 2, 0}},    // empty pieces are key code 0
        {" 7x|+3|abc", {7, 3, 0}},  // blanks and a sign; no digits gives 0
        {"-1|65536|65591", {65535, 0, 55}},
        {"99999999999", {65535}},  // clamped to the 32-bit limit first
    };
    for (const auto& row : rows)
        EXPECT_EQ(ReadKeyStrokeList(row.fText), row.fCodes) << '"' << row.fText << '"';
}

TEST(AKeySteps, ModifiersToggleAndOtherCodesAreWholeKeyPresses)
{
    const struct {
        const char* fList;
        const char* fPosts;
    } rows[] = {
        {"56|55|20|55|56", "flags 0x20000, flags 0x120000, down 20, up 20, flags 0x20000, flags 0x0, flags 0x0"},
        {"55|0|55", "flags 0x100000, down 0, up 0, flags 0x0, flags 0x0"},
        {"57|59|58|58|59|57",
         "flags 0x10000, flags 0x50000, flags 0xd0000, flags 0x50000, flags 0x10000, flags 0x0, flags 0x0"},
        // 256 and above: posted as the low 8 bits; a modifier only when the
        // low 16 bits are one.
        {"256|311", "down 0, up 0, down 55, up 55, flags 0x0"},
        {"65591|65591", "flags 0x100000, flags 0x0, flags 0x0"},
        {"54", "down 54, up 54, flags 0x0"},  // right-hand Command is an ordinary key here
        {"1||", "down 1, up 1, down 0, up 0, down 0, up 0, flags 0x0"},
        {"", ""},  // nothing to play: not even the closing flags change
    };
    for (const auto& row : rows) {
        ARecorder connection;
        PlayKeyStrokeList(&connection, row.fList);
        EXPECT_EQ(connection.fText, row.fPosts) << '"' << row.fList << '"';
    }
}
