// Message-port costs: a request with a reply served by a loop on another
// thread (the settings app asking the agent for its device list), a one-way
// message sent and served on one thread (a press reaching the agent's own
// click port), and one whose connection the port accepted before its packet
// came (a sender in another process that lost the race with the port's
// loop). Run with --benchmark_repetitions=N to see the median.

#include "platform/ports/AMessagePort.h"
#include "tests/platform/ports/AMessagePortTestKit.h"
#include "tests/support/ARunUntilIdle.h"
#include "tests/support/ATestPaths.h"

#include <benchmark/benchmark.h>

namespace {

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
