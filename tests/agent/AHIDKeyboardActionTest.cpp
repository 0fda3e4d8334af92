#include "agent/AHIDKeyboardAction.h"

#include "tests/support/ARecordingEventSystem.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t kKeyCodeOffset = offsetof(ANXEventData, key.keyCode);
constexpr std::size_t kSubTypeOffset = offsetof(ANXEventData, compound.subType);
constexpr std::size_t kFirstWordOffset = offsetof(ANXEventData, compound.misc.L);

constexpr uint8_t kShift = 56, kCommand = 55, kCapsLock = 57, kOption = 58, kControl = 59;
constexpr uint8_t kRightCommand = 54;

// What one post must look like; the data bytes outside [fSetOffset,
// fSetOffset + fSetSize) must be 0.
struct AExpectedPost {
    uint32_t fType;
    uint32_t fFlags;
    uint32_t fOptions;
    std::size_t fSetOffset = 0;
    std::size_t fSetSize = 0;
};

void ExpectPosts(const std::vector<APostedEvent>& posts, const std::vector<AExpectedPost>& expected,
                 const std::string& rule)
{
    ASSERT_EQ(posts.size(), expected.size()) << rule;
    for (std::size_t i = 0; i < posts.size(); ++i) {
        SCOPED_TRACE(rule + ", post " + std::to_string(i));
        EXPECT_EQ(posts[i].fType, expected[i].fType);
        EXPECT_EQ(posts[i].fFlags, expected[i].fFlags);
        EXPECT_EQ(posts[i].fOptions, expected[i].fOptions);
        EXPECT_EQ(posts[i].fDataVersion, 2u);
        EXPECT_TRUE(posts[i].ZeroExcept(expected[i].fSetOffset, expected[i].fSetSize));
    }
}

const AExpectedPost kClearing{NX_FLAGSCHANGED, 0, kIOHIDSetGlobalEventFlags};

} // namespace

TEST(AHIDKeyboardAction, EachOperationPostsItsEventsAndDestructionClearsTheFlags)
{
    struct ARow {
        std::string fRule;
        std::function<bool(AHIDKeyboardAction&)> fOperation;
        std::vector<AExpectedPost> fPosts;  // before the clearing at destruction
    };
    const std::vector<ARow> rows = {
        {"PostKey posts key down then key up, only the key code set",
         [](AHIDKeyboardAction& keyboard) { return keyboard.PostKey(20); },
         {{NX_KEYDOWN, 1, 0, kKeyCodeOffset, 2}, {NX_KEYUP, 1, 0, kKeyCodeOffset, 2}}},
        {"PostAuxKey posts one system-defined key down, no key up",
         [](AHIDKeyboardAction& keyboard) { return keyboard.PostAuxKey(NX_KEYTYPE_MUTE); },
         {{NX_SYSDEFINED, 0, 0, kSubTypeOffset, 2 + 4}}},
        {"PostSysDefinedKey sets only the subtype",
         [](AHIDKeyboardAction& keyboard) { return keyboard.PostSysDefinedKey(NX_SUBTYPE_EJECT_KEY); },
         {{NX_SYSDEFINED, 0, 0, kSubTypeOffset, 2}}},
        {"PostVirtualKey posts the new mask as global flags, with no data",
         [](AHIDKeyboardAction& keyboard) { return keyboard.PostVirtualKey(kOption, false); },
         {{NX_FLAGSCHANGED, NX_ALTERNATEMASK, kIOHIDSetGlobalEventFlags}}},
    };
    for (const ARow& row : rows) {
        ARecordingEventSystem connection;
        {
            AHIDKeyboardAction keyboard(&connection);
            EXPECT_TRUE(row.fOperation(keyboard)) << row.fRule;
        }
        std::vector<AExpectedPost> expected = row.fPosts;
        expected.push_back(kClearing);
        ExpectPosts(connection.Posts(), expected, row.fRule);
    }
}

TEST(AHIDKeyboardAction, DataWordsCarryTheKeyCodeAuxKeyAndSubtype)
{
    ARecordingEventSystem connection;
    AHIDKeyboardAction keyboard(&connection);
    keyboard.PostKey(111);
    keyboard.PostAuxKey(NX_KEYTYPE_MUTE);
    keyboard.PostAuxKey(NX_KEYTYPE_SOUND_DOWN);
    keyboard.PostSysDefinedKey(NX_SUBTYPE_EJECT_KEY);
    const auto& posts = connection.Posts();
    ASSERT_EQ(posts.size(), 5u);
    EXPECT_EQ(posts[0].Data().key.keyCode, 111);
    EXPECT_EQ(posts[1].Data().key.keyCode, 111);
    // Aux key in bits 16-23, key state 0x0A (down) in bits 8-15, repeat 0.
    EXPECT_EQ(posts[2].Data().compound.subType, NX_SUBTYPE_AUX_CONTROL_BUTTONS);
    EXPECT_EQ(static_cast<uint32_t>(posts[2].Data().compound.misc.L[0]), 0x00070A00u);
    EXPECT_EQ(static_cast<uint32_t>(posts[3].Data().compound.misc.L[0]), 0x00010A00u);
    EXPECT_EQ(posts[4].Data().compound.subType, NX_SUBTYPE_EJECT_KEY);
    EXPECT_EQ(posts[4].Data().compound.misc.L[0], 0);
}

TEST(AHIDKeyboardAction, ModifierFlagsFollowPressesAndReleasesOfTheLeftHandKeys)
{
    using ASteps = std::vector<std::pair<uint8_t, bool>>;  // key code, up
    struct ARow {
        std::string fRule;
        ASteps fSteps;
        std::vector<uint32_t> fFlags;  // posted by each step
    };
    const std::vector<ARow> rows = {
        {"flags accumulate and release one by one",
         {{kShift, false}, {kCommand, false}, {kCommand, true}, {kShift, true}},
         {NX_SHIFTMASK, NX_SHIFTMASK | NX_COMMANDMASK, NX_SHIFTMASK, 0}},
        {"each modifier has its own flag",
         {{kCapsLock, false}, {kControl, false}, {kOption, false}},
         {NX_ALPHASHIFTMASK, NX_ALPHASHIFTMASK | NX_CONTROLMASK,
          NX_ALPHASHIFTMASK | NX_CONTROLMASK | NX_ALTERNATEMASK}},
        {"pressing twice sets the flag once", {{kShift, false}, {kShift, false}, {kShift, true}},
         {NX_SHIFTMASK, NX_SHIFTMASK, 0}},
        {"releasing what was never pressed posts the unchanged mask", {{kShift, false}, {kCommand, true}},
         {NX_SHIFTMASK, NX_SHIFTMASK}},
        {"right Command and other codes change no flag",
         {{kCommand, false}, {kRightCommand, false}, {60, false}, {0, false}, {kRightCommand, true}},
         {NX_COMMANDMASK, NX_COMMANDMASK, NX_COMMANDMASK, NX_COMMANDMASK, NX_COMMANDMASK}},
    };
    for (const ARow& row : rows) {
        ARecordingEventSystem connection;
        AHIDKeyboardAction keyboard(&connection);
        std::vector<AExpectedPost> expected;
        for (auto [keyCode, up] : row.fSteps)
            EXPECT_TRUE(keyboard.PostVirtualKey(keyCode, up)) << row.fRule;
        for (uint32_t flags : row.fFlags)
            expected.push_back({NX_FLAGSCHANGED, flags, kIOHIDSetGlobalEventFlags});
        ExpectPosts(connection.Posts(), expected, row.fRule);
        EXPECT_EQ(keyboard.GetModifiers(), row.fFlags.back()) << row.fRule;
    }
}

TEST(AHIDKeyboardAction, ClearModifiersForgetsHeldModifiersAndPostsNoFlags)
{
    ARecordingEventSystem connection;
    AHIDKeyboardAction keyboard(&connection);
    keyboard.PostVirtualKey(kShift, false);
    keyboard.PostVirtualKey(kCommand, false);
    keyboard.ClearModifiers();
    EXPECT_EQ(keyboard.GetModifiers(), 0u);
    ASSERT_EQ(connection.Posts().size(), 3u);
    ExpectPosts({connection.Posts().back()}, {kClearing}, "ClearModifiers");
}

TEST(AHIDKeyboardAction, WithoutConnectionEveryOperationFailsAndNothingChanges)
{
    AHIDKeyboardAction keyboard(nullptr);
    EXPECT_FALSE(keyboard.PostKey(0));
    EXPECT_FALSE(keyboard.PostVirtualKey(kShift, false));
    EXPECT_EQ(keyboard.GetModifiers(), 0u);
    EXPECT_FALSE(keyboard.PostAuxKey(NX_KEYTYPE_SOUND_UP));
    EXPECT_FALSE(keyboard.PostSysDefinedKey(NX_SUBTYPE_EJECT_KEY));
    keyboard.ClearModifiers();
    EXPECT_EQ(keyboard.GetModifiers(), 0u);
}

TEST(AHIDKeyboardAction, FailedPostsAreReportedAndTheirEffectsStay)
{
    ARecordingEventSystem connection;
    AHIDKeyboardAction keyboard(&connection);
    connection.FailPosts(true);
    EXPECT_FALSE(keyboard.PostVirtualKey(kShift, false));
    EXPECT_EQ(keyboard.GetModifiers(), NX_SHIFTMASK);  // the press counts although its post failed
    EXPECT_FALSE(keyboard.PostAuxKey(NX_KEYTYPE_SOUND_UP));
    EXPECT_FALSE(keyboard.PostSysDefinedKey(NX_SUBTYPE_EJECT_KEY));
    connection.FailPosts(false);

    // PostKey answers with its key up's result, and posts the key up even
    // when the key down failed.
    connection.FailPostsOfType(NX_KEYDOWN);
    const std::size_t before = connection.Posts().size();
    EXPECT_TRUE(keyboard.PostKey(0));
    EXPECT_EQ(connection.Posts().size(), before + 2);
    connection.FailPostsOfType(NX_KEYUP);
    EXPECT_FALSE(keyboard.PostKey(0));
    connection.FailPostsOfType(std::nullopt);
    EXPECT_TRUE(keyboard.PostVirtualKey(kShift, true));
    EXPECT_EQ(keyboard.GetModifiers(), 0u);
}
