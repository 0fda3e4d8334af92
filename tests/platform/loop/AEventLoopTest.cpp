#include "platform/loop/AEventLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <unistd.h>

// Every kind of source on one loop: each is served once, a dropped source
// never, a handler may drop its own source, and a signal ends Run with the
// code given to Exit.
TEST(AEventLoop, ServesEachSourceItHoldsAndRunEndsAtExit)
{
    AEventLoop loop;
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    std::vector<std::string> served;
    AEventSource io = loop.AddIO(ends[0], EPOLLIN, [&](uint32_t) {
        char byte = 0;
        served.push_back(std::string("io:") + (read(ends[0], &byte, 1) == 1 ? byte : '?'));
    });
    AEventSource defer = loop.AddDefer([&] { served.push_back("defer"); });
    AEventSource timer;
    timer = loop.AddTimer(0, [&] { served.push_back("timer"); timer.Reset(); });
    AEventSource dropped = loop.AddTimer(0, [&] { served.push_back("dropped"); });
    dropped.Reset();
    AEventSource signal = loop.AddSignal(SIGUSR1, [&] { served.push_back("signal"); loop.Exit(7); });
    AEventSource raise = loop.AddTimer(100'000, [] { kill(getpid(), SIGUSR1); });
    ASSERT_EQ(write(ends[1], "a", 1), 1);

    EXPECT_EQ(loop.Run(), 7);
    std::sort(served.begin(), served.end());
    EXPECT_EQ(served, (std::vector<std::string>{"defer", "io:a", "signal", "timer"}));
    EXPECT_FALSE(timer);
    close(ends[0]);
    close(ends[1]);
}
