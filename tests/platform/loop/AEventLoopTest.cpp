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
    // The pipe stays readable: its handler, like the timer's, drops its own
    // source. Only the signal's handler ends the run.
    const auto serveOnce = [&](const char* name, AEventSource& source) {
        served.push_back(name);
        source.Reset();
    };
    AEventSource io = loop.AddIO(ends[0], EPOLLIN, [&](uint32_t) { serveOnce("io", io); });
    AEventSource defer = loop.AddDefer([&] { served.push_back("defer"); });
    AEventSource timer = loop.AddTimer(0, [&] { serveOnce("timer", timer); });
    AEventSource signal = loop.AddSignal(SIGUSR1, [&] { loop.Exit(7); });
    AEventSource raise = loop.AddTimer(100'000, [] { kill(getpid(), SIGUSR1); });
    ASSERT_EQ(write(ends[1], "a", 1), 1);
    EXPECT_EQ(loop.Run(), 7);
    std::sort(served.begin(), served.end());
    EXPECT_EQ(served, (std::vector<std::string>{"defer", "io", "timer"}));
    EXPECT_FALSE(timer || io) << "a handler may drop its own source";
    close(ends[0]);
    close(ends[1]);
}
