// Key-stroke lists and the fixed key actions, at the event-system level: what
// one keyboard action posts for them.

#include "agent/AButtonActions.h"
#include "agent/AKeySteps.h"

#include "tests/support/ARecordingEventSystem.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// One post as text: "down 20", "up 20", "flags 0x120000", "aux 7", "sys 10".
std::string Describe(const APostedEvent& post)
{
    const ANXEventData data = post.Data();
    char text[64];
    switch (post.fType) {
    case NX_KEYDOWN:
        std::snprintf(text, sizeof text, "down %u", data.key.keyCode);
        break;
    case NX_KEYUP:
        std::snprintf(text, sizeof text, "up %u", data.key.keyCode);
        break;
    case NX_FLAGSCHANGED:
        std::snprintf(text, sizeof text, "flags 0x%x", post.fFlags);
        break;
    case NX_SYSDEFINED:
        if (data.compound.subType == NX_SUBTYPE_AUX_CONTROL_BUTTONS)
            std::snprintf(text, sizeof text, "aux %d", (data.compound.misc.L[0] >> 16) & 0xFF);
        else
            std::snprintf(text, sizeof text, "sys %d", data.compound.subType);
        break;
    default:
        std::snprintf(text, sizeof text, "type %u", post.fType);
    }
    return text;
}

std::string Describe(const ARecordingEventSystem& connection)
{
    std::string text;
    for (const APostedEvent& post : connection.Posts())
        text += (text.empty() ? "" : ", ") + Describe(post);
    return text;
}

std::string PlayList(const std::string& list)
{
    ARecordingEventSystem connection;
    PlayKeyStrokeList(&connection, list);
    return Describe(connection);
}

std::string PlaySteps(std::span<const AKeyStep> steps)
{
    ARecordingEventSystem connection;
    PlayKeySteps(&connection, steps);
    return Describe(connection);
}

} // namespace

TEST(AKeySteps, ReadsEachPieceAsALeadingIntegerKeepingItsLow16Bits)
{
    const struct {
        const char* fText;
        std::vector<uint16_t> fCodes;
    } cases[] = {
        {"", {}},
        {"0", {0}},
        {"56|55|20|55|56", {56, 55, 20, 55, 56}},
        {"1||2|", {1, 0, 2, 0}},         // empty pieces are key code 0
        {" 7x|+3|abc", {7, 3, 0}},       // blanks and a sign; no digits gives 0
        {"-1|65536|65591", {65535, 0, 55}},
        {"99999999999", {65535}},        // clamped to the 32-bit limit first
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadKeyStrokeList(c.fText), c.fCodes) << '"' << c.fText << '"';
}

TEST(AKeySteps, ModifiersToggleAndOtherCodesAreWholeKeyPresses)
{
    const struct {
        const char* fList;
        const char* fPosts;
    } cases[] = {
        // Shift-Command-3: modifiers down, the key, modifiers up, then the
        // action's closing flags change.
        {"56|55|20|55|56",
         "flags 0x20000, flags 0x120000, down 20, up 20, flags 0x20000, flags 0x0, flags 0x0"},
        {"0", "down 0, up 0, flags 0x0"},
        // A modifier left down is released when the action ends.
        {"55|0", "flags 0x100000, down 0, up 0, flags 0x0"},
        {"55|0|55", "flags 0x100000, down 0, up 0, flags 0x0, flags 0x0"},
        // Caps Lock, Control, Option toggle like the others.
        {"57|59|58|58|59|57", "flags 0x10000, flags 0x50000, flags 0xd0000, flags 0x50000, flags 0x10000, "
                              "flags 0x0, flags 0x0"},
        // 256 and above: posted as the low 8 bits; a modifier only when the
        // low 16 bits are one.
        {"256|311", "down 0, up 0, down 55, up 55, flags 0x0"},
        {"65591|65591", "flags 0x100000, flags 0x0, flags 0x0"},
        // Right-hand Command (54) is an ordinary key here.
        {"54", "down 54, up 54, flags 0x0"},
        {"1||", "down 1, up 1, down 0, up 0, down 0, up 0, flags 0x0"},
        // Nothing to play: not even the closing flags change.
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlayList(c.fList), c.fPosts) << '"' << c.fList << '"';
}

TEST(AButtonActions, EachPredefinedFunctionPostsItsKeysOrNamesItsScript)
{
    const struct {
        uint16_t fNumber;
        const char* fPosts;   // for a key function
        const char* fScript;  // for a script function
    } cases[] = {
        {0, "sys 10, flags 0x0", nullptr},
        {1, "flags 0x20000, flags 0x120000, down 20, up 20, flags 0x20000, flags 0x0, flags 0x0", nullptr},
        {2, "flags 0x100000, down 0, up 0, flags 0x0, flags 0x0", nullptr},
        {3, "aux 0, flags 0x0", nullptr},
        {4, "aux 1, flags 0x0", nullptr},
        {5, "aux 7, flags 0x0", nullptr},
        {6, "down 101, up 101, flags 0x0", nullptr},
        {7, "down 109, up 109, flags 0x0", nullptr},
        {8, "down 103, up 103, flags 0x0", nullptr},
        {9, "down 111, up 111, flags 0x0", nullptr},
        {10, nullptr, "FirefoxForward.scpt"},
        {11, nullptr, "FirefoxBack.scpt"},
        {12, nullptr, "iTunesPlayPause.scpt"},
        {13, nullptr, "iTunesStop.scpt"},
    };
    for (const auto& c : cases) {
        const AButtonAction* function = FindPredefinedFunction(c.fNumber);
        ASSERT_NE(function, nullptr) << c.fNumber;
        if (c.fScript != nullptr) {
            ASSERT_NE(function->fScript, nullptr) << c.fNumber;
            EXPECT_STREQ(function->fScript, c.fScript);
            EXPECT_TRUE(function->fKeySteps.empty());
        } else {
            EXPECT_EQ(function->fScript, nullptr) << c.fNumber;
            EXPECT_EQ(PlaySteps(function->fKeySteps), c.fPosts) << c.fNumber;
        }
    }
    EXPECT_EQ(FindPredefinedFunction(14), nullptr);
    EXPECT_EQ(FindPredefinedFunction(65535), nullptr);
}

TEST(AButtonActions, DefaultAndPresentationActions)
{
    ASSERT_NE(FindDefaultAction(4), nullptr);
    EXPECT_STREQ(FindDefaultAction(4)->fScript, "SafariBack.scpt");
    ASSERT_NE(FindDefaultAction(5), nullptr);
    EXPECT_STREQ(FindDefaultAction(5)->fScript, "SafariForward.scpt");
    for (int32_t other : {-1, 0, 3, 6, 1 << 30})
        EXPECT_EQ(FindDefaultAction(other), nullptr) << other;

    const AButtonAction* keys = FindPresentationAction(0);
    ASSERT_NE(keys, nullptr);
    EXPECT_EQ(keys->fScript, nullptr);
    // Option-Command-P.
    EXPECT_EQ(PlaySteps(keys->fKeySteps),
              "flags 0x80000, flags 0x180000, down 35, up 35, flags 0x80000, flags 0x0, flags 0x0");
    ASSERT_NE(FindPresentationAction(1), nullptr);
    EXPECT_STREQ(FindPresentationAction(1)->fScript, "PowerPointStart.scpt");
    for (int32_t other : {-1, 2, 3})
        EXPECT_EQ(FindPresentationAction(other), nullptr) << other;
}
