#include "platform/devices/AHIDQueue.h"

#include "tests/hid/AHIDTextFixture.h"
#include "tests/support/ARunUntilIdle.h"
#include "tests/support/AStandInHIDBackend.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

constexpr uint64_t kWait = 2000000;
constexpr const char *kReleased = "02 00 00 00 00 00", *kButton4 = "02 08 00 00 00 00", *kButton5 = "02 10 00 00 00 00";

// A queue of depth 8 on a stand-in of the composite device, watching buttons
// 4 and 5, started on a real event loop; its callout counts its calls and
// takes every event out, or destroys the queue.
class AHIDQueueTest : public testing::Test {
protected:
    void SetUp() override
    {
        fBackend.Arrive({fDevice});
        ASSERT_TRUE(fConnection->Open() && fQueue->Create(0, 8));
        for (const char* button : {"9:4", "9:5"})
            ASSERT_TRUE(fQueue->AddElement(CookieOf(fElements, button), 0));
        ASSERT_TRUE(fQueue->CreateAsyncEventSource(fLoop) && fQueue->SetEventCallout(Callout, this, &fRefCon));
        ASSERT_TRUE(fQueue->Start());
    }

    static void Callout(void* target, int32_t result, void* refCon, void* sender)
    {
        auto* test = static_cast<AHIDQueueTest*>(target);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(refCon, &test->fRefCon);
        EXPECT_EQ(sender, test->fQueue.get());
        ++test->fCallouts;
        if (test->fDestroyInCallout)
            return test->fQueue.reset();
        for (AHIDValueChange event; test->fQueue->GetNextEvent(event);)
            test->fEvents.push_back(event);
    }

    void Send(const char* report) { ASSERT_TRUE(fBackend.SendReport(fDevice, HexBytes(report))); }
    std::string TakeEvents() { return ChangesText(fElements, std::exchange(fEvents, {})); }

    const AHIDElementList fElements = ParseFixture("nuvexa-composite.hex");
    AEventLoop fLoop;
    AStandInHIDBackend fBackend;
    const AStandInHIDBackend::AHandle fDevice =
        fBackend.AddDevice(0xFEED, 1001, ReadHexFixture(FixturePath("hid/nuvexa-composite.hex")));
    std::unique_ptr<AHIDDeviceConnection> fConnection = fBackend.CreateConnection(fBackend.GetService(fDevice));
    std::unique_ptr<AHIDQueue> fQueue = std::make_unique<AHIDQueue>(*fConnection);
    int fRefCon = 0;
    int fCallouts = 0;
    bool fDestroyInCallout = false;
    std::vector<AHIDValueChange> fEvents;
};

} // namespace

TEST_F(AHIDQueueTest, TheLoopReadsReportsAndCallsOutAfterEachThatQueuedSomething)
{
    Send(kButton5);
    ASSERT_TRUE(fLoop.RunUntil([&] { return fCallouts == 1; }, kWait));
    EXPECT_EQ(TakeEvents(), "9:5=1");
    Send("02 10 05 00 03 00");  // a move, button 5 still down: nothing queued, no callout
    ASSERT_TRUE(RunUntilIdle(fLoop));
    EXPECT_EQ(fCallouts, 1);
    // Stopped, it reads nothing; started again, it reads what waited.
    ASSERT_TRUE(fQueue->Stop());
    EXPECT_FALSE(fQueue->IsStarted());
    Send(kReleased);
    ASSERT_TRUE(RunUntilIdle(fLoop));
    EXPECT_EQ(fCallouts, 1);
    ASSERT_TRUE(fQueue->Start());
    ASSERT_TRUE(fLoop.RunUntil([&] { return fCallouts == 2; }, kWait));
    EXPECT_EQ(TakeEvents(), "9:5=0");
    // Twenty clicks written before the loop runs: forty changes, five times
    // the depth, taken out report by report with none lost.
    std::string expected;
    for (int i = 0; i < 20; ++i) {
        Send(i % 2 == 0 ? kButton4 : kButton5);
        Send(kReleased);
        expected += i % 2 == 0 ? " 9:4=1 9:4=0" : " 9:5=1 9:5=0";
    }
    ASSERT_TRUE(RunUntilIdle(fLoop));
    EXPECT_EQ(" " + TakeEvents(), expected);
    // The callout may destroy the queue in the middle of a burst.
    fDestroyInCallout = true;
    for (const char* report : {kButton5, kReleased, kButton5, kReleased})
        Send(report);
    ASSERT_TRUE(RunUntilIdle(fLoop));
    EXPECT_EQ(fQueue, nullptr);
    EXPECT_EQ(fCallouts, 2 + 40 + 1);
}

TEST_F(AHIDQueueTest, HangUpSwitchesTheSourceOffForGoodAndWhatCannotWorkIsRefused)
{
    // A report still in flight is read before the hang-up is noticed.
    Send(kButton5);
    fBackend.Remove({fDevice});
    ASSERT_TRUE(fLoop.RunUntil([&] { return fQueue->HasHungUp(); }, kWait));
    EXPECT_EQ(TakeEvents(), "9:5=1");
    // A source left on a hung-up descriptor would be dispatched forever.
    EXPECT_TRUE(RunUntilIdle(fLoop));
    EXPECT_FALSE(fQueue->IsStarted());
    EXPECT_FALSE(fQueue->Start());

    AHIDQueue uncreated(*fConnection);
    EXPECT_FALSE(uncreated.Create(0, 0));
    EXPECT_FALSE(uncreated.AddElement(4, 0));
    EXPECT_FALSE(uncreated.CreateAsyncEventSource(fLoop));
    EXPECT_FALSE(uncreated.Start());
    ASSERT_TRUE(uncreated.Create(0, 1));
    fConnection->Close();
    EXPECT_FALSE(uncreated.CreateAsyncEventSource(fLoop));  // no source on a closed device
}
