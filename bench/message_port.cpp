// Message-port costs: a request with a reply served by a loop on another
// thread (the settings app asking the agent for its device list), and a
// one-way message sent and served on one thread (a press reaching the agent's
// own click port). Run with --benchmark_repetitions=N to see the median.

#include "platform/AMessagePort.h"
#include "tests/support/ATestPaths.h"

#include <benchmark/benchmark.h>

#include <future>
#include <thread>
#include <unistd.h>

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

// A port served by a loop on a thread of its own for the object's life.
class AServerThread {
public:
    explicit AServerThread(const char* name)
    {
        if (pipe(fStop) != 0)
            throw std::runtime_error("pipe failed");
        std::promise<bool> started;
        auto serving = started.get_future();
        fThread = std::thread([this, name, &started] {
            AEventLoop loop;
            auto port = ALocalMessagePort::Create(loop, name, AnswerCallout, nullptr);
            AEventSource stop = loop.AddIO(fStop[0], EPOLLIN, [&](uint32_t) { loop.Exit(0); });
            started.set_value(port != nullptr);
            if (port)
                loop.Run();
        });
        if (!serving.get())
            throw std::runtime_error("cannot serve the port");
    }
    ~AServerThread()
    {
        const char byte = 0;
        (void)!write(fStop[1], &byte, 1);
        fThread.join();
        close(fStop[0]);
        close(fStop[1]);
    }

private:
    int fStop[2] = {-1, -1};
    std::thread fThread;
};

void RequestWithReply(benchmark::State& state)
{
    ATemporaryFolder runtime;
    AScopedEnvironment environment("XDG_RUNTIME_DIR", runtime.Path().string());
    AServerThread server("MouseListPort");
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

void OneWaySendAndServe(benchmark::State& state)
{
    ATemporaryFolder runtime;
    AScopedEnvironment environment("XDG_RUNTIME_DIR", runtime.Path().string());
    AEventLoop loop;
    uint64_t served = 0;
    auto local = ALocalMessagePort::Create(loop, "MouseClickPort", CountingCallout, &served);
    const AMessageData payload(8, 0x04);
    for (auto _ : state) {
        auto port = ARemoteMessagePort::Create("MouseClickPort");
        if (!port || port->SendRequest(0, &payload, 1.0, 1.0, nullptr) != AMessagePortStatus::kSuccess) {
            state.SkipWithError("send failed");
            break;
        }
        port.reset();
        const uint64_t before = served;
        while (served == before && loop.RunOnce(1'000'000)) {
        }
    }
}
BENCHMARK(OneWaySendAndServe)->UseRealTime();

} // namespace
