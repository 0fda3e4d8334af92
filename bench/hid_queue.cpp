// The cost of one device report on its way to the dispatcher:
//   DecodeAndQueue       report bytes decoded into queued value changes, taken out again
//   ReportThroughLoop    the same from the device's socket, through the event loop and callout
//   PressToClickPort     press and release reports to the click message received at
//                        "MouseClickPort" (decode, queue, callout, send, receive)
//   ClickMessageSend     one click message alone: look the port up, send, receive

#include "agent/AHIDDevice.h"
#include "base/AMessageNames.h"
#include "platform/devices/AHIDQueue.h"
#include "hid/AHIDReportDescriptor.h"
#include "platform/ports/AMessagePort.h"
#include "tests/support/AStandInHIDBackend.h"
#include "tests/support/ATestPaths.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

// Report 1 a mouse with buttons 1-5 and X/Y, report 2 a keyboard with eight
// modifier bits and six key slots.
const std::vector<uint8_t> kPointingDescriptor = ReadHexFixture(FixturePath("agent/pointing.hex"));
constexpr uint8_t kMouseButton5 = 0x10;  // button n is bit n-1
constexpr uint8_t kKeyB = 0x05, kKeyP = 0x13, kKeyBracketLeft = 0x2F, kKeyBracketRight = 0x30;

std::vector<uint8_t> MouseReport(uint8_t buttons, int8_t x = 0, int8_t y = 0)
{
    return {1, buttons, static_cast<uint8_t>(x), static_cast<uint8_t>(y)};
}

uint32_t CookieOf(uint16_t page, uint16_t usage)
{
    for (const AHIDElement& element : ParseReportDescriptor(kPointingDescriptor).fElements) {
        if (element.fUsagePage == page && element.fUsage == usage)
            return element.fCookie;
    }
    return 0;
}

// One attached stand-in device with an open connection.
struct AOpenDevice {
    AOpenDevice()
    {
        fHandle = fBackend.AddDevice(0xFEED, 1002, kPointingDescriptor);
        fBackend.Arrive({fHandle});
        fConnection = fBackend.CreateConnection(fBackend.GetService(fHandle));
        fConnection->Open();
    }

    AStandInHIDBackend fBackend;
    AStandInHIDBackend::AHandle fHandle = 0;
    std::unique_ptr<AHIDDeviceConnection> fConnection;
};

void WatchTheAgentsElements(AHIDQueue& queue)
{
    queue.Create(0, 8);
    queue.AddElement(CookieOf(0x09, 5), 0);
    queue.AddElement(CookieOf(0x09, 4), 0);
    queue.AddElement(CookieOf(0x07, kKeyB), 0);
    queue.AddElement(CookieOf(0x07, kKeyP), 0);
    queue.AddElement(CookieOf(0x07, kKeyBracketLeft), 0);
    queue.AddElement(CookieOf(0x07, kKeyBracketRight), 0);
}

void DecodeAndQueue(benchmark::State& state)
{
    AOpenDevice device;
    AHIDQueue queue(*device.fConnection);
    WatchTheAgentsElements(queue);
    const std::vector<uint8_t> reports[2] = {MouseReport(kMouseButton5, 3, -2), MouseReport(0, 3, -2)};
    size_t next = 0;
    AHIDValueChange event;
    for (auto _ : state) {
        queue.EnqueueReport(reports[next]);
        next ^= 1;
        if (!queue.GetNextEvent(event))
            state.SkipWithError("no event queued");
        benchmark::DoNotOptimize(event);
    }
}
BENCHMARK(DecodeAndQueue)->Repetitions(5)->ReportAggregatesOnly(true);

struct ADrainCount {
    AHIDQueue* fQueue = nullptr;
    int64_t fEvents = 0;
};

void CountAndDrain(void* target, int32_t, void*, void*)
{
    auto& count = *static_cast<ADrainCount*>(target);
    AHIDValueChange event;
    while (count.fQueue->GetNextEvent(event))
        ++count.fEvents;
}

void ReportThroughLoop(benchmark::State& state)
{
    AOpenDevice device;
    AEventLoop loop;
    AHIDQueue queue(*device.fConnection);
    WatchTheAgentsElements(queue);
    ADrainCount count{&queue, 0};
    queue.CreateAsyncEventSource(loop);
    queue.SetEventCallout(CountAndDrain, &count, nullptr);
    queue.Start();
    const std::vector<uint8_t> reports[2] = {MouseReport(kMouseButton5), MouseReport(0)};
    size_t next = 0;
    for (auto _ : state) {
        device.fBackend.SendReport(device.fHandle, reports[next]);
        next ^= 1;
        const int64_t before = count.fEvents;
        while (count.fEvents == before)
            loop.RunOnce(1000000);
    }
}
BENCHMARK(ReportThroughLoop)->Repetitions(5)->ReportAggregatesOnly(true);

std::optional<AMessageData> CountMessage(ALocalMessagePort*, int32_t, const AMessageData*, void* info)
{
    ++*static_cast<int64_t*>(info);
    return std::nullopt;
}

void PressToClickPort(benchmark::State& state)
{
    ATemporaryFolder runtime;
    AScopedEnvironment runtimeVariable("XDG_RUNTIME_DIR", runtime.Path().string());
    AEventLoop loop;
    int64_t received = 0;
    auto port = ALocalMessagePort::Create(loop, kMouseClickPortName, CountMessage, &received);
    AOpenDevice stand;
    AHIDDevice device(stand.fBackend.CreateConnection(stand.fBackend.GetService(stand.fHandle)), kDeviceBTMouse,
                      nullptr, loop, 1, "bench");
    if (port == nullptr || !device.Setup()) {
        state.SkipWithError("no device or no port");
        return;
    }
    for (auto _ : state) {
        const int64_t before = received;
        stand.fBackend.SendReport(stand.fHandle, MouseReport(kMouseButton5));
        stand.fBackend.SendReport(stand.fHandle, MouseReport(0));
        while (received == before)
            loop.RunOnce(1000000);
    }
}
BENCHMARK(PressToClickPort)->Repetitions(5)->ReportAggregatesOnly(true);

void ClickMessageSend(benchmark::State& state)
{
    ATemporaryFolder runtime;
    AScopedEnvironment runtimeVariable("XDG_RUNTIME_DIR", runtime.Path().string());
    AEventLoop loop;
    int64_t received = 0;
    auto port = ALocalMessagePort::Create(loop, kMouseClickPortName, CountMessage, &received);
    const AMessageData payload(kClickButtonPayloadSize, 0);
    for (auto _ : state) {
        const int64_t before = received;
        auto remote = ARemoteMessagePort::Create(kMouseClickPortName);
        if (remote == nullptr) {
            state.SkipWithError("no port");
            return;
        }
        remote->SendRequest(kClickMsgButton, &payload, 1.0, 1.0, nullptr);
        remote.reset();
        while (received == before)
            loop.RunOnce(1000000);
    }
}
BENCHMARK(ClickMessageSend)->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace
