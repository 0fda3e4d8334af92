#include "platform/devices/AHIDQueue.h"

#include "hid/AHIDReportDescriptor.h"
#include "tests/support/AHIDTestDescriptors.h"
#include "tests/support/ARunUntilIdle.h"
#include "tests/support/AStandInHIDBackend.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

constexpr uint64_t kWait = 2000000;

uint32_t CookieOf(const std::vector<uint8_t>& descriptor, uint16_t page, uint16_t usage)
{
    const AHIDParseResult parsed = ParseReportDescriptor(descriptor);
    for (const AHIDElement& element : parsed.fElements) {
        if (element.fUsagePage == page && element.fUsage == usage)
            return element.fCookie;
    }
    return 0;
}

class AHIDQueueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fDevice = fBackend.AddDevice(0xFEED, 1001, kPointingDescriptor);
        fBackend.Arrive({fDevice});
        fConnection = fBackend.CreateConnection(fBackend.GetService(fDevice));
        ASSERT_TRUE(fConnection->Open());
        fQueue = std::make_unique<AHIDQueue>(*fConnection);
        ASSERT_TRUE(fQueue->Create(0, 8));
        ASSERT_NE(fButton4, 0u);
        ASSERT_NE(fButton5, 0u);
    }

    // Starts the queue with a callout that records each call and, when
    // fDrain is set, takes every event out.
    void Start()
    {
        ASSERT_TRUE(fQueue->CreateAsyncEventSource(fLoop));
        ASSERT_TRUE(fQueue->SetEventCallout(Callout, this, &fRefCon));
        ASSERT_TRUE(fQueue->Start());
    }

    static void Callout(void* target, int32_t result, void* refCon, void* sender)
    {
        auto* test = static_cast<AHIDQueueTest*>(target);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(refCon, &test->fRefCon);
        EXPECT_EQ(sender, test->fQueue.get());
        ++test->fCallouts;
        if (test->fDestroyInCallout) {
            test->fQueue.reset();
            return;
        }
        AHIDValueChange event;
        while (test->fDrain && test->fQueue->GetNextEvent(event))
            test->fEvents.push_back(event);
    }

    std::vector<AHIDValueChange> Drain()
    {
        std::vector<AHIDValueChange> events;
        AHIDValueChange event;
        while (fQueue->GetNextEvent(event))
            events.push_back(event);
        return events;
    }

    AEventLoop fLoop;
    AStandInHIDBackend fBackend;
    AStandInHIDBackend::AHandle fDevice = 0;
    std::unique_ptr<AHIDDeviceConnection> fConnection;
    std::unique_ptr<AHIDQueue> fQueue;
    const uint32_t fButton4 = CookieOf(kPointingDescriptor, 0x09, 4);
    const uint32_t fButton5 = CookieOf(kPointingDescriptor, 0x09, 5);
    int fRefCon = 0;
    int fCallouts = 0;
    bool fDrain = true;
    bool fDestroyInCallout = false;
    std::vector<AHIDValueChange> fEvents;
};

} // namespace

// Found by argument lookup from the standard library's comparisons.
static bool operator==(const AHIDValueChange& a, const AHIDValueChange& b)
{
    return a.fCookie == b.fCookie && a.fValue == b.fValue;
}

TEST_F(AHIDQueueTest, QueuesValueChangesOfWatchedElementsOnlyThenCallsTheCallout)
{
    ASSERT_TRUE(fQueue->AddElement(fButton5, 0));
    Start();

    ASSERT_TRUE(fBackend.SendReport(fDevice, MouseReport(kMouseButton5)));
    ASSERT_TRUE(fLoop.RunUntil([&] { return fCallouts == 1; }, kWait));
    EXPECT_EQ(fEvents, (std::vector<AHIDValueChange>{{fButton5, 1}}));

    // Movement, a repeated value and an unwatched button change nothing watched.
    fBackend.SendReport(fDevice, MouseReport(kMouseButton5, 5, -3));
    fBackend.SendReport(fDevice, MouseReport(kMouseButton5 | kMouseButton4));
    ASSERT_TRUE(RunUntilIdle(fLoop));
    EXPECT_EQ(fCallouts, 1);

    fBackend.SendReport(fDevice, MouseReport(0));
    ASSERT_TRUE(fLoop.RunUntil([&] { return fCallouts == 2; }, kWait));
    EXPECT_EQ(fEvents, (std::vector<AHIDValueChange>{{fButton5, 1}, {fButton5, 0}}));
    EXPECT_FALSE(fQueue->GetNextEvent(fEvents.front()));
}

TEST_F(AHIDQueueTest, KeepsTheFirstDepthEventsAndDropsTheRestUntilDrained)
{
    ASSERT_TRUE(fQueue->AddElement(fButton4, 0));
    ASSERT_TRUE(fQueue->AddElement(fButton5, 0));
    fDrain = false;
    Start();

    // Five reports, each changing both buttons: ten changes for eight places.
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(fBackend.SendReport(fDevice, MouseReport(i % 2 == 0 ? kMouseButton4 | kMouseButton5 : 0)));
    ASSERT_TRUE(RunUntilIdle(fLoop));
    EXPECT_GE(fCallouts, 1);
    EXPECT_EQ(fQueue->GetEventCount(), 8u);
    const std::vector<AHIDValueChange> expected = {
        {fButton4, 1}, {fButton5, 1}, {fButton4, 0}, {fButton5, 0},
        {fButton4, 1}, {fButton5, 1}, {fButton4, 0}, {fButton5, 0},
    };
    EXPECT_EQ(Drain(), expected);

    // Drained, it takes events again; the decoder saw the dropped press, so
    // the next change is the release.
    fBackend.SendReport(fDevice, MouseReport(0));
    ASSERT_TRUE(RunUntilIdle(fLoop));
    EXPECT_EQ(Drain(), (std::vector<AHIDValueChange>{{fButton4, 0}, {fButton5, 0}}));
}

TEST_F(AHIDQueueTest, BurstOfReportsIsTakenOutReportByReportWithNoneLost)
{
    ASSERT_TRUE(fQueue->AddElement(fButton4, 0));
    ASSERT_TRUE(fQueue->AddElement(fButton5, 0));
    Start();
    // Twenty presses and releases written before the loop runs: forty
    // changes, five times what the queue holds, read in one pass.
    std::vector<AHIDValueChange> expected;
    for (int i = 0; i < 20; ++i) {
        const bool four = i % 2 == 0;
        ASSERT_TRUE(fBackend.SendReport(fDevice, MouseReport(four ? kMouseButton4 : kMouseButton5)));
        ASSERT_TRUE(fBackend.SendReport(fDevice, MouseReport(0)));
        expected.push_back({four ? fButton4 : fButton5, 1});
        expected.push_back({four ? fButton4 : fButton5, 0});
    }
    ASSERT_TRUE(RunUntilIdle(fLoop));
    EXPECT_EQ(fEvents, expected);
}

TEST_F(AHIDQueueTest, OneReportWithMoreChangesThanTheDepthKeepsTheFirstOnes)
{
    ASSERT_TRUE(fQueue->Create(0, 1));
    ASSERT_TRUE(fQueue->AddElement(fButton4, 0));
    ASSERT_TRUE(fQueue->AddElement(fButton5, 0));
    Start();
    ASSERT_TRUE(fBackend.SendReport(fDevice, MouseReport(kMouseButton4 | kMouseButton5)));
    ASSERT_TRUE(fBackend.SendReport(fDevice, MouseReport(0)));
    ASSERT_TRUE(RunUntilIdle(fLoop));
    EXPECT_EQ(fEvents, (std::vector<AHIDValueChange>{{fButton4, 1}, {fButton4, 0}}));
}

TEST_F(AHIDQueueTest, CalloutMayDestroyTheQueueInTheMiddleOfABurst)
{
    ASSERT_TRUE(fQueue->AddElement(fButton5, 0));
    Start();
    fDestroyInCallout = true;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(fBackend.SendReport(fDevice, MouseReport(kMouseButton5)));
        ASSERT_TRUE(fBackend.SendReport(fDevice, MouseReport(0)));
    }
    ASSERT_TRUE(RunUntilIdle(fLoop));
    EXPECT_EQ(fQueue, nullptr);
    EXPECT_EQ(fCallouts, 1);
}

TEST_F(AHIDQueueTest, StoppedQueueReadsNothingUntilStartedAgain)
{
    ASSERT_TRUE(fQueue->AddElement(fButton5, 0));
    Start();
    ASSERT_TRUE(fQueue->Stop());
    EXPECT_FALSE(fQueue->IsStarted());
    fBackend.SendReport(fDevice, MouseReport(kMouseButton5));
    ASSERT_TRUE(RunUntilIdle(fLoop));
    EXPECT_EQ(fCallouts, 0);

    ASSERT_TRUE(fQueue->Start());
    ASSERT_TRUE(fLoop.RunUntil([&] { return fCallouts == 1; }, kWait));
    EXPECT_EQ(fEvents, (std::vector<AHIDValueChange>{{fButton5, 1}}));
}

TEST_F(AHIDQueueTest, HangUpOfTheDeviceSwitchesTheSourceOffForGood)
{
    ASSERT_TRUE(fQueue->AddElement(fButton5, 0));
    Start();
    // A report still in flight is read before the hang-up is noticed.
    fBackend.SendReport(fDevice, MouseReport(kMouseButton5));
    fBackend.Remove({fDevice});
    ASSERT_TRUE(fLoop.RunUntil([&] { return fQueue->HasHungUp(); }, kWait));
    EXPECT_EQ(fEvents, (std::vector<AHIDValueChange>{{fButton5, 1}}));
    // A source left on a hung-up descriptor would be dispatched forever.
    EXPECT_TRUE(RunUntilIdle(fLoop));
    EXPECT_FALSE(fQueue->IsStarted());
    EXPECT_FALSE(fQueue->Start());
}

TEST_F(AHIDQueueTest, RefusesWhatItCannotDo)
{
    EXPECT_FALSE(fQueue->AddElement(0xDEAD, 0));
    AHIDValueChange event;
    EXPECT_FALSE(fQueue->GetNextEvent(event));
    AHIDQueue uncreated(*fConnection);
    EXPECT_FALSE(uncreated.Create(0, 0));
    EXPECT_FALSE(uncreated.CreateAsyncEventSource(fLoop));
    EXPECT_FALSE(uncreated.Start());
    // No source on a closed device.
    fConnection->Close();
    EXPECT_FALSE(fQueue->CreateAsyncEventSource(fLoop));
}
