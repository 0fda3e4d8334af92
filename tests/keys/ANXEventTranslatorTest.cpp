#include "keys/ANXEventTranslator.h"

#include "tests/support/ANXEventBuilders.h"
#include "tests/support/ARecordingVirtualKeyboard.h"
#include "tests/support/ATestPaths.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <cstdio>
#include <set>
#include <sstream>

namespace {

// Plays a script of posted events (tests/fixtures/keys/translator.txt) and
// returns what was emitted after its last "|".
std::vector<AEvdevEvent> Play(ANXEventTranslator& translator, const std::string& script)
{
    std::vector<AEvdevEvent> events;
    std::istringstream words(script);
    for (std::string word; words >> word;) {
        unsigned long number = 0, second = 0;
        std::sscanf(word.c_str() + 1, "%lu/%lx", &number, &second);
        uint32_t flags = word[0] == 'F' ? std::stoul(word.substr(1), nullptr, 16) : 0;
        for (size_t i = 1; word[0] == 'f' && i < word.size(); ++i)
            flags |= NX_ALPHASHIFTMASK << std::string("KSCOM").find(word[i]);
        switch (word[0]) {
        case '|': events.clear(); break;
        case 'd': translator.Translate(NX_KEYDOWN, KeyData(number), 0, events); break;
        case 'u': translator.Translate(NX_KEYUP, KeyData(number), 0, events); break;
        case 'f': case 'F': translator.Translate(NX_FLAGSCHANGED, KeyData(0), flags, events); break;
        case 'a': translator.Translate(NX_SYSDEFINED, AuxKeyData(number, second), 0, events); break;
        case 's': translator.Translate(NX_SYSDEFINED, SystemDefinedData(number, second), 0, events); break;
        case 't': translator.Translate(number, KeyData(0), NX_SHIFTMASK, events); break;
        case 'r': translator.ReleaseAll(events); break;
        default: ADD_FAILURE() << "bad script word " << word;
        }
    }
    return events;
}

} // namespace

TEST(ANXEventTranslator, PostedEventsBecomeTheseKeyEventsEachFollowedByASynReport)
{
    for (const auto& [rule, script, keys] : ReadFixtureRows("keys/translator.txt")) {
        std::istringstream events(keys);
        std::string expected;  // each key event followed by its SYN_REPORT
        for (std::string key; std::getline(events >> std::ws, key, ',');)
            expected += key + ", SYN_REPORT, ";
        ANXEventTranslator translator;
        EXPECT_EQ(FormatEvdevEvents(Play(translator, script)) + (keys.empty() ? "" : ", "), expected) << rule;
    }
    ANXEventTranslator translator;
    Play(translator, "fKC d0 d11 u0 F50001");  // the last: the same modifiers, and a bit that is none
    EXPECT_EQ(translator.GetModifiers(), NX_ALPHASHIFTMASK | NX_CONTROLMASK);
    EXPECT_EQ(translator.GetHeldKeys(), (std::vector<uint16_t>{KEY_LEFTCTRL, KEY_B}));
}

TEST(ANXEventTranslator, TheKeysItCanSendAreExactlyTheKeysTheKeyboardEnables)
{
    std::string script = "fKSCOM f r";
    for (int code = 0; code < 256; ++code)
        script += " d" + std::to_string(code) + " a" + std::to_string(code) + "/A s" + std::to_string(code) + "/0";
    ANXEventTranslator translator;
    std::set<uint16_t> sent;
    for (const AEvdevEvent& event : Play(translator, script + " r"))
        if (event.fType == EV_KEY)
            sent.insert(event.fCode);
    EXPECT_EQ(std::vector<uint16_t>(sent.begin(), sent.end()), ANXEventTranslator::EmittedKeyCodes());  // sorted, too
}
