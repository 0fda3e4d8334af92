#include "keys/ANXEventTranslator.h"

#include "tests/support/ANXEventBuilders.h"
#include "tests/support/ARecordingVirtualKeyboard.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Plays a script of posted events, one a word, and returns what was emitted
// after the last "|" (what comes before it is set-up):
//   d<code> u<code>  key down, key up of a Mac key code
//   f<KSCOM>         flags change to Caps Lock, Shift, Control, Option, Command
//                    ("f" alone: none); F<hex> to that whole mask
//   a<aux>/<state>   auxiliary control key; s<subtype>/<word> system-defined (hex)
//   t<type>          an event of another type, with Shift in its flags
//   r                release all
std::vector<AEvdevEvent> Play(ANXEventTranslator& translator, const std::string& script)
{
    std::vector<AEvdevEvent> events;
    std::istringstream words(script);
    for (std::string word; words >> word;) {
        unsigned long number = 0;
        unsigned second = 0;
        std::sscanf(word.c_str() + 1, "%lu/%x", &number, &second);
        uint32_t flags = word[0] == 'F' ? std::stoul(word.substr(1), nullptr, 16) : 0;
        for (size_t i = 1; word[0] == 'f' && i < word.size(); ++i)
            flags |= NX_ALPHASHIFTMASK << std::string("KSCOM").find(word[i]);
        switch (word[0]) {
        case '|': events.clear(); break;
        case 'd': translator.Translate(NX_KEYDOWN, KeyData(number), 0, events); break;
        case 'u': translator.Translate(NX_KEYUP, KeyData(number), 0, events); break;
        case 'f':
        case 'F': translator.Translate(NX_FLAGSCHANGED, KeyData(0), flags, events); break;
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
    const char* const rows[][3] = {  // the rule, the script, the key events without their SYN_REPORTs
        {"key down and up press and release the table's key", "d0 u0 d105", "KEY_A down, KEY_A up, KEY_SYSRQ down"},
        {"Shift, Command, 3, Command, Shift (the list 56|55|20|55|56)", "fS fSM d20 u20 fS f",
         "KEY_LEFTSHIFT down, KEY_LEFTMETA down, KEY_3 down, KEY_3 up, KEY_LEFTMETA up, KEY_LEFTSHIFT up"},
        {"other event types change no key nor flag", "t0 t1 t2 t5 t13 t15 t16 t4294967295 r", ""},
        {"codes without a key give nothing", "d52 u52 d127 u127 d128 d255 d65535 u65535", ""},
        {"the input core would drop releasing a key that is up, pressing one that is down", "u0 d0 | d0 u0",
         "KEY_A up"},
        {"several modifiers at once press in order Shift, Control, Option, Command", "fMOCS",
         "KEY_LEFTSHIFT down, KEY_LEFTCTRL down, KEY_LEFTALT down, KEY_LEFTMETA down"},
        {"a second modifier joins the first", "fS | fSM", "KEY_LEFTMETA down"},
        {"modifiers release in the reverse order", "fSM | f", "KEY_LEFTMETA up, KEY_LEFTSHIFT up"},
        {"a swap releases before it presses", "fS | fC", "KEY_LEFTSHIFT up, KEY_LEFTCTRL down"},
        {"Caps Lock on is one click", "fK", "KEY_CAPSLOCK down, KEY_CAPSLOCK up"},
        {"Caps Lock off is one more click", "fKS | fS", "KEY_CAPSLOCK down, KEY_CAPSLOCK up"},
        {"the same mask again changes nothing", "fS | fS", ""},
        {"other flag bits are not modifiers", "fS | FA20001 r", "KEY_LEFTSHIFT up"},
        {"a modifier held through its key is not pressed by its flag, and released once", "d56 | fS f u56",
         "KEY_LEFTSHIFT up"},
        {"auxiliary keys down are full clicks", "a0/A a1/A a7/A r",
         "KEY_VOLUMEUP down, KEY_VOLUMEUP up, KEY_VOLUMEDOWN down, KEY_VOLUMEDOWN up, KEY_MUTE down, KEY_MUTE up"},
        {"a repeat flag does not stop the click", "s8/70A01", "KEY_MUTE down, KEY_MUTE up"},
        {"the eject event is a click", "s10/0", "KEY_EJECTCD down, KEY_EJECTCD up"},
        {"key up state, an auxiliary key not sent, other subtypes: nothing", "a7/B a16/A s7/A00 s0/0 r", ""},
        {"release all toggles Caps Lock back and releases every key latest first, once", "fKSM d0 d11 | r r",
         "KEY_LEFTMETA up, KEY_LEFTSHIFT up, KEY_CAPSLOCK down, KEY_CAPSLOCK up, KEY_B up, KEY_A up"},
    };
    for (const auto& [rule, script, keys] : rows) {
        SCOPED_TRACE(rule);
        ANXEventTranslator translator;
        const std::vector<AEvdevEvent> events = Play(translator, script);
        for (size_t i = 0; i < events.size(); ++i)
            EXPECT_EQ(events[i].fType, i % 2 == 0 ? EV_KEY : EV_SYN) << i;
        std::string written = FormatEvdevEvents(events);
        for (size_t at; (at = written.find(", SYN_REPORT")) != std::string::npos;)
            written.erase(at, 12);
        EXPECT_EQ(written, keys);
    }
    ANXEventTranslator translator;
    Play(translator, "fKC d0 d11 u0 F50001");  // the last: the same modifiers, and a bit that is none
    EXPECT_EQ(translator.GetModifiers(), NX_ALPHASHIFTMASK | NX_CONTROLMASK);
    EXPECT_EQ(translator.GetHeldKeys(), (std::vector<uint16_t>{KEY_LEFTCTRL, KEY_B}));
}

TEST(ANXEventTranslator, TheKeysItCanSendAreExactlyTheKeysTheKeyboardEnables)
{
    const std::vector<uint16_t> enabled = ANXEventTranslator::EmittedKeyCodes();
    ANXEventTranslator translator;
    std::string script = "fKSCOM f r";
    for (int code = 0; code < 256; ++code)
        script += " d" + std::to_string(code) + " a" + std::to_string(code) + "/A s" + std::to_string(code) + "/0";
    std::vector<uint16_t> sent;
    for (const AEvdevEvent& event : Play(translator, script + " r"))
        sent.insert(sent.end(), event.fType == EV_KEY ? 1 : 0, event.fCode);
    std::sort(sent.begin(), sent.end());
    sent.erase(std::unique(sent.begin(), sent.end()), sent.end());
    EXPECT_EQ(sent, enabled);  // sorted, too
}
