#include "platform/input/AEvdevEventSystem.h"
#include "platform/input/AUinputKeyboard.h"
#include "base/AFileDescriptor.h"

#include "tests/support/ANXEventBuilders.h"
#include "tests/support/ARecordingVirtualKeyboard.h"
#include "tests/support/ATestPaths.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/input.h>

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

// Runs only where /dev/uinput can be used (not on the test machines; the qemu
// suite's keyboard and press rows read the real device there).
TEST(AUinputKeyboard, RealDeviceDeliversTheEventsWritten)
{
    auto keyboard = AUinputKeyboard::Create(ANXEventTranslator::EmittedKeyCodes());
    const AFileDescriptor fd(keyboard ? open(keyboard->GetDeviceNode().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1);
    if (!fd)
        GTEST_SKIP() << "no usable /dev/uinput";
    const AEvdevEvent click[] = {{EV_KEY, KEY_A, 1}, {EV_SYN, SYN_REPORT, 0}};
    ASSERT_TRUE(keyboard->Emit(click));
    input_event read[2] = {};
    ASSERT_EQ(::read(fd.Get(), read, sizeof read), ssize_t(sizeof read));
    const std::vector<AEvdevEvent> events = {{read[0].type, read[0].code, read[0].value}, {read[1].type, read[1].code, read[1].value}};
    EXPECT_EQ(FormatEvdevEvents(events), "KEY_A down, SYN_REPORT");
}
