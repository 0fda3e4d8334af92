#include "platform/ports/AMessagePort.h"
#include "tests/platform/ports/AMessagePortTestKit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sys/socket.h>

namespace {

// Replies with the message id as a byte followed by the payload reversed;
// message id 7 replies with nothing; message id 8 throws.
std::optional<AMessageData> ReversingCallout(ALocalMessagePort*, int32_t messageId, const AMessageData* payload, void* info)
{
    static_cast<AMessageRecorder*>(info)->Record(messageId, payload);
    if (messageId == 7)
        return std::nullopt;
    if (messageId == 8)
        throw std::runtime_error("handler failed");
    AMessageData reply{static_cast<uint8_t>(messageId)};
    if (payload != nullptr)
        reply.insert(reply.end(), payload->rbegin(), payload->rend());
    return reply;
}

// Holds the loop inside the callout until the test lets it go.
struct AGate {
    AMessageRecorder fRecorder;
    std::promise<void> fOpen;
    std::shared_future<void> fOpened = fOpen.get_future().share();
    std::atomic<int> fFinished{0};
};

std::optional<AMessageData> GatedCallout(ALocalMessagePort*, int32_t messageId, const AMessageData* payload, void* info)
{
    auto* gate = static_cast<AGate*>(info);
    gate->fRecorder.Record(messageId, payload);
    gate->fOpened.wait_for(std::chrono::seconds(20));
    ++gate->fFinished;
    return AMessageData{0x5A};
}

} // namespace

TEST(AMessagePort, RequestsReachTheCalloutAndRepliesComeBackAsSent)
{
    APrivateRuntimeFolder runtime;
    AMessageRecorder recorder;
    AServedPort server("Echo", ReversingCallout, &recorder);
    ASSERT_TRUE(server.IsServing());

    const AMessageData largest(kMaxMessagePayload - 1, 0xAB);
    struct ACase {
        const char* fRule;
        int32_t fMessageId;
        std::optional<AMessageData> fPayload;
        AMessagePortStatus fStatus;
        std::optional<AMessageData> fReply;
    } cases[] = {
        {"a payload reaches the handler and its reply returns", 1, AMessageData{1, 2, 3}, AMessagePortStatus::kSuccess, AMessageData{1, 3, 2, 1}},
        {"no payload reaches the handler as none", 2, std::nullopt, AMessagePortStatus::kSuccess, AMessageData{2}},
        {"an empty payload stays an empty payload", 3, AMessageData{}, AMessagePortStatus::kSuccess, AMessageData{3}},
        {"a handler that replies nothing gives success and no data", 7, AMessageData{9}, AMessagePortStatus::kSuccess, std::nullopt},
        {"a handler that throws is reported as a transport error", 8, std::nullopt, AMessagePortStatus::kTransportError, std::nullopt},
        {"a negative message id travels intact", -5, AMessageData{4}, AMessagePortStatus::kSuccess, AMessageData{0xFB, 4}},
        {"a payload just under the limit travels both ways", 4, largest, AMessagePortStatus::kSuccess, std::nullopt},
        {"a reply over the limit is a transport error", 5, AMessageData(kMaxMessagePayload, 1), AMessagePortStatus::kTransportError, std::nullopt},
    };
    // One remote port carries every request, each on a connection of its own.
    auto port = ARemoteMessagePort::Create("Echo");
    ASSERT_TRUE(port);
    for (const auto& test : cases) {
        SCOPED_TRACE(test.fRule);
        const size_t before = recorder.Count();
        std::optional<AMessageData> reply = AMessageData{0xEE};
        const auto status = port->SendRequest(test.fMessageId, test.fPayload ? &*test.fPayload : nullptr, 1.0, 1.0, &reply);
        EXPECT_EQ(status, test.fStatus);
        ASSERT_EQ(recorder.Count(), before + 1);
        const auto received = recorder.Messages().back();
        EXPECT_EQ(received.fMessageId, test.fMessageId);
        EXPECT_EQ(received.fPayload, test.fPayload);
        if (test.fPayload == largest) {
            ASSERT_TRUE(reply);
            EXPECT_EQ(reply->size(), kMaxMessagePayload);
        } else if (test.fStatus == AMessagePortStatus::kSuccess) {
            EXPECT_EQ(reply, test.fReply);
        }
    }
}

TEST(AMessagePort, OneWayRequestReturnsWithoutWaitingForTheHandler)
{
    APrivateRuntimeFolder runtime;
    AGate gate;
    AServedPort server("Slow", GatedCallout, &gate);
    ASSERT_TRUE(server.IsServing());
    const AMessageData payload{1};
    EXPECT_EQ(SendOnce("Slow", 3, &payload), AMessagePortStatus::kSuccess);
    EXPECT_EQ(gate.fFinished, 0);
    gate.fOpen.set_value();
    ASSERT_TRUE(gate.fRecorder.WaitForCount(1));
    EXPECT_EQ(gate.fRecorder.Messages()[0].fMessageId, 3);
}

TEST(AMessagePort, HandlerSlowerThanTheReceiveTimeoutIsAReceiveTimeout)
{
    APrivateRuntimeFolder runtime;
    AGate gate;
    AServedPort server("Slow", GatedCallout, &gate);
    ASSERT_TRUE(server.IsServing());
    std::optional<AMessageData> reply;
    EXPECT_EQ(SendOnce("Slow", 1, nullptr, &reply, 1.0, 0.05), AMessagePortStatus::kReceiveTimeout);
    EXPECT_FALSE(reply);
    gate.fOpen.set_value();
    // The port serves on once the handler returns.
    EXPECT_EQ(SendOnce("Slow", 2, nullptr, &reply), AMessagePortStatus::kSuccess);
    EXPECT_EQ(reply, AMessageData{0x5A});
}

TEST(AMessagePort, FullConnectionQueueIsASendTimeoutAndNothingQueuedIsLost)
{
    APrivateRuntimeFolder runtime;
    AGate gate;
    AServedPort server("Busy", GatedCallout, &gate);
    ASSERT_TRUE(server.IsServing());
    ASSERT_EQ(SendOnce("Busy", 0, nullptr), AMessagePortStatus::kSuccess);
    ASSERT_TRUE(gate.fRecorder.WaitForCount(1));
    // The loop is held in the first handler: later messages queue up until
    // the port's connection queue is full.
    uint32_t queued = 0;
    AMessagePortStatus status = AMessagePortStatus::kSuccess;
    while (status == AMessagePortStatus::kSuccess && queued < 100000) {
        const AMessageData payload = EncodeIndex(queued + 1);
        status = SendOnce("Busy", 1, &payload, nullptr, 0.02);
        if (status == AMessagePortStatus::kSuccess)
            ++queued;
    }
    EXPECT_EQ(status, AMessagePortStatus::kSendTimeout);
    EXPECT_GE(queued, 128u);
    gate.fOpen.set_value();
    ASSERT_TRUE(gate.fRecorder.WaitForCount(queued + 1));
    const auto messages = gate.fRecorder.Messages();
    ASSERT_EQ(messages.size(), queued + 1);
    for (uint32_t i = 1; i <= queued; ++i)
        ASSERT_EQ(DecodeIndex(messages[i].fPayload), i);
}

TEST(AMessagePort, NamesThatCannotBePortsAreRefused)
{
    APrivateRuntimeFolder runtime;
    AEventLoop loop;
    AMessageRecorder recorder;
    const std::string names[] = {"", "a/b", ".hidden", "..", std::string(300, 'x'), std::string("nul\0byte", 8)};
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(ALocalMessagePort::Create(loop, name, AMessageRecorder::Callout, &recorder));
        EXPECT_FALSE(ARemoteMessagePort::Create(name));
    }
    EXPECT_FALSE(ALocalMessagePort::Create(loop, "NoCallout", nullptr, nullptr));
    EXPECT_FALSE(ARemoteMessagePort::Create("NobodyServesThis"));
}

TEST(AMessagePort, GivingUpAPortRemovesItsFilesAndEndsItsService)
{
    APrivateRuntimeFolder runtime;
    AEventLoop loop;
    AMessageRecorder recorder;
    auto local = ALocalMessagePort::Create(loop, "Gone", AMessageRecorder::Callout, &recorder);
    ASSERT_TRUE(local);
    EXPECT_EQ(local->GetName(), "Gone");
    // A second port of the name, even in this process, is refused and leaves
    // the holder's socket in place.
    EXPECT_FALSE(ALocalMessagePort::Create(loop, "Gone", AMessageRecorder::Callout, &recorder));
    EXPECT_TRUE(std::filesystem::exists(runtime.PortFolder() / "Gone"));
    auto early = ARemoteMessagePort::Create("Gone");
    ASSERT_TRUE(early);
    local.reset();
    EXPECT_FALSE(std::filesystem::exists(runtime.PortFolder() / "Gone"));
    EXPECT_FALSE(std::filesystem::exists(runtime.PortFolder() / ".Gone.lock"));
    EXPECT_EQ(early->SendRequest(1, nullptr, 1.0, 1.0, nullptr), AMessagePortStatus::kIsInvalid);
    EXPECT_FALSE(ARemoteMessagePort::Create("Gone"));
    // The name is free again.
    EXPECT_TRUE(ALocalMessagePort::Create(loop, "Gone", AMessageRecorder::Callout, &recorder));
    EXPECT_EQ(recorder.Count(), 0u);
}

TEST(AMessagePort, MessagesSentFromTheServingThreadArriveInOrder)
{
    APrivateRuntimeFolder runtime;
    AEventLoop loop;
    AMessageRecorder recorder;
    auto local = ALocalMessagePort::Create(loop, "MouseClickPort", AMessageRecorder::Callout, &recorder);
    ASSERT_TRUE(local);
    // One message per input report, the loop serving in between.
    constexpr uint32_t kCount = 10000;
    for (uint32_t i = 0; i < kCount; ++i) {
        const AMessageData payload = EncodeIndex(i);
        ASSERT_EQ(SendOnce("MouseClickPort", 0, &payload), AMessagePortStatus::kSuccess);
        loop.RunOnce(0);
    }
    ASSERT_TRUE(loop.RunUntil([&] { return recorder.Count() >= kCount; }, 20'000'000));
    const auto messages = recorder.Messages();
    ASSERT_EQ(messages.size(), kCount);
    for (uint32_t i = 0; i < kCount; ++i)
        ASSERT_EQ(DecodeIndex(messages[i].fPayload), i);
}

TEST(AMessagePort, BurstFromTheServingThreadFillsTheQueueInOrderAndTheNextSendDoesNotWait)
{
    APrivateRuntimeFolder runtime;
    AEventLoop loop;
    AMessageRecorder recorder;
    auto local = ALocalMessagePort::Create(loop, "MouseClickPort", AMessageRecorder::Callout, &recorder);
    ASSERT_TRUE(local);
    uint32_t sent = 0;
    AMessagePortStatus status = AMessagePortStatus::kSuccess;
    const auto start = std::chrono::steady_clock::now();
    while (status == AMessagePortStatus::kSuccess && sent < 100000) {
        const AMessageData payload = EncodeIndex(sent);
        // A generous send time-out: the sender must still not wait for its own loop.
        status = SendOnce("MouseClickPort", 0, &payload, nullptr, 60.0);
        if (status == AMessagePortStatus::kSuccess)
            ++sent;
    }
    EXPECT_EQ(status, AMessagePortStatus::kSendTimeout);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    std::ifstream somaxconn("/proc/sys/net/core/somaxconn");
    uint32_t backlog = 128;
    somaxconn >> backlog;
    EXPECT_GE(sent, std::min<uint32_t>(backlog, SOMAXCONN));

    // A request wanting a reply from its own thread cannot be answered in
    // time; it does not wait, and the request is still handled.
    std::optional<AMessageData> reply;
    const AMessageData last = EncodeIndex(sent);
    ASSERT_TRUE(loop.RunUntil([&] { return recorder.Count() >= sent; }, 20'000'000));
    EXPECT_EQ(SendOnce("MouseClickPort", 0, &last, &reply, 60.0, 60.0), AMessagePortStatus::kReceiveTimeout);
    ASSERT_TRUE(loop.RunUntil([&] { return recorder.Count() > sent; }, 20'000'000));

    const auto messages = recorder.Messages();
    ASSERT_EQ(messages.size(), sent + 1);
    for (uint32_t i = 0; i <= sent; ++i)
        ASSERT_EQ(DecodeIndex(messages[i].fPayload), i);
}

namespace {

struct ASelfDestroying {
    std::unique_ptr<ALocalMessagePort> fPort;
    int fCalls = 0;
};

std::optional<AMessageData> DestroyingCallout(ALocalMessagePort* port, int32_t, const AMessageData*, void* info)
{
    auto* self = static_cast<ASelfDestroying*>(info);
    ++self->fCalls;
    EXPECT_EQ(port, self->fPort.get());
    self->fPort.reset();
    return AMessageData{1};
}

} // namespace

TEST(AMessagePort, HandlerMayGiveUpItsOwnPort)
{
    APrivateRuntimeFolder runtime;
    AEventLoop loop;
    ASelfDestroying self;
    self.fPort = ALocalMessagePort::Create(loop, "Fleeting", DestroyingCallout, &self);
    ASSERT_TRUE(self.fPort);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(SendOnce("Fleeting", i, nullptr), AMessagePortStatus::kSuccess);
    EXPECT_TRUE(loop.RunUntil([&] { return !self.fPort; }, 5'000'000));
    EXPECT_EQ(self.fCalls, 1);
    EXPECT_FALSE(std::filesystem::exists(runtime.PortFolder() / "Fleeting"));
}
