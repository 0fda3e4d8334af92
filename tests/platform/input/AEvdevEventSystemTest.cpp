#include "platform/input/AEvdevEventSystem.h"
#include "platform/input/AUinputKeyboard.h"

#include "tests/support/ANXEventBuilders.h"
#include "tests/support/ARecordingVirtualKeyboard.h"
#include "tests/support/ATestPaths.h"

#include <gtest/gtest.h>
#include <libevdev/libevdev.h>
#include <linux/input-event-codes.h>

#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <unistd.h>

TEST(AEvdevEventSystem, EachPostIsOneBatchOfItsKeyChangesAndWhatIsHeldIsReleasedWhenItGoes)
{
    auto keyboard = std::make_unique<ARecordingVirtualKeyboard>();
    ARecordingVirtualKeyboard& recorder = *keyboard;
    auto record = keyboard->Record();
    auto connection = std::make_unique<AEvdevEventSystem>(std::move(keyboard));
    EXPECT_TRUE(connection->PostEvent(NX_KEYDOWN, KeyData(0), kNXEventDataVersion, 1, 0));
    EXPECT_TRUE(connection->PostEvent(NX_FLAGSCHANGED, KeyData(0), kNXEventDataVersion,
                                      NX_CONTROLMASK | NX_SHIFTMASK, kIOHIDSetGlobalEventFlags));
    EXPECT_EQ(recorder.EmitCount(), 2);
    // Accepted, but nothing to write: no key, or no change.
    EXPECT_TRUE(connection->PostEvent(NX_KEYDOWN, KeyData(52), kNXEventDataVersion, 1, 0));
    EXPECT_TRUE(connection->PostEvent(NX_KEYDOWN, KeyData(0), kNXEventDataVersion, 1, 0));
    // Event data of another version is refused and changes nothing.
    EXPECT_FALSE(connection->PostEvent(NX_KEYUP, KeyData(0), 1, 1, 0));
    EXPECT_EQ(recorder.EmitCount(), 2);
    EXPECT_EQ(FormatEvdevEvents(recorder.Events()),
              "KEY_A down, SYN_REPORT, KEY_LEFTSHIFT down, SYN_REPORT, KEY_LEFTCTRL down, SYN_REPORT");
    // A failed write is the post's failure; B counts as held, as part of the write may have gone.
    recorder.FailWrites(true);
    EXPECT_FALSE(connection->PostEvent(NX_KEYDOWN, KeyData(11), kNXEventDataVersion, 1, 0));
    recorder.FailWrites(false);
    record->clear();
    connection.reset();
    EXPECT_EQ(FormatEvdevEvents(*record), "KEY_LEFTCTRL up, SYN_REPORT, KEY_LEFTSHIFT up, SYN_REPORT, "
                                          "KEY_B up, SYN_REPORT, KEY_A up, SYN_REPORT");
}

TEST(AEvdevEventSystem, OpeningFailsQuietlyWithoutAUsableUinputNode)
{
    ATemporaryFolder folder;
    WriteWholeFile(folder.Path() / "plain", "");
    auto openDescriptors = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    const auto descriptors = openDescriptors();
    EXPECT_EQ(AEvdevEventSystem::Open(folder.Path() / "uinput"), nullptr);
    EXPECT_EQ(AUinputKeyboard::Create(std::vector<uint16_t>{KEY_A}, folder.Path() / "uinput"), nullptr);
    // Opens, but is no uinput node: the device cannot be made, and the
    // descriptor is not kept.
    EXPECT_EQ(AEvdevEventSystem::Open(folder.Path() / "plain"), nullptr);
    EXPECT_EQ(openDescriptors(), descriptors);
}

// Runs only where /dev/uinput can be used (not on the test machines): the
// real device, read back through its event node.
TEST(AUinputKeyboard, RealDeviceDeliversTheEventsWritten)
{
    const std::vector<uint16_t> keys = ANXEventTranslator::EmittedKeyCodes();
    std::unique_ptr<AUinputKeyboard> keyboard = AUinputKeyboard::Create(keys);
    if (!keyboard)
        GTEST_SKIP() << "no usable /dev/uinput";
    const std::filesystem::path node = keyboard->GetDeviceNode();
    const int fd = node.empty() ? -1 : open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        GTEST_SKIP() << "the device's event node is not reachable";
    libevdev* reader = nullptr;
    ASSERT_EQ(libevdev_new_from_fd(fd, &reader), 0);
    EXPECT_STREQ(libevdev_get_name(reader), AUinputKeyboard::kDeviceName);
    for (uint16_t key : keys)
        EXPECT_TRUE(libevdev_has_event_code(reader, EV_KEY, key)) << key;
    const AEvdevEvent click[] = {
        {EV_KEY, KEY_A, 1}, {EV_SYN, SYN_REPORT, 0}, {EV_KEY, KEY_A, 0}, {EV_SYN, SYN_REPORT, 0}};
    ASSERT_TRUE(keyboard->Emit(click));
    std::vector<AEvdevEvent> read;
    while (read.size() < 4) {
        pollfd waiting{fd, POLLIN, 0};
        ASSERT_EQ(poll(&waiting, 1, 5000), 1);
        input_event event;
        while (libevdev_next_event(reader, LIBEVDEV_READ_FLAG_NORMAL, &event) == LIBEVDEV_READ_STATUS_SUCCESS)
            read.push_back({event.type, event.code, event.value});
    }
    EXPECT_EQ(FormatEvdevEvents(read), "KEY_A down, SYN_REPORT, KEY_A up, SYN_REPORT");
    libevdev_free(reader);
    close(fd);
}
