// The keyboard action at the event-system level (rows in
// tests/fixtures/agent/keyboard-action.txt): each post written as text and
// checked for the invariants every post keeps (data version 2, the flags and
// options of its kind, every data byte but its own fields zero).

#include "agent/AHIDKeyboardAction.h"
#include "agent/AKeySteps.h"
#include "tests/support/ATestPaths.h"

#include <gtest/gtest.h>

#include <cstring>

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
        return fFailing.find(text.substr(0, text.find(' '))) == std::string::npos;
    }
    std::string fText;
    std::string fFailing;  // the kinds of post that fail ("down up flags aux sys")
};

} // namespace

TEST(AHIDKeyboardAction, EachRowOfTheFixturePostsItsEvents)
{
    for (const auto& [rule, given, expected] : ReadFixtureRows("agent/keyboard-action.txt")) {
        SCOPED_TRACE(rule + "\n" + given);
        std::vector<std::string> operations;
        for (size_t at = 0, end = 0; end != std::string::npos; at = end + 2) {
            end = given.find(", ", at);
            operations.push_back(given.substr(at, end - at));
        }
        ARecorder connection;
        {
            AHIDKeyboardAction keyboard(operations[0] == "unconnected" ? nullptr : &connection);
            for (const std::string& operation : operations) {
                const bool fails = operation[0] == '!';
                const std::string name = operation.substr(fails, operation.find(' ') - fails);
                const std::string argument = operation.substr(std::min(operation.size(), name.size() + fails + 1));
                const int code = std::atoi(argument.c_str());
                bool posted = true;
                if (name == "key")
                    posted = keyboard.PostKey(code);
                else if (name == "aux")
                    posted = keyboard.PostAuxKey(code);
                else if (name == "sys")
                    posted = keyboard.PostSysDefinedKey(code);
                else if (name == "down" || name == "up")
                    posted = keyboard.PostVirtualKey(code, name == "up");
                else if (name == "clear")
                    keyboard.ClearModifiers();
                else if (name == "play")
                    PlayKeyStrokeList(&connection, argument);
                else if (name == "failing")
                    connection.fFailing = argument;
                else if (name == "modifiers")
                    EXPECT_EQ(keyboard.GetModifiers(), std::stoul(argument, nullptr, 16)) << operation;
                else
                    EXPECT_EQ(name, "unconnected") << operation;
                EXPECT_EQ(posted, !fails) << operation;
            }
        }
        EXPECT_EQ(connection.fText, expected);
    }
}
