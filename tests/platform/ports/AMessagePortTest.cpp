#include "platform/ports/AMessagePacket.h"
#include "platform/ports/AMessagePort.h"
#include "tests/support/AChildProgram.h"
#include "tests/support/ARunUntilIdle.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <future>
#include <mutex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>

using namespace std::chrono_literals;
using AStatus = AMessagePortStatus;
using AMessages = std::vector<std::pair<int32_t, std::optional<AMessageData>>>;

namespace {

// Ids the handler acts on; the numbered requests of a burst count up from 0.
constexpr int32_t kGiveUp = -6, kNoReply = -7, kThrows = -8;

// Sends one message the way the agent does: look up, request, release.
AStatus SendOnce(std::string_view name, int32_t id, std::optional<AMessageData> payload = {},
                 std::optional<AMessageData>* reply = nullptr, double sendTimeout = 1, double receiveTimeout = 1)
{
    auto port = ARemoteMessagePort::Create(name);
    return port ? port->SendRequest(id, payload ? &*payload : nullptr, sendTimeout, receiveTimeout, reply)
                : AStatus::kIsInvalid;
}

// Sends one-way messages, their ids numbered from `first`, until the port's
// connection queue is full, which must hold as many as the kernel queues;
// adds them to `sent` and returns the next id.
int32_t SendUntilFull(std::string_view name, int32_t first, double sendTimeout, AMessages& sent)
{
    int32_t id = first;
    int backlog = 128;
    AStatus status = AStatus::kSuccess;
    while (id - first < 100000 && (status = SendOnce(name, id, {}, nullptr, sendTimeout)) == AStatus::kSuccess)
        sent.emplace_back(id++, std::nullopt);
    EXPECT_EQ(status, AStatus::kSendTimeout);
    std::ifstream("/proc/sys/net/core/somaxconn") >> backlog;
    EXPECT_GE(id - first + 1, std::min(backlog, SOMAXCONN));
    return id;
}

// A packet with this header and `payloadSize` bytes after it.
std::vector<uint8_t> Packet(uint32_t magic, int32_t id, uint32_t flags, size_t payloadSize = 0)
{
    const AMessagePacketHeader header{magic, id, flags};
    std::vector<uint8_t> bytes(sizeof header + payloadSize, 0x22);
    std::memcpy(bytes.data(), &header, sizeof header);
    return bytes;
}

// A client that speaks to the port's socket directly and sends `packet`.
AFileDescriptor SendDirectly(const std::filesystem::path& path, const std::vector<uint8_t>& packet = {})
{
    AFileDescriptor fd(socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    sockaddr_un address{AF_UNIX, {}};
    path.string().copy(address.sun_path, sizeof address.sun_path - 1);
    if (connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        (!packet.empty() && send(fd.Get(), packet.data(), packet.size(), MSG_NOSIGNAL) != ssize_t(packet.size())))
        return {};
    return fd;
}

// True once the port has closed the connection: end of file after any reply.
bool IsClosedByPort(const AFileDescriptor& client)
{
    for (char buffer[16];;) {
        const ssize_t size = recv(client.Get(), buffer, sizeof buffer, MSG_DONTWAIT | MSG_TRUNC);
        if (size <= 0)
            return size == 0 || errno == ECONNRESET;
    }
}

// The port folder looked up twice: made when missing, made private again
// when found open. False once the test has failed.
bool ExpectPrivateTwice(const std::string& folder, uid_t uid)
{
    for (mode_t opened : {0755, 0700}) {
        struct stat info {};
        EXPECT_EQ(GetMessagePortFolder(), folder);
        EXPECT_EQ(lstat(folder.c_str(), &info), 0);
        EXPECT_EQ(std::pair(info.st_mode & (S_IFMT | 07777), info.st_uid), std::pair(S_IFDIR | 0700u, uid));
        chmod(folder.c_str(), opened);
    }
    return !testing::Test::HasFailure();
}

} // namespace

// Each test's port, "Port", served on the test's loop in a private runtime
// folder; a client that must block runs on a thread of its own.
class AMessagePortTest : public testing::Test {
protected:
    // Keeps what it saw and replies with the message id as a byte and the
    // payload reversed; kNoReply replies nothing, kThrows throws, kGiveUp
    // gives fPort up. While fHeld is set it keeps its loop waiting.
    static std::optional<AMessageData> Answer(ALocalMessagePort* port, int32_t id, const AMessageData* payload, void* info)
    {
        auto* test = static_cast<AMessagePortTest*>(info);
        {
            std::lock_guard lock(test->fLock);
            test->fSeen.emplace_back(id, payload ? std::optional(*payload) : std::nullopt);
        }
        while (test->fHeld)
            std::this_thread::sleep_for(1ms);
        if (id == kGiveUp && port == test->fPort.get())
            test->fPort.reset();
        if (id == kThrows)
            throw std::runtime_error("handler failed");
        AMessageData reply{static_cast<uint8_t>(id)};
        if (payload != nullptr)
            reply.insert(reply.end(), payload->rbegin(), payload->rend());
        return id == kNoReply ? std::nullopt : std::optional(reply);
    }
    std::unique_ptr<ALocalMessagePort> Serve(std::string_view name) { return ALocalMessagePort::Create(fLoop, name, Answer, this); }
    AMessages Seen()
    {
        std::lock_guard lock(fLock);
        return fSeen;
    }
    bool RunUntilCount(size_t count) { return fLoop.RunUntil([&] { return Seen().size() >= count; }, 20'000'000); }
    template <typename AClient> auto WhileServing(AClient client)
    {
        auto result = std::async(std::launch::async, client);
        while (result.wait_for(0s) != std::future_status::ready)
            fLoop.RunOnce(10'000);
        return result.get();
    }
    // Runs `body` in a process of its own while the loop serves; true when it returned true there.
    bool InChild(const std::function<bool()>& body)
    {
        const pid_t child = fork();
        if (child == 0)
            _exit(body() ? 0 : 1);
        int status = -1;
        return WhileServing([&] { return waitpid(child, &status, 0); }) == child && status == 0;
    }
    ATemporaryFolder fRuntime;
    AScopedEnvironment fEnvironment{"XDG_RUNTIME_DIR", fRuntime.Path().string()};
    const std::filesystem::path fFolder = fRuntime.Path() / "nuvexa", fSocket = fFolder / "Port";
    AEventLoop fLoop;
    std::mutex fLock;
    AMessages fSeen;
    std::atomic<bool> fHeld{false};
    std::unique_ptr<ALocalMessagePort> fPort = Serve("Port");
};

TEST_F(AMessagePortTest, RequestsReachTheCalloutAndRepliesComeBackAsSent)
{
    AMessageData largestReply(kMaxMessagePayload, 0xAB);
    largestReply[0] = 4;
    const struct {
        const char* fRule;
        int32_t fId;
        std::optional<AMessageData> fPayload, fReply;
        AStatus fStatus;
    } cases[] = {
        {"a payload reaches the handler and its reply returns", 1, AMessageData{1, 2, 3}, AMessageData{1, 3, 2, 1}, AStatus::kSuccess},
        {"no payload reaches the handler as none", 2, std::nullopt, AMessageData{2}, AStatus::kSuccess},
        {"an empty payload stays an empty payload", 3, AMessageData{}, AMessageData{3}, AStatus::kSuccess},
        {"a handler that replies nothing gives success and no data", kNoReply, AMessageData{9}, std::nullopt, AStatus::kSuccess},
        {"a handler that throws is reported as a transport error", kThrows, std::nullopt, std::nullopt, AStatus::kTransportError},
        {"a negative message id travels intact", -5, AMessageData{4}, AMessageData{0xFB, 4}, AStatus::kSuccess},
        {"a payload just under the limit travels both ways", 4, AMessageData(kMaxMessagePayload - 1, 0xAB), largestReply, AStatus::kSuccess},
        {"a reply over the limit is a transport error", 5, AMessageData(kMaxMessagePayload, 1), std::nullopt, AStatus::kTransportError},
        {"a payload over the limit is refused by the sender", 9, AMessageData(kMaxMessagePayload + 1), std::nullopt, AStatus::kTransportError},
    };
    // One remote port carries every request, each on a connection of its own.
    auto port = ARemoteMessagePort::Create("Port");
    ASSERT_TRUE(port);
    AMessages sent;
    for (const auto& test : cases) {
        SCOPED_TRACE(test.fRule);
        if (test.fId != 9)
            sent.emplace_back(test.fId, test.fPayload);
        std::optional<AMessageData> reply = AMessageData{0xEE};
        EXPECT_EQ(WhileServing([&] { return port->SendRequest(test.fId, test.fPayload ? &*test.fPayload : nullptr, 1, 1, &reply); }),
                  test.fStatus);
        if (test.fStatus == AStatus::kSuccess) {
            EXPECT_EQ(reply, test.fReply);
        }
        EXPECT_EQ(Seen(), sent);
    }
}

TEST_F(AMessagePortTest, RequestsQueueUntilTheQueueIsFullAndArriveInOrderNoneLost)
{
    // While the handler holds the loop up, a client on another thread.
    fHeld = true;
    AMessages sent = {{kNoReply, std::nullopt}, {1, std::nullopt}};
    const int32_t next = WhileServing([&] {
        EXPECT_EQ(SendOnce("Port", kNoReply), AStatus::kSuccess) << "a one-way request does not wait for the handler";
        EXPECT_TRUE(WaitFor([&] { return Seen().size() == 1; }));
        std::optional<AMessageData> reply;
        EXPECT_EQ(SendOnce("Port", 1, {}, &reply, 1, 0.05), AStatus::kReceiveTimeout);
        const int32_t after = SendUntilFull("Port", 0, 0.02, sent);
        fHeld = false;
        return after;
    });
    ASSERT_TRUE(RunUntilCount(sent.size()));
    // Then a burst from the serving thread: a generous send time-out is not
    // waited for, nor is a reply the loop cannot give in time.
    const auto start = std::chrono::steady_clock::now();
    const int32_t last = SendUntilFull("Port", next, 60, sent);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
    ASSERT_TRUE(RunUntilCount(sent.size()));
    std::optional<AMessageData> reply;
    EXPECT_EQ(SendOnce("Port", last, {}, &reply, 60, 60), AStatus::kReceiveTimeout);
    sent.emplace_back(last, std::nullopt);
    ASSERT_TRUE(RunUntilCount(sent.size()));
    EXPECT_EQ(Seen(), sent);
    EXPECT_EQ(WhileServing([&] { return SendOnce("Port", 2, {}, &reply); }), AStatus::kSuccess) << "it serves on";
    EXPECT_EQ(reply, AMessageData{2});
}

// Taking another user's name is the second agent's refusal (AAgentProcess).
TEST_F(AMessagePortTest, OnlyValidNamesInAPrivateFolderAreServedOnceAndFreedWithTheirFiles)
{
    ExpectPrivateTwice(fFolder, geteuid());
    for (const std::string& name : std::vector<std::string>{"", "a/b", ".hidden", "..", std::string(300, 'x'),
                                                            std::string("nul\0byte", 8), "Port"})
        EXPECT_TRUE(!Serve(name) && (name == "Port" || !ARemoteMessagePort::Create(name))) << "refused: " << name;
    EXPECT_FALSE(ALocalMessagePort::Create(fLoop, "NoCallout", nullptr, nullptr) || ARemoteMessagePort::Create("Nobody"));
    EXPECT_EQ(fPort->GetName(), "Port");
    auto early = ARemoteMessagePort::Create("Port");
    fPort.reset();
    EXPECT_FALSE(std::filesystem::exists(fSocket) || std::filesystem::exists(fFolder / ".Port.lock"));
    EXPECT_EQ(early->SendRequest(1, nullptr, 1, 1, nullptr), AStatus::kIsInvalid);
    // The name is free again, and a handler may give its own port up.
    ASSERT_TRUE(fPort = Serve("Port"));
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(SendOnce("Port", kGiveUp), AStatus::kSuccess);
    EXPECT_TRUE(fLoop.RunUntil([&] { return !fPort; }, 5'000'000) && RunUntilIdle(fLoop));
    EXPECT_EQ(std::pair(Seen().size(), std::filesystem::exists(fSocket)), std::pair(size_t{1}, false));
    // A dead holder leaves its lock file and its socket, which nobody serves.
    EXPECT_TRUE(InChild([&] {
        AEventLoop loop;
        return ALocalMessagePort::Create(loop, "Held", Answer, this).release() != nullptr;  // kept to the end
    }));
    EXPECT_TRUE(std::filesystem::exists(fFolder / "Held") && !ARemoteMessagePort::Create("Held"));
    ASSERT_TRUE(fPort = Serve("Held"));
    EXPECT_EQ(SendOnce("Held", 3, AMessageData{7}), AStatus::kSuccess);
    EXPECT_TRUE(RunUntilCount(2));

    // Refused runtime folders, and a symbolic link in the port folder's place.
    const auto open = fRuntime.Path() / "open", foreign = fRuntime.Path() / "foreign";
    std::filesystem::create_directory(open);
    std::filesystem::create_directory(foreign);
    const bool root = chmod(open.c_str(), 0777) == 0 && geteuid() == 0 && chown(foreign.c_str(), 65534, 65534) == 0;
    fPort.reset();
    std::filesystem::remove_all(fFolder);
    std::filesystem::create_directory_symlink(open, fFolder);
    for (const std::string& runtime : {std::string("relative/run"), (fRuntime.Path() / "missing").string(), open.string(),
                                       (root ? foreign : open).string(), fRuntime.Path().string()}) {
        AScopedEnvironment variable("XDG_RUNTIME_DIR", runtime);
        EXPECT_TRUE(GetMessagePortFolder().empty() && !Serve("Port")) << runtime;
    }
    // Without a runtime folder: the user's own, else one in /tmp. A child of
    // a user id nobody has (when root) looks it up, so that the test touches
    // only a folder it made: one already there may be a running agent's.
    const uid_t uid = geteuid() == 0 ? 0x7ffe0000u + getpid() % 0x10000 : geteuid();
    struct stat info {};
    const std::string perUser = "/run/user/" + std::to_string(uid);
    const std::string fallback = lstat(perUser.c_str(), &info) == 0 && info.st_uid == uid
                                     ? perUser + "/nuvexa" : "/tmp/nuvexa-" + std::to_string(uid);
    if (std::filesystem::exists(fallback))
        GTEST_SKIP() << fallback << " is there already";
    EXPECT_TRUE(InChild([&] {
        return unsetenv("XDG_RUNTIME_DIR") == 0 && AUserIds{uid, uid}.Become() && ExpectPrivateTwice(fallback, uid);
    }));
    std::filesystem::remove(fallback);
}

TEST_F(AMessagePortTest, ForeignMalformedIdleAndStalledClientsAreClosedAndHoldUpNobody)
{
    // As root, a client acting as another user, let as far as the port's own
    // credential check, which closes it first: its request may not even go.
    if (geteuid() == 0) {
        ASSERT_EQ(chmod(fRuntime.Path().c_str(), 0711) | chmod(fFolder.c_str(), 0711) | chmod(fSocket.c_str(), 0777), 0);
        EXPECT_TRUE(InChild([&] {
            const AFileDescriptor fd = AUserIds{}.Become() ? SendDirectly(fSocket) : AFileDescriptor();
            send(fd.Get(), Packet(kMessagePacketMagic, 1, kPacketWantsReply).data(), kMessagePacketHeaderSize, MSG_NOSIGNAL);
            return fd && WaitFor([&] { return IsClosedByPort(fd); }, 20);
        })) << "another user's client is closed";
    }
    for (const auto& [rule, bytes] : std::initializer_list<std::pair<const char*, std::vector<uint8_t>>>{
             {"a packet shorter than the header", {1, 2, 3}},
             {"a foreign magic", Packet(0x12345678, 1, kPacketWantsReply)},
             {"an unknown flag", Packet(kMessagePacketMagic, 1, 1u << 7)},
             {"bytes after a header that announces no payload", Packet(kMessagePacketMagic, 1, 0, 4)},
             {"a payload over the limit", Packet(kMessagePacketMagic, 1, kPacketHasPayload | kPacketWantsReply, kMaxMessagePayload + 1)}}) {
        AFileDescriptor client = SendDirectly(fSocket, bytes);
        EXPECT_TRUE(fLoop.RunUntil([&] { return client && IsClosedByPort(client); }, 5'000'000)) << rule;
    }
    EXPECT_TRUE(RunUntilIdle(fLoop));
    EXPECT_TRUE(Seen().empty()) << "neither another user's request nor a malformed packet reaches the handler";

    // A client accepted before it sends waits and is served; the connection
    // a remote made at look-up and left idle is replaced when it sends.
    auto late = ARemoteMessagePort::Create("Port");
    AFileDescriptor first = SendDirectly(fSocket);
    ASSERT_TRUE(RunUntilIdle(fLoop));
    ASSERT_EQ(send(first.Get(), Packet(kMessagePacketMagic, 3, 0).data(), kMessagePacketHeaderSize, 0), 12);
    ASSERT_TRUE(RunUntilCount(1));
    // A second client a second later that never sends is closed after its
    // own idle time-out (2 s), neither at the first's nor never.
    fLoop.RunUntil([] { return false; }, 1'000'000);
    const auto connected = std::chrono::steady_clock::now();
    AFileDescriptor second = SendDirectly(fSocket);
    ASSERT_TRUE(fLoop.RunUntil([&] { return IsClosedByPort(second); }, 10'000'000));
    EXPECT_GE(std::chrono::steady_clock::now() - connected, 2s);
    EXPECT_EQ(late->SendRequest(5, nullptr, 1, 1, nullptr), AStatus::kSuccess);
    EXPECT_TRUE(RunUntilCount(2));

    // Clients that never send, more than the port keeps waiting, and clients
    // that ask for the largest reply and never read it.
    std::vector<AFileDescriptor> stalled;
    for (int i = 0; i < 110; ++i)
        stalled.push_back(SendDirectly(fSocket, i < 100 ? std::vector<uint8_t>() : Packet(kMessagePacketMagic, 9,
                                                kPacketHasPayload | kPacketWantsReply, kMaxMessagePayload - 1)));
    std::optional<AMessageData> reply;
    EXPECT_EQ(WhileServing([&] { return SendOnce("Port", 1, {}, &reply); }), AStatus::kSuccess);
    EXPECT_EQ(std::pair(reply, Seen().size()), std::pair(std::optional(AMessageData{1}), size_t{13}));
    // Each is closed in the end, when idle too long or to make room.
    for (const auto& client : stalled)
        EXPECT_TRUE(fLoop.RunUntil([&] { return IsClosedByPort(client); }, 10'000'000));
}
