#include "agent/AHIDDevice.h"

#include "hid/AHIDReportDescriptor.h"
#include "platform/ports/AMessagePort.h"
#include "tests/support/AHIDTestDescriptors.h"
#include "tests/support/ARecordingEventSystem.h"
#include "tests/support/ARunUntilIdle.h"
#include "tests/support/AStandInHIDBackend.h"
#include "tests/support/ATestPaths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr uint64_t kWait = 2000000;
constexpr uint32_t kReference = 0x01020304;

struct AReceived {
    int32_t fMessageId;
    AMessageData fPayload;
};

int32_t Word(const AMessageData& payload, size_t word)
{
    int32_t value = 0;
    std::memcpy(&value, payload.data() + word * sizeof value, sizeof value);
    return value;
}

// Cookies of the elements with this usage, in element order.
std::vector<uint32_t> CookiesOf(const std::vector<uint8_t>& descriptor, uint16_t page, uint16_t usage)
{
    std::vector<uint32_t> cookies;
    for (const AHIDElement& element : ParseReportDescriptor(descriptor).fElements) {
        if (element.fUsagePage == page && element.fUsage == usage)
            cookies.push_back(element.fCookie);
    }
    return cookies;
}

// A device on the stand-in backend, the agent's loop, and the agent's own
// "MouseClickPort" recording every message that reaches it.
class AHIDDeviceTest : public ::testing::Test {
protected:
    std::unique_ptr<AHIDDevice> Attach(const std::vector<uint8_t>& descriptor, EDeviceType type = kDeviceBTMouse)
    {
        fHandle = fBackend.AddDevice(0xFEED, 1002, descriptor);
        fBackend.Arrive({fHandle});
        return std::make_unique<AHIDDevice>(fBackend.CreateConnection(fBackend.GetService(fHandle)), type,
                                            &fEventSystem, fLoop, kReference,
                                            fBackend.GetService(fHandle).fKey);
    }

    // Sends the reports and serves the loop until every message they caused
    // has been received.
    void Send(const std::vector<std::vector<uint8_t>>& reports)
    {
        for (const auto& report : reports)
            ASSERT_TRUE(fBackend.SendReport(fHandle, report));
        ASSERT_TRUE(RunUntilIdle(fLoop));
    }

    static std::optional<AMessageData> Record(ALocalMessagePort*, int32_t messageId, const AMessageData* payload,
                                              void* info)
    {
        static_cast<AHIDDeviceTest*>(info)->fReceived.push_back({messageId, payload ? *payload : AMessageData{}});
        return std::nullopt;
    }

    ATemporaryFolder fRuntime;
    AScopedEnvironment fRuntimeVariable{"XDG_RUNTIME_DIR", fRuntime.Path().string()};
    AEventLoop fLoop;
    std::vector<AReceived> fReceived;
    std::unique_ptr<ALocalMessagePort> fPort = ALocalMessagePort::Create(fLoop, "MouseClickPort", Record, this);
    ARecordingEventSystem fEventSystem;
    AStandInHIDBackend fBackend;
    AStandInHIDBackend::AHandle fHandle = 0;
};

} // namespace

TEST_F(AHIDDeviceTest, EachWatchedPressSendsItsButtonIdAndTheDeviceReference)
{
    struct ARow {
        const char* fRule;
        std::vector<uint8_t> fPress;
        std::vector<uint8_t> fRelease;
        int32_t fButtonId;
    };
    const ARow rows[] = {
        {"mouse button 5 gives button id 4", MouseReport(kMouseButton5), MouseReport(0), 4},
        {"mouse button 4 gives button id 5", MouseReport(kMouseButton4), MouseReport(0), 5},
        {"the left-bracket key gives 4", KeyboardReport({kKeyBracketLeft}), KeyboardReport({}), 4},
        {"the right-bracket key gives 5", KeyboardReport({kKeyBracketRight}), KeyboardReport({}), 5},
    };
    ASSERT_NE(fPort, nullptr);
    auto device = Attach(kPointingDescriptor);
    ASSERT_TRUE(device->Setup());
    for (const ARow& row : rows) {
        SCOPED_TRACE(row.fRule);
        fReceived.clear();
        Send({row.fPress});
        ASSERT_EQ(fReceived.size(), 1u);
        EXPECT_EQ(fReceived[0].fMessageId, kClickMsgButton);
        ASSERT_EQ(fReceived[0].fPayload.size(), kClickButtonPayloadSize);
        EXPECT_EQ(Word(fReceived[0].fPayload, 0), row.fButtonId);
        EXPECT_EQ(static_cast<uint32_t>(Word(fReceived[0].fPayload, 1)), kReference);
        // The release sends nothing.
        Send({row.fRelease});
        EXPECT_EQ(fReceived.size(), 1u);
    }
}

TEST_F(AHIDDeviceTest, PressAndReleaseInOnePassSendOneMessageAndEachEventIsJudgedAlone)
{
    auto device = Attach(kPointingDescriptor);
    ASSERT_TRUE(device->Setup());
    // Both reports are read in one pass: two events, one press.
    Send({MouseReport(kMouseButton5), MouseReport(0)});
    ASSERT_EQ(fReceived.size(), 1u);
    EXPECT_EQ(Word(fReceived[0].fPayload, 0), 4);

    // Two presses in one report, then one released: two messages, in element order.
    fReceived.clear();
    Send({MouseReport(kMouseButton4 | kMouseButton5), MouseReport(kMouseButton4)});
    ASSERT_EQ(fReceived.size(), 2u);
    EXPECT_EQ(Word(fReceived[0].fPayload, 0), 5);
    EXPECT_EQ(Word(fReceived[1].fPayload, 0), 4);
}

TEST_F(AHIDDeviceTest, OnlyTheValueOneIsAPress)
{
    auto device = Attach(kWideButtonDescriptor);
    ASSERT_TRUE(device->Setup());
    Send({{2, 0, 0}, {3, 0, 0}, {0, 0, 0}});
    EXPECT_TRUE(fReceived.empty());
    Send({{1, 0, 0}});
    ASSERT_EQ(fReceived.size(), 1u);
    EXPECT_EQ(Word(fReceived[0].fPayload, 0), 4);
}

TEST_F(AHIDDeviceTest, BKeyPostsVirtualKey11AndSendsNothing)
{
    auto device = Attach(kPointingDescriptor);
    ASSERT_TRUE(device->Setup());
    Send({KeyboardReport({kKeyB}), KeyboardReport({})});
    EXPECT_TRUE(fReceived.empty());
    ASSERT_GE(fEventSystem.Posts().size(), 2u);
    EXPECT_EQ(fEventSystem.Posts()[0].fType, NX_KEYDOWN);
    EXPECT_EQ(fEventSystem.Posts()[0].Data().key.keyCode, 11);
    EXPECT_EQ(fEventSystem.Posts()[1].fType, NX_KEYUP);
    EXPECT_EQ(fEventSystem.Posts()[1].Data().key.keyCode, 11);
    // One press, one key stroke: the release posts nothing more.
    const size_t posts = fEventSystem.Posts().size();
    Send({KeyboardReport({kKeyB}), KeyboardReport({})});
    EXPECT_EQ(fEventSystem.Posts().size(), 2 * posts);
}

TEST_F(AHIDDeviceTest, PKeySendsThePresentationRecordWithTheDeviceType)
{
    for (const EDeviceType type : {kDevicePresenter, kDeviceUnknown}) {
        SCOPED_TRACE(type);
        fReceived.clear();
        auto device = Attach(kPointingDescriptor, type);
        ASSERT_TRUE(device->Setup());
        Send({KeyboardReport({kKeyP}), KeyboardReport({})});
        ASSERT_EQ(fReceived.size(), 1u);
        EXPECT_EQ(fReceived[0].fMessageId, kClickMsgPresentation);
        ASSERT_EQ(fReceived[0].fPayload.size(), 52u);
        EXPECT_EQ(Word(fReceived[0].fPayload, 4), type);  // bytes 16-19
        EXPECT_EQ(static_cast<uint32_t>(Word(fReceived[0].fPayload, 5 + kCookieKeyP)),
                  CookiesOf(kPointingDescriptor, 0x07, kKeyP).at(0));
    }
}

TEST_F(AHIDDeviceTest, DeviceWhoseElementsCannotBeReadSetsUpAndSendsNothing)
{
    auto device = Attach(kPointingDescriptor);
    fBackend.SetCopyElementsFails(fHandle, true);
    ASSERT_TRUE(device->Setup());
    for (const uint32_t cookie : CookiesOf(kPointingDescriptor, 0x09, 5))
        EXPECT_EQ(device->GetHIDElementCookieType(cookie), kCookieNone);
    Send({MouseReport(kMouseButton5), MouseReport(kMouseButton4), KeyboardReport({kKeyP, kKeyB, kKeyBracketLeft})});
    EXPECT_TRUE(fReceived.empty());
    EXPECT_TRUE(fEventSystem.Posts().empty());
}

TEST_F(AHIDDeviceTest, LaterOfTwoElementsOfOneKindIsWatched)
{
    const std::vector<uint32_t> button5 = CookiesOf(kTwoButtonSetsDescriptor, 0x09, 5);
    ASSERT_EQ(button5.size(), 2u);
    auto device = Attach(kTwoButtonSetsDescriptor);
    ASSERT_TRUE(device->Setup());
    EXPECT_EQ(device->GetHIDElementCookieType(button5[0]), kCookieNone);
    EXPECT_EQ(device->GetHIDElementCookieType(button5[1]), kCookieButton5);
    EXPECT_EQ(device->GetHIDElementCookieType(CookiesOf(kTwoButtonSetsDescriptor, 0x09, 4)[1]), kCookieButton4);
    EXPECT_EQ(device->GetHIDElementCookieType(0xDEAD), kCookieNone);

    Send({MouseReport(kMouseButton5, 0, 0, 1), MouseReport(0, 0, 0, 1)});
    EXPECT_TRUE(fReceived.empty());
    Send({MouseReport(kMouseButton5, 0, 0, 3)});
    ASSERT_EQ(fReceived.size(), 1u);
    EXPECT_EQ(Word(fReceived[0].fPayload, 0), 4);
}

TEST_F(AHIDDeviceTest, BurstOfPressesLongerThanTheQueueSendsEveryPressInOrder)
{
    auto device = Attach(kPointingDescriptor);
    ASSERT_TRUE(device->Setup());
    // Twenty presses and releases waiting before the loop runs (as when the
    // loop was held up): forty changes for a queue of eight.
    std::vector<std::vector<uint8_t>> reports;
    for (int i = 0; i < 20; ++i) {
        reports.push_back(MouseReport(i % 2 == 0 ? kMouseButton5 : kMouseButton4));
        reports.push_back(MouseReport(0));
    }
    Send(reports);
    ASSERT_EQ(fReceived.size(), 20u);
    for (size_t i = 0; i < fReceived.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(fReceived[i].fMessageId, kClickMsgButton);
        EXPECT_EQ(Word(fReceived[i].fPayload, 0), i % 2 == 0 ? 4 : 5);
    }
}

TEST_F(AHIDDeviceTest, PressIsDroppedWhileNobodyServesTheClickPort)
{
    auto device = Attach(kPointingDescriptor);
    ASSERT_TRUE(device->Setup());
    fPort.reset();
    Send({MouseReport(kMouseButton5), MouseReport(0)});
    fPort = ALocalMessagePort::Create(fLoop, "MouseClickPort", Record, this);
    ASSERT_NE(fPort, nullptr);
    Send({MouseReport(kMouseButton4)});
    ASSERT_EQ(fReceived.size(), 1u);
    EXPECT_EQ(Word(fReceived[0].fPayload, 0), 5);
}

TEST_F(AHIDDeviceTest, DetachIsSafeHalfSetUpAndTwiceAndClosesTheDevice)
{
    auto unopened = Attach(kPointingDescriptor);
    fBackend.SetOpenFails(fHandle, true);
    EXPECT_FALSE(unopened->Setup());
    unopened->Detach();
    unopened->Detach();
    unopened.reset();

    auto device = Attach(kPointingDescriptor);
    EXPECT_EQ(device->GetReference(), kReference);
    EXPECT_EQ(device->GetDeviceType(), kDeviceBTMouse);
    EXPECT_EQ(device->GetIOHIDSystemPort(), &fEventSystem);
    ASSERT_TRUE(device->Setup());
    EXPECT_EQ(fBackend.GetOpenConnectionCount(fHandle), 1u);
    device->Detach();
    EXPECT_EQ(fBackend.GetOpenConnectionCount(fHandle), 0u);
    device->Detach();
    EXPECT_FALSE(fBackend.SendReport(fHandle, MouseReport(kMouseButton5)));
    ASSERT_TRUE(RunUntilIdle(fLoop));
    EXPECT_TRUE(fReceived.empty());
}
