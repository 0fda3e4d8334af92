#include "platform/devices/AHIDQueue.h"

#include "tests/hid/AHIDTextFixture.h"
#include "tests/support/ARunUntilIdle.h"
#include "tests/support/AStandInHIDBackend.h"

#include <gtest/gtest.h>

// Reports read into the queue and taken out with none lost, many more than
// its depth at a time, are the agent's presses (AAgentDispatch); these are the
// queue's own edges.
namespace {

constexpr const char *kReleased = "02 00 00 00 00 00", *kButton5 = "02 10 00 00 00 00";

// A queue of depth 8 on a stand-in of the composite device, watching buttons
// 4 and 5, started on a real event loop; its callout counts its calls and
// takes every event out, or destroys the queue.
class AHIDQueueTest : public testing::Test {
protected:
    void SetUp() override
    {
        fBackend.Arrive({fDevice});
        ASSERT_TRUE(fConnection->Open() && fQueue->Create(0, 8) && fQueue->AddElement(CookieOf(fElements, "9:4"), 0) &&
                    fQueue->AddElement(CookieOf(fElements, "9:5"), 0) && fQueue->CreateAsyncEventSource(fLoop) &&
                    fQueue->SetEventCallout(Callout, this, &fRefCon) && fQueue->Start());
    }
    static void Callout(void* target, int32_t result, void* refCon, void* sender)
    {
        auto* test = static_cast<AHIDQueueTest*>(target);
        EXPECT_EQ(std::tuple(result, refCon, sender), std::tuple(0, &test->fRefCon, test->fQueue.get()));
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
    int fRefCon = 0, fCallouts = 0;
    bool fDestroyInCallout = false;
    std::vector<AHIDValueChange> fEvents;
};

} // namespace

TEST_F(AHIDQueueTest, CallsOutOnlyForReportsThatQueuedSomethingAndOnlyWhileStarted)
{
    Send(kButton5);
    Send("02 10 05 00 03 00");  // a move, button 5 still down: nothing queued, no callout
    ASSERT_TRUE(RunUntilIdle(fLoop));
    EXPECT_EQ(std::pair(TakeEvents(), fCallouts), std::pair(std::string("9:5=1"), 1));
    ASSERT_TRUE(fQueue->Stop());
    EXPECT_FALSE(fQueue->IsStarted());
    Send(kReleased);
    ASSERT_TRUE(RunUntilIdle(fLoop));
    EXPECT_EQ(fCallouts, 1) << "stopped, it reads nothing";
    ASSERT_TRUE(fQueue->Start());
    ASSERT_TRUE(RunUntilIdle(fLoop));
    EXPECT_EQ(std::pair(TakeEvents(), fCallouts), std::pair(std::string("9:5=0"), 2)) << "started, it reads what waited";
    // The callout may destroy the queue in the middle of a burst.
    fDestroyInCallout = true;
    for (const char* report : {kButton5, kReleased, kButton5, kReleased})
        Send(report);
    ASSERT_TRUE(RunUntilIdle(fLoop));
    EXPECT_EQ(std::pair(fQueue.get(), fCallouts), std::pair(static_cast<AHIDQueue*>(nullptr), 3));
}

TEST_F(AHIDQueueTest, HangUpSwitchesTheSourceOffForGoodAndWhatCannotWorkIsRefused)
{
    // A report still in flight is read before the hang-up is noticed; a
    // source left on a hung-up descriptor would be dispatched forever.
    Send(kButton5);
    fBackend.Remove({fDevice});
    ASSERT_TRUE(fLoop.RunUntil([&] { return fQueue->HasHungUp(); }, 2'000'000));
    EXPECT_EQ(TakeEvents(), "9:5=1");
    EXPECT_TRUE(RunUntilIdle(fLoop));
    EXPECT_FALSE(fQueue->IsStarted() || fQueue->Start());

    AHIDQueue uncreated(*fConnection);
    EXPECT_FALSE(uncreated.Create(0, 0) || uncreated.AddElement(4, 0) || uncreated.CreateAsyncEventSource(fLoop) ||
                 uncreated.Start());
    ASSERT_TRUE(uncreated.Create(0, 1));
    fConnection->Close();
    EXPECT_FALSE(uncreated.CreateAsyncEventSource(fLoop)) << "no source on a closed device";
}
