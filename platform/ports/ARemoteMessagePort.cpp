#include "platform/ports/AMessagePacket.h"
#include "platform/ports/AMessagePort.h"
#include "platform/ports/AMessagePortPaths.h"
#include "platform/ports/AMessagePortRegistry.h"

#include <cerrno>
#include <algorithm>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>

namespace {

uint64_t Now()
{
    timespec clock{};
    clock_gettime(CLOCK_MONOTONIC, &clock);
    return static_cast<uint64_t>(clock.tv_sec) * 1'000'000u + static_cast<uint64_t>(clock.tv_nsec) / 1000u;
}

// A time-out in seconds as microseconds; negative or not a number is none,
// anything beyond a day is a day.
uint64_t ToMicroseconds(double seconds)
{
    if (!(seconds > 0))
        return 0;
    return static_cast<uint64_t>(std::min(seconds, 86400.0) * 1e6);
}

// Waits until `fd` is ready for `events` (or has failed); false once the
// deadline has passed. At the deadline it still looks once.
bool WaitUntilReady(int fd, short events, uint64_t deadline)
{
    for (;;) {
        const uint64_t now = Now();
        const uint64_t remaining = deadline > now ? deadline - now : 0;
        const timespec timeout{static_cast<time_t>(remaining / 1'000'000u), static_cast<long>(remaining % 1'000'000u) * 1000};
        pollfd watched{fd, events, 0};
        const int ready = ppoll(&watched, 1, &timeout, nullptr);
        if (ready > 0 || (ready < 0 && errno != EINTR))
            return true;  // a failure shows in the next socket call
        if (remaining == 0)
            return false;
    }
}

AMessagePortStatus StatusOfSocketError(int error)
{
    switch (error) {
    case ENOENT:
    case ECONNREFUSED:
    case EPIPE:
    case ECONNRESET:
    case ENOTCONN:
        return AMessagePortStatus::kIsInvalid;
    default:
        return AMessagePortStatus::kTransportError;
    }
}

AFileDescriptor NewSocket()
{
    return AFileDescriptor(socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
}

} // namespace

ARemoteMessagePort::ARemoteMessagePort(AFileDescriptor socket, bool connected, std::string path)
    : fSocket(std::move(socket)), fConnected(connected), fPath(std::move(path))
{
}

ARemoteMessagePort::~ARemoteMessagePort() = default;

std::unique_ptr<ARemoteMessagePort> ARemoteMessagePort::Create(std::string_view name)
{
    const auto paths = GetMessagePortPaths(name, AMessagePortUse::kLookUp);
    if (!paths)
        return nullptr;
    AFileDescriptor socket = NewSocket();
    const sockaddr_un address = MakeSocketAddress(paths->fSocket);
    if (!socket)
        return nullptr;
    if (connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return std::unique_ptr<ARemoteMessagePort>(new ARemoteMessagePort(std::move(socket), true, paths->fSocket));
    // EAGAIN: the port is served but its queue of new connections is full;
    // the request connects again within its send time-out.
    if (errno == EAGAIN)
        return std::unique_ptr<ARemoteMessagePort>(new ARemoteMessagePort(NewSocket(), false, paths->fSocket));
    return nullptr;
}

AMessagePortStatus ARemoteMessagePort::SendRequest(int32_t messageId, const AMessageData* payload,
                                                   double sendTimeout, double receiveTimeout,
                                                   std::optional<AMessageData>* reply)
{
    if (payload != nullptr && payload->size() > kMaxMessagePayload)
        return AMessagePortStatus::kTransportError;
    // On the thread that serves the port nobody can take the message while
    // this call waits, so it does not wait at all.
    const bool servedHere = AMessagePortRegistry::IsServedOnThisThread(fPath);
    const uint64_t start = Now();
    const uint64_t sendDeadline = servedHere ? start : start + ToMicroseconds(sendTimeout);
    const uint32_t flags = (payload != nullptr ? kPacketHasPayload : 0) | (reply != nullptr ? kPacketWantsReply : 0);

    // A connection made earlier may have been dropped by the port as idle;
    // a packet refused with EPIPE was not delivered, so one new connection
    // may carry it.
    const bool mayRetry = fConnected;
    AMessagePortStatus status = fConnected ? AMessagePortStatus::kSuccess : Connect(sendDeadline);
    if (status == AMessagePortStatus::kSuccess)
        status = Send(messageId, flags, payload, sendDeadline);
    if (status == AMessagePortStatus::kIsInvalid && mayRetry) {
        status = Connect(sendDeadline);
        if (status == AMessagePortStatus::kSuccess)
            status = Send(messageId, flags, payload, sendDeadline);
    }
    if (status == AMessagePortStatus::kSuccess && reply != nullptr) {
        const uint64_t now = Now();
        status = Receive(messageId, servedHere ? now : now + ToMicroseconds(receiveTimeout), reply);
    }
    // The port serves one request per connection.
    fSocket.Reset();
    fConnected = false;
    return status;
}

AMessagePortStatus ARemoteMessagePort::Connect(uint64_t deadline)
{
    fSocket = NewSocket();
    fConnected = false;
    if (!fSocket)
        return AMessagePortStatus::kTransportError;
    const sockaddr_un address = MakeSocketAddress(fPath);
    const auto* target = reinterpret_cast<const sockaddr*>(&address);
    if (connect(fSocket.Get(), target, sizeof address) == 0) {
        fConnected = true;
        return AMessagePortStatus::kSuccess;
    }
    if (errno != EAGAIN)
        return StatusOfSocketError(errno);
    // The port's connection queue is full. A Unix socket offers no readiness
    // event for that; a blocking connect bounded by SO_SNDTIMEO waits until
    // the port accepts one.
    const int blocking = fcntl(fSocket.Get(), F_GETFL) & ~O_NONBLOCK;
    if (fcntl(fSocket.Get(), F_SETFL, blocking) != 0)
        return AMessagePortStatus::kTransportError;
    for (uint64_t now = Now(); now < deadline; now = Now()) {
        const uint64_t remaining = deadline - now;
        const timeval timeout{static_cast<time_t>(remaining / 1'000'000u), static_cast<suseconds_t>(remaining % 1'000'000u)};
        if (setsockopt(fSocket.Get(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout) != 0)
            return AMessagePortStatus::kTransportError;
        if (connect(fSocket.Get(), target, sizeof address) == 0) {
            fConnected = fcntl(fSocket.Get(), F_SETFL, blocking | O_NONBLOCK) == 0;
            return fConnected ? AMessagePortStatus::kSuccess : AMessagePortStatus::kTransportError;
        }
        if (errno != EAGAIN && errno != EINTR && errno != EINPROGRESS)
            return StatusOfSocketError(errno);
    }
    return AMessagePortStatus::kSendTimeout;
}

AMessagePortStatus ARemoteMessagePort::Send(int32_t messageId, uint32_t flags, const AMessageData* payload,
                                            uint64_t deadline)
{
    AMessagePacketHeader header{kMessagePacketMagic, messageId, flags};
    iovec parts[2] = {{&header, sizeof header}, {nullptr, 0}};
    if (payload != nullptr && !payload->empty())
        parts[1] = {const_cast<uint8_t*>(payload->data()), payload->size()};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = 2;
    for (;;) {
        if (sendmsg(fSocket.Get(), &message, MSG_DONTWAIT | MSG_NOSIGNAL) >= 0)
            return AMessagePortStatus::kSuccess;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN)
            return StatusOfSocketError(errno);
        if (!WaitUntilReady(fSocket.Get(), POLLOUT, deadline))
            return AMessagePortStatus::kSendTimeout;
    }
}

AMessagePortStatus ARemoteMessagePort::Receive(int32_t messageId, uint64_t deadline, std::optional<AMessageData>* reply)
{
    // MSG_TRUNC gives a packet's whole length, so an oversized reply shows as
    // longer than the buffer.
    const std::unique_ptr<uint8_t[]> buffer(new uint8_t[kMaxMessagePacketSize]);
    ssize_t size = -1;
    while (size < 0) {
        if (!WaitUntilReady(fSocket.Get(), POLLIN, deadline))
            return AMessagePortStatus::kReceiveTimeout;
        size = recv(fSocket.Get(), buffer.get(), kMaxMessagePacketSize, MSG_DONTWAIT | MSG_TRUNC);
        if (size < 0 && errno != EAGAIN && errno != EINTR)
            return StatusOfSocketError(errno);
    }
    if (size == 0)
        return AMessagePortStatus::kIsInvalid;  // closed unanswered
    if (static_cast<size_t>(size) > kMaxMessagePacketSize)
        return AMessagePortStatus::kTransportError;
    auto packet = ParseMessagePacket({buffer.get(), static_cast<size_t>(size)}, AMessagePacketKind::kReply);
    if (!packet || packet->fMessageId != messageId || (packet->fFlags & kPacketFailed) != 0)
        return AMessagePortStatus::kTransportError;
    *reply = std::move(packet->fPayload);
    return AMessagePortStatus::kSuccess;
}
