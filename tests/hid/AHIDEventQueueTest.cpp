#include "hid/AHIDEventQueue.h"
#include "tests/hid/AHIDTextFixture.h"

#include <gtest/gtest.h>

TEST(AHIDEventQueue, KeepsChangesOldestFirstUpToItsDepthAndDropsThoseThatFindItFull)
{
    const AHIDElementList mouse = ParseFixture("boot-mouse.hex");
    AHIDEventQueue queue(3, mouse), shallow(0, mouse);
    for (AHIDEventQueue* each : {&queue, &shallow}) {
        ASSERT_TRUE(each->Watch(CookieOf(mouse, "9:1")));
        ASSERT_TRUE(each->Watch(CookieOf(mouse, "9:2")));
    }
    auto take = [&](AHIDEventQueue& from, size_t most) {
        std::vector<AHIDValueChange> changes(1);
        while (changes.size() <= most && from.GetNextEvent(changes.back()))
            changes.emplace_back();
        changes.pop_back();
        return ChangesText(mouse, changes);
    };
    EXPECT_EQ(queue.EnqueueReport(HexBytes("00 00 00")), 0u);  // the values repeated: nothing
    EXPECT_EQ(queue.EnqueueReport(HexBytes("03 00 00")), 2u);
    EXPECT_EQ(take(queue, 1), "9:1=1");
    // Two places left after one was taken; the slots wrap round.
    EXPECT_EQ(queue.EnqueueReport(HexBytes("00 00 00")), 2u);
    EXPECT_EQ(queue.EnqueueReport(HexBytes("03 00 00")), 0u);  // full: both presses dropped
    EXPECT_EQ(queue.GetEventCount(), 3u);
    EXPECT_EQ(take(queue, 9), "9:2=1 9:1=0 9:2=0");
    // The dropped presses were still decoded, so the next change is their release.
    EXPECT_EQ(queue.EnqueueReport(HexBytes("00 00 00")), 2u);
    EXPECT_EQ(take(queue, 9), "9:1=0 9:2=0");
    // One report with more changes than the depth keeps the first; depth 0 is one place.
    EXPECT_EQ(shallow.EnqueueReport(HexBytes("03 00 00")), 1u);
    EXPECT_EQ(take(shallow, 9), "9:1=1");
}
