#include "platform/loop/AEventLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <unistd.h>

// A dropped source is not served: the HID queue's hang-up checks it.
TEST(AEventLoop, ServesEachSourceOnceAndRunEndsWithTheCodeGivenToExit)
{
    AEventLoop loop;
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    std::vector<std::string> served;
    AEventSource io = loop.AddIO(ends[0], EPOLLIN, [&](uint32_t) { served.push_back("io"), io.Reset(); });
    AEventSource defer = loop.AddDefer([&] { served.push_back("defer"); });
    AEventSource timer = loop.AddTimer(0, [&] { served.push_back("timer"), timer.Reset(); });
    AEventSource signal = loop.AddSignal(SIGUSR1, [&] { served.push_back("signal"), loop.Exit(7); });
    AEventSource raise = loop.AddTimer(100'000, [] { kill(getpid(), SIGUSR1); });
    ASSERT_EQ(write(ends[1], "a", 1), 1);
    EXPECT_EQ(loop.Run(), 7);
    std::sort(served.begin(), served.end());
    EXPECT_EQ(served, (std::vector<std::string>{"defer", "io", "signal", "timer"}));
    EXPECT_FALSE(timer || io) << "a handler may drop its own source";
    close(ends[0]);
    close(ends[1]);
}
