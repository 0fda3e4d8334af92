#include "platform/loop/AEventLoop.h"

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>
#include <vector>

TEST(AEventLoop, ServesReadableDescriptorsAndDeferredWorkOneAtATime)
{
    AEventLoop loop;
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    std::vector<std::string> order;
    AEventSource io = loop.AddIO(pipeEnds[0], EPOLLIN, [&](uint32_t) {
        char byte;
        ASSERT_EQ(read(pipeEnds[0], &byte, 1), 1);
        order.push_back(std::string("io:") + byte);
    });
    AEventSource defer = loop.AddDefer([&] { order.push_back("defer"); });
    ASSERT_EQ(write(pipeEnds[1], "a", 1), 1);
    EXPECT_TRUE(loop.RunUntil([&] { return order.size() == 2; }, 1000000));
    EXPECT_EQ(order.size(), 2u);
    // A deferred handler runs once only.
    loop.RunOnce(10000);
    EXPECT_EQ(std::count(order.begin(), order.end(), "defer"), 1);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
}

TEST(AEventLoop, DroppedSourceIsNeverServedAndHandlerMayDropItself)
{
    AEventLoop loop;
    int fired = 0;
    AEventSource timer;
    timer = loop.AddTimer(0, [&] {
        ++fired;
        timer.Reset();
    });
    AEventSource dropped = loop.AddTimer(0, [&] { fired += 100; });
    dropped.Reset();
    loop.RunUntil([] { return false; }, 50000);
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(timer);
}

TEST(AEventLoop, SignalIsDeliveredThroughTheLoopAndExitEndsRun)
{
    AEventLoop loop;
    bool interrupted = false;
    AEventSource signal = loop.AddSignal(SIGUSR1, [&] {
        interrupted = true;
        loop.Exit(7);
    });
    ASSERT_TRUE(signal);
    AEventSource raise = loop.AddDefer([] { kill(getpid(), SIGUSR1); });
    EXPECT_EQ(loop.Run(), 7);
    EXPECT_TRUE(interrupted);
}
