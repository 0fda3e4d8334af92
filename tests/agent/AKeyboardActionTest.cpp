// The keyboard action at the event-system level (rows in
// tests/fixtures/agent/keyboard-action.txt): each post written as text and
// checked for the invariants every post keeps (data version 2, the flags and
// options of its kind, every data byte but its own fields zero).

#include "agent/AHIDKeyboardAction.h"
#include "agent/AKeySteps.h"
#include "tests/support/ATestPaths.h"

#include <gtest/gtest.h>

#include <cstring>
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

constexpr uint8_t kShift = 56;

} // namespace

TEST(AHIDKeyboardAction, EachRowOfTheFixturePostsItsEvents)
{
    for (const auto& [rule, given, expected] : ReadFixtureRows("agent/keyboard-action.txt")) {
        SCOPED_TRACE(rule + "\n" + given);
        std::vector<std::string> operations;
        for (size_t at = 0, end = 0; end != std::string::npos; at = end + 2)
            operations.push_back(given.substr(at, (end = given.find(", ", at)) - at));
        ARecorder connection;
        {
            AHIDKeyboardAction keyboard(&connection);
            for (const std::string& operation : operations) {
                const std::string name = operation.substr(0, operation.find(' '));
                const int code = name == "clear" ? 0 : std::stoi(operation.substr(name.size()));
                EXPECT_TRUE(name == "key"    ? keyboard.PostKey(code)
                            : name == "aux"  ? keyboard.PostAuxKey(code)
                            : name == "sys"  ? keyboard.PostSysDefinedKey(code)
                            : name == "down" ? keyboard.PostVirtualKey(code, false)
                            : name == "up"   ? keyboard.PostVirtualKey(code, true)
                                             : (keyboard.ClearModifiers(), keyboard.GetModifiers() == 0))
                    << operation;
            }
        }
        EXPECT_EQ(connection.fText, expected);
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
    PlayKeyStrokeList(&connection, "");  // nothing to play: not even the closing flags
    EXPECT_EQ(connection.fText, "");
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
