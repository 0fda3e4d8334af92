#include "platform/input/AEvdevEventSystem.h"
#include "platform/input/AUinputKeyboard.h"

#include "tests/support/ANXEventBuilders.h"
#include "tests/support/ARecordingVirtualKeyboard.h"
#include "tests/support/ATestPaths.h"

#include <gtest/gtest.h>
#include <libevdev/libevdev.h>

#include <fcntl.h>
#include <poll.h>

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

// Runs only where /dev/uinput can be used (not on the test machines).
TEST(AUinputKeyboard, RealDeviceDeliversTheEventsWritten)
{
    std::unique_ptr<AUinputKeyboard> keyboard = AUinputKeyboard::Create(ANXEventTranslator::EmittedKeyCodes());
    const int fd = keyboard ? open(keyboard->GetDeviceNode().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
    libevdev* reader = nullptr;
    if (fd < 0 || libevdev_new_from_fd(fd, &reader) != 0)
        GTEST_SKIP() << "no usable /dev/uinput";
    EXPECT_STREQ(libevdev_get_name(reader), AUinputKeyboard::kDeviceName);
    const AEvdevEvent click[] = {{EV_KEY, KEY_A, 1}, {EV_SYN, SYN_REPORT, 0}, {EV_KEY, KEY_A, 0}, {EV_SYN, SYN_REPORT, 0}};
    ASSERT_TRUE(keyboard->Emit(click));
    std::vector<AEvdevEvent> read;
    for (pollfd waiting{fd, POLLIN, 0}; read.size() < 4 && poll(&waiting, 1, 5000) == 1;)
        for (input_event event; libevdev_next_event(reader, LIBEVDEV_READ_FLAG_NORMAL, &event) == LIBEVDEV_READ_STATUS_SUCCESS;)
            read.push_back({event.type, event.code, event.value});
    EXPECT_EQ(FormatEvdevEvents(read), "KEY_A down, SYN_REPORT, KEY_A up, SYN_REPORT");
    libevdev_free(reader);
    close(fd);
}
