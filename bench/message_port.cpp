// Message-port costs: a request with a reply served by a loop on another
// thread (the settings app asking the agent for its device list), a one-way
// message sent and served on one thread (a press reaching the agent's own
// click port), and one whose connection the port accepted before its packet
// came (a sender in another process that lost the race with the port's
// loop). Run with --benchmark_repetitions=N to see the median.

#include "platform/ports/AMessagePort.h"
#include "tests/support/ARunUntilIdle.h"
#include "tests/support/ATestPaths.h"

#include <benchmark/benchmark.h>

#include <future>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace {

// A local port served by a loop on a thread of its own until the object goes,
// so that a client on the calling thread may block on it.
class AServedPort {
public:
    AServedPort(std::string name, ALocalMessagePort::ACallout callout, void* info)
    {
        if (pipe(fStop) != 0)
            throw std::runtime_error("pipe failed");
        std::promise<bool> started;
        auto serving = started.get_future();
        fThread = std::thread([this, name, callout, info, &started] {
            AEventLoop loop;
            auto port = ALocalMessagePort::Create(loop, name, callout, info);
            AEventSource stop = loop.AddIO(fStop[0], EPOLLIN, [&](uint32_t) { loop.Exit(0); });
            started.set_value(port != nullptr);
            if (port)
                loop.Run();
        });
        fServing = serving.get();
    }
    ~AServedPort()
    {
        (void)!write(fStop[1], "", 1);
        fThread.join();
        close(fStop[0]);
        close(fStop[1]);
    }
    bool IsServing() const { return fServing; }

private:
    int fStop[2] = {-1, -1};
    std::thread fThread;
    bool fServing = false;
};

std::optional<AMessageData> AnswerCallout(ALocalMessagePort*, int32_t, const AMessageData*, void*)
{
    return AMessageData{'<', 'd', 'e', 'v', 'i', 'c', 'e', 'l', 'i', 's', 't', '/', '>'};
}

std::optional<AMessageData> CountingCallout(ALocalMessagePort*, int32_t, const AMessageData*, void* info)
{
    ++*static_cast<uint64_t*>(info);
    return std::nullopt;
}

void RequestWithReply(benchmark::State& state)
{
    ATemporaryFolder runtime;
    AScopedEnvironment environment("XDG_RUNTIME_DIR", runtime.Path().string());
    AServedPort server("MouseListPort", AnswerCallout, nullptr);
    if (!server.IsServing()) {
        state.SkipWithError("cannot serve the port");
        return;
    }
    std::optional<AMessageData> reply;
    for (auto _ : state) {
        auto port = ARemoteMessagePort::Create("MouseListPort");
        if (!port || port->SendRequest(0, nullptr, 1.0, 1.0, &reply) != AMessagePortStatus::kSuccess || !reply) {
            state.SkipWithError("request failed");
            break;
        }
        benchmark::DoNotOptimize(reply);
    }
}
BENCHMARK(RequestWithReply)->UseRealTime();

// The agent's own click port, served on this thread, counting what arrives.
struct AOneWayPort {
    ATemporaryFolder fRuntime;
    AScopedEnvironment fEnvironment{"XDG_RUNTIME_DIR", fRuntime.Path().string()};
    AEventLoop fLoop;
    uint64_t fServed = 0;
    std::unique_ptr<ALocalMessagePort> fLocal =
        ALocalMessagePort::Create(fLoop, "MouseClickPort", CountingCallout, &fServed);
    const AMessageData fPayload = AMessageData(8, 0x04);

    void ServeOne()
    {
        const uint64_t before = fServed;
        while (fServed == before && fLoop.RunOnce(1'000'000)) {
        }
    }
};

void OneWaySendAndServe(benchmark::State& state)
{
    AOneWayPort server;
    for (auto _ : state) {
        auto port = ARemoteMessagePort::Create("MouseClickPort");
        if (!port || port->SendRequest(0, &server.fPayload, 1.0, 1.0, nullptr) != AMessagePortStatus::kSuccess) {
            state.SkipWithError("send failed");
            break;
        }
        port.reset();
        server.ServeOne();
    }
}
BENCHMARK(OneWaySendAndServe)->UseRealTime();

void OneWaySendAfterTheConnectionWaited(benchmark::State& state)
{
    AOneWayPort server;
    for (auto _ : state) {
        // The look-up connects; the port accepts and waits for the packet.
        auto port = ARemoteMessagePort::Create("MouseClickPort");
        if (!port || !RunUntilIdle(server.fLoop) ||
            port->SendRequest(0, &server.fPayload, 1.0, 1.0, nullptr) != AMessagePortStatus::kSuccess) {
            state.SkipWithError("send failed");
            break;
        }
        port.reset();
        server.ServeOne();
    }
}
BENCHMARK(OneWaySendAfterTheConnectionWaited)->UseRealTime();

} // namespace
