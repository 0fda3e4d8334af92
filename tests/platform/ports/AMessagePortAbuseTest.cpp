#include "platform/ports/AMessagePacket.h"
#include "platform/ports/AMessagePort.h"
#include "tests/platform/ports/AMessagePortTestKit.h"
#include "tests/support/ARunUntilIdle.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

namespace {

std::optional<AMessageData> RecordingCallout(ALocalMessagePort*, int32_t messageId, const AMessageData* payload, void* info)
{
    static_cast<AMessageRecorder*>(info)->Record(messageId, payload);
    // Message id 9 asks for a large reply, which a stalled client never reads.
    if (messageId == 9)
        return AMessageData(kMaxMessagePayload, 0x11);
    return AMessageData{1};
}

// A client that speaks to the port's socket directly.
AFileDescriptor ConnectDirectly(const std::filesystem::path& socketPath)
{
    AFileDescriptor fd(socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.string().copy(address.sun_path, sizeof(address.sun_path) - 1);
    if (connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return {};
    return fd;
}

std::vector<uint8_t> Packet(uint32_t magic, int32_t messageId, uint32_t flags, size_t payloadSize)
{
    const AMessagePacketHeader header{magic, messageId, flags};
    std::vector<uint8_t> bytes(sizeof header + payloadSize, 0x22);
    std::memcpy(bytes.data(), &header, sizeof header);
    return bytes;
}

// True once the port has closed the connection: end of file after any reply.
bool IsClosedByPort(int fd)
{
    char buffer[16];
    for (;;) {
        const ssize_t size = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT | MSG_TRUNC);
        if (size == 0 || (size < 0 && errno == ECONNRESET))
            return true;
        if (size < 0)
            return false;
    }
}

bool WaitUntilClosedByPort(int fd)
{
    for (int waited = 0; waited < 100; ++waited) {
        if (IsClosedByPort(fd))
            return true;
        pollfd watched{fd, POLLIN, 0};
        poll(&watched, 1, 100);
    }
    return false;
}

} // namespace

TEST(AMessagePortAbuse, MalformedAndOversizedPacketsAreDroppedWithTheirConnection)
{
    APrivateRuntimeFolder runtime;
    AEventLoop loop;
    AMessageRecorder recorder;
    auto local = ALocalMessagePort::Create(loop, "Strict", RecordingCallout, &recorder);
    ASSERT_TRUE(local);
    const auto socketPath = runtime.PortFolder() / "Strict";
    struct ACase {
        const char* fRule;
        std::vector<uint8_t> fBytes;
    } cases[] = {
        {"a packet shorter than the header", {1, 2, 3}},
        {"a foreign magic", Packet(0x12345678, 1, kPacketWantsReply, 0)},
        {"an unknown flag", Packet(kMessagePacketMagic, 1, 1u << 7, 0)},
        {"bytes after a header that announces no payload", Packet(kMessagePacketMagic, 1, 0, 4)},
        {"a payload over the limit", Packet(kMessagePacketMagic, 1, kPacketHasPayload | kPacketWantsReply, kMaxMessagePayload + 1)},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.fRule);
        AFileDescriptor client = ConnectDirectly(socketPath);
        ASSERT_TRUE(client);
        ASSERT_EQ(send(client.Get(), test.fBytes.data(), test.fBytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(test.fBytes.size()));
        EXPECT_TRUE(loop.RunUntil([&] { return IsClosedByPort(client.Get()); }, 5'000'000));
    }
    // The sender refuses an oversized payload itself and sends nothing.
    const AMessageData oversized(kMaxMessagePayload + 1, 0x33);
    EXPECT_EQ(SendOnce("Strict", 1, &oversized), AMessagePortStatus::kTransportError);

    const AMessageData sentinel{0x44};
    ASSERT_EQ(SendOnce("Strict", 2, &sentinel), AMessagePortStatus::kSuccess);
    ASSERT_TRUE(loop.RunUntil([&] { return recorder.Count() >= 1; }, 5'000'000));
    const auto messages = recorder.Messages();
    ASSERT_EQ(messages.size(), 1u) << "only the well-formed message reaches the handler";
    EXPECT_EQ(messages[0].fPayload, sentinel);
}

TEST(AMessagePortAbuse, StalledClientsDoNotHoldUpOthersAndAreClosed)
{
    APrivateRuntimeFolder runtime;
    AMessageRecorder recorder;
    AServedPort server("Patient", RecordingCallout, &recorder);
    ASSERT_TRUE(server.IsServing());
    const auto socketPath = runtime.PortFolder() / "Patient";

    // Clients that connect and never send, more than the port keeps waiting.
    std::vector<AFileDescriptor> silent;
    for (int i = 0; i < 100; ++i) {
        silent.push_back(ConnectDirectly(socketPath));
        ASSERT_TRUE(silent.back());
    }
    // Clients that ask for a large reply and never read it.
    std::vector<AFileDescriptor> deaf;
    const auto request = Packet(kMessagePacketMagic, 9, kPacketWantsReply, 0);
    for (int i = 0; i < 10; ++i) {
        deaf.push_back(ConnectDirectly(socketPath));
        ASSERT_TRUE(deaf.back());
        ASSERT_EQ(send(deaf.back().Get(), request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
    }

    std::optional<AMessageData> reply;
    EXPECT_EQ(SendOnce("Patient", 1, nullptr, &reply), AMessagePortStatus::kSuccess);
    EXPECT_EQ(reply, AMessageData{1});
    EXPECT_EQ(recorder.Count(), 11u);

    // Every stalled connection is closed in the end, by the idle time-out or
    // to make room for newer ones.
    for (const auto& client : deaf)
        EXPECT_TRUE(WaitUntilClosedByPort(client.Get()));
    for (const auto& client : silent)
        EXPECT_TRUE(WaitUntilClosedByPort(client.Get()));
}

TEST(AMessagePortAbuse, ClientThatConnectsLateStillGetsItsRequestServed)
{
    APrivateRuntimeFolder runtime;
    AMessageRecorder recorder;
    AServedPort server("Late", RecordingCallout, &recorder);
    ASSERT_TRUE(server.IsServing());
    auto port = ARemoteMessagePort::Create("Late");
    ASSERT_TRUE(port);
    // Outlast the port's idle time-out: the port drops the connection made
    // at look-up, and the request goes out on a new one.
    AFileDescriptor probe = ConnectDirectly(runtime.PortFolder() / "Late");
    ASSERT_TRUE(WaitUntilClosedByPort(probe.Get()));
    std::optional<AMessageData> reply;
    EXPECT_EQ(port->SendRequest(5, nullptr, 1.0, 1.0, &reply), AMessagePortStatus::kSuccess);
    EXPECT_EQ(reply, AMessageData{1});
}

TEST(AMessagePortAbuse, IdleTimeOutCountsFromEachConnectionEvenAfterAnEarlierOneWasServed)
{
    APrivateRuntimeFolder runtime;
    AEventLoop loop;
    AMessageRecorder recorder;
    auto local = ALocalMessagePort::Create(loop, "Idle", RecordingCallout, &recorder);
    ASSERT_TRUE(local);
    const auto socketPath = runtime.PortFolder() / "Idle";

    // The first client is accepted before it sends, so it waits, and is then
    // served: the port's idle clock was started for it.
    AFileDescriptor first = ConnectDirectly(socketPath);
    ASSERT_TRUE(first);
    ASSERT_TRUE(RunUntilIdle(loop));
    const auto request = Packet(kMessagePacketMagic, 3, 0, 0);
    ASSERT_EQ(send(first.Get(), request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
    ASSERT_TRUE(loop.RunUntil([&] { return recorder.Count() == 1; }, 5'000'000));

    // A second client connects later and never sends. It is closed after its
    // own idle time-out (2 s), neither at the first client's deadline nor never.
    loop.RunUntil([] { return false; }, 1'000'000);
    const auto connected = std::chrono::steady_clock::now();
    AFileDescriptor second = ConnectDirectly(socketPath);
    ASSERT_TRUE(second);
    ASSERT_TRUE(loop.RunUntil([&] { return IsClosedByPort(second.Get()); }, 10'000'000));
    EXPECT_GE(std::chrono::steady_clock::now() - connected, std::chrono::seconds(2));
    EXPECT_EQ(recorder.Count(), 1u);
}
