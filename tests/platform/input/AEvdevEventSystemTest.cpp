#include "platform/input/AEvdevEventSystem.h"

#include "tests/support/ANXEventBuilders.h"
#include "tests/support/ARecordingVirtualKeyboard.h"
#include "tests/support/ATestPaths.h"

#include <gtest/gtest.h>

TEST(AEvdevEventSystem, EachPostIsOneBatchOfItsKeyChangesAndWhatIsHeldIsReleasedWhenItGoes)
{
    auto keyboard = std::make_unique<ARecordingVirtualKeyboard>();
    ARecordingVirtualKeyboard& recorder = *keyboard;
    auto record = keyboard->Record();
    auto connection = std::make_unique<AEvdevEventSystem>(std::move(keyboard));
    const auto post = [&](uint32_t type, uint16_t key, uint32_t flags = 1, uint32_t options = 0, int version = kNXEventDataVersion) {
        return connection->PostEvent(type, KeyData(key), version, flags, options);
    };
    EXPECT_TRUE(post(NX_KEYDOWN, 0));
    EXPECT_TRUE(post(NX_FLAGSCHANGED, 0, NX_CONTROLMASK | NX_SHIFTMASK, kIOHIDSetGlobalEventFlags));
    EXPECT_TRUE(post(NX_KEYDOWN, 52) && post(NX_KEYDOWN, 0)) << "accepted with nothing to write: no key, no change";
    EXPECT_FALSE(post(NX_KEYUP, 0, 1, 0, 1)) << "event data of another version is refused";
    EXPECT_EQ(recorder.EmitCount(), 2);
    EXPECT_EQ(FormatEvdevEvents(*record),
              "KEY_A down, SYN_REPORT, KEY_LEFTSHIFT down, SYN_REPORT, KEY_LEFTCTRL down, SYN_REPORT");
    // A failed write is the post's failure; B counts as held, as part of the write may have gone.
    recorder.FailWrites(true);
    EXPECT_FALSE(post(NX_KEYDOWN, 11));
    recorder.FailWrites(false);
    record->clear();
    connection.reset();
    EXPECT_EQ(FormatEvdevEvents(*record), "KEY_LEFTCTRL up, SYN_REPORT, KEY_LEFTSHIFT up, SYN_REPORT, "
                                          "KEY_B up, SYN_REPORT, KEY_A up, SYN_REPORT");
}

// What the real uinput device delivers is read by the qemu suite's press rows.
TEST(AEvdevEventSystem, OpeningFailsQuietlyWithoutAUsableUinputNodeAndKeepsNoDescriptor)
{
    ATemporaryFolder folder;
    WriteWholeFile(folder.Path() / "plain", "");
    const auto descriptors = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
    const auto before = descriptors();
    EXPECT_EQ(AEvdevEventSystem::Open(folder.Path() / "uinput"), nullptr);
    EXPECT_EQ(AEvdevEventSystem::Open(folder.Path() / "plain"), nullptr);  // opens, but is no uinput node
    EXPECT_EQ(descriptors(), before);
}
