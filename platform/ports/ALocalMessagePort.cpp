#include "platform/ports/AMessagePacket.h"
#include "platform/ports/AMessagePort.h"
#include "platform/ports/AMessagePortPaths.h"
#include "platform/ports/AMessagePortRegistry.h"

#include <cerrno>
#include <fcntl.h>
#include <iterator>
#include <list>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

// A connection that has sent nothing for this long is closed.
constexpr uint64_t kIdleTimeoutUsec = 2'000'000;
// At most this many accepted connections wait for their packet; a further
// one pushes the oldest out.
constexpr size_t kMaxWaitingConnections = 64;
// Connections served per wake-up before the loop gets to its other sources.
constexpr int kAcceptBatch = 256;
// After running out of descriptors, accepting pauses this long instead of
// spinning on a listener that stays readable.
constexpr uint64_t kAcceptPauseUsec = 100'000;

// Takes the name's lock file; nothing when a live process holds it. The
// kernel drops the lock when its holder dies, so a crashed holder's name can
// be taken over.
AFileDescriptor LockName(const std::string& lockPath)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        AFileDescriptor lock(open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!lock || flock(lock.Get(), LOCK_EX | LOCK_NB) != 0)
            return {};
        // A holder removes the file as it lets go; the lock won on a removed
        // file guards nothing, so take the one now at the path instead.
        struct stat held {}, current {};
        if (fstat(lock.Get(), &held) == 0 && lstat(lockPath.c_str(), &current) == 0 &&
            held.st_dev == current.st_dev && held.st_ino == current.st_ino)
            return lock;
    }
    return {};
}

AFileDescriptor Listen(const std::string& socketPath)
{
    AFileDescriptor listener(socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const sockaddr_un address = MakeSocketAddress(socketPath);
    if (!listener || bind(listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener.Get(), SOMAXCONN) != 0)
        return {};
    return listener;
}

bool IsUser(int connection, uid_t user)
{
    ucred peer{};
    socklen_t size = sizeof peer;
    return getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == user;
}

void SendReply(int connection, int32_t messageId, const std::optional<AMessageData>& reply, bool failed)
{
    AMessagePacketHeader header{kMessagePacketMagic, messageId, 0};
    iovec parts[2] = {{&header, sizeof header}, {nullptr, 0}};
    if (failed || (reply && reply->size() > kMaxMessagePayload)) {
        header.fFlags = kPacketFailed;
    } else if (reply) {
        header.fFlags = kPacketHasPayload;
        parts[1] = {const_cast<uint8_t*>(reply->data()), reply->size()};
    }
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = 2;
    // A client that left or stopped reading must not hold up the loop: never
    // wait, never raise SIGPIPE. A reply nobody can take is dropped.
    (void)sendmsg(connection, &message, MSG_DONTWAIT | MSG_NOSIGNAL);
}

} // namespace

struct ALocalMessagePort::AState {
    // An accepted connection whose request has not arrived yet.
    struct AWaiting {
        AFileDescriptor fSocket;
        AEventSource fSource;
        uint64_t fDeadline = 0;
    };
    enum class AServed { kDone, kWaiting, kPortGone };

    AState(AEventLoop& loop, std::string_view name, ACallout callout, void* info)
        : fLoop(loop), fName(name), fCallout(callout), fInfo(info), fBuffer(kMaxMessagePacketSize)
    {
    }
    ~AState();

    uint64_t Now() const;
    void AcceptConnections();
    void PauseAccepting();
    AServed Serve(int connection);
    void Wait(AFileDescriptor connection);
    void ServeWaiting(std::list<AWaiting>::iterator waiting);
    void ArmIdleTimer();
    void DropIdleConnections();

    AEventLoop& fLoop;
    const uid_t fUser = geteuid();  // the user whose port this is
    ALocalMessagePort* fPort = nullptr;
    std::string fName;
    AMessagePortPaths fPaths;
    ACallout fCallout;
    void* fInfo;
    AFileDescriptor fLock;
    AFileDescriptor fListener;
    AEventSource fListenerSource;
    AEventSource fPauseTimer;
    std::list<AWaiting> fWaiting;  // oldest first
    // One timer for all waiting connections, armed for the oldest one's
    // deadline or earlier. It is left armed when the connection it was set
    // for is served, and a firing that finds nothing expired moves it on,
    // so a connection that waits costs no timer work of its own. An idle
    // port wakes at most once more.
    AEventSource fIdleTimer;
    std::vector<uint8_t> fBuffer;
    bool* fGone = nullptr;  // set while a callout runs; tells it apart from a port destroyed meanwhile
};

ALocalMessagePort::AState::~AState()
{
    fListenerSource.Reset();
    fPauseTimer.Reset();
    fIdleTimer.Reset();
    fWaiting.clear();
    fListener.Reset();
    if (fLock) {
        unlink(fPaths.fSocket.c_str());
        AMessagePortRegistry::Remove(fPaths.fSocket);
        unlink(fPaths.fLock.c_str());
        fLock.Reset();
    }
}

uint64_t ALocalMessagePort::AState::Now() const
{
    uint64_t now = 0;
    if (sd_event_now(fLoop.Get(), CLOCK_MONOTONIC, &now) < 0) {
        timespec clock{};
        clock_gettime(CLOCK_MONOTONIC, &clock);
        now = static_cast<uint64_t>(clock.tv_sec) * 1'000'000u + static_cast<uint64_t>(clock.tv_nsec) / 1000u;
    }
    return now;
}

// Accepts in arrival order and reads each new connection's packet at once, so
// that messages are handled in the order they were sent.
void ALocalMessagePort::AState::AcceptConnections()
{
    for (int served = 0; served < kAcceptBatch; ++served) {
        AFileDescriptor connection(accept4(fListener.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!connection) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                PauseAccepting();
            return;
        }
        // Another user's process is closed without being served.
        if (!IsUser(connection.Get(), fUser))
            continue;
        const AServed result = Serve(connection.Get());
        if (result == AServed::kPortGone)
            return;
        if (result == AServed::kWaiting)
            Wait(std::move(connection));
    }
}

void ALocalMessagePort::AState::PauseAccepting()
{
    sd_event_source_set_enabled(fListenerSource.Get(), SD_EVENT_OFF);
    fPauseTimer = fLoop.AddTimer(kAcceptPauseUsec, [this] {
        fPauseTimer.Reset();
        sd_event_source_set_enabled(fListenerSource.Get(), SD_EVENT_ON);
    });
    if (!fPauseTimer)
        sd_event_source_set_enabled(fListenerSource.Get(), SD_EVENT_ON);
}

ALocalMessagePort::AState::AServed ALocalMessagePort::AState::Serve(int connection)
{
    // MSG_TRUNC makes recv give a packet's whole length, so an oversized
    // packet shows as longer than the buffer; it is dropped with its connection.
    const ssize_t size = recv(connection, fBuffer.data(), fBuffer.size(), MSG_DONTWAIT | MSG_TRUNC);
    if (size < 0)
        return errno == EAGAIN || errno == EINTR ? AServed::kWaiting : AServed::kDone;
    if (static_cast<size_t>(size) > fBuffer.size())
        return AServed::kDone;
    auto packet = ParseMessagePacket({fBuffer.data(), static_cast<size_t>(size)}, AMessagePacketKind::kRequest);
    if (!packet)
        return AServed::kDone;

    bool gone = false;
    fGone = &gone;
    std::optional<AMessageData> reply;
    bool failed = false;
    try {
        reply = fCallout(fPort, packet->fMessageId, packet->fPayload ? &*packet->fPayload : nullptr, fInfo);
    } catch (...) {
        // An exception cannot travel through the C event loop; the sender is
        // told the request failed instead.
        failed = true;
    }
    if (gone)
        return AServed::kPortGone;
    fGone = nullptr;
    if (packet->WantsReply())
        SendReply(connection, packet->fMessageId, reply, failed);
    return AServed::kDone;
}

void ALocalMessagePort::AState::Wait(AFileDescriptor connection)
{
    // The oldest waiting connection is the likeliest to have stalled.
    if (fWaiting.size() >= kMaxWaitingConnections)
        fWaiting.pop_front();
    const int fd = connection.Get();
    const auto waiting = fWaiting.insert(fWaiting.end(), AWaiting{std::move(connection), {}, Now() + kIdleTimeoutUsec});
    waiting->fSource = fLoop.AddIO(fd, EPOLLIN, [this, waiting](uint32_t) { ServeWaiting(waiting); });
    if (!waiting->fSource)
        fWaiting.erase(waiting);
    ArmIdleTimer();
}

void ALocalMessagePort::AState::ServeWaiting(std::list<AWaiting>::iterator waiting)
{
    const AServed result = Serve(waiting->fSocket.Get());
    if (result == AServed::kPortGone || result == AServed::kWaiting)
        return;
    fWaiting.erase(waiting);
}

void ALocalMessagePort::AState::ArmIdleTimer()
{
    if (fWaiting.empty())
        return;
    int enabled = SD_EVENT_OFF;
    if (fIdleTimer && sd_event_source_get_enabled(fIdleTimer.Get(), &enabled) >= 0 && enabled != SD_EVENT_OFF)
        return;  // armed for an older deadline, which comes first
    const uint64_t deadline = fWaiting.front().fDeadline;
    if (fIdleTimer && sd_event_source_set_time(fIdleTimer.Get(), deadline) >= 0 &&
        sd_event_source_set_enabled(fIdleTimer.Get(), SD_EVENT_ONESHOT) >= 0)
        return;
    const uint64_t now = Now();
    fIdleTimer = fLoop.AddTimer(deadline > now ? deadline - now : 0, [this] { DropIdleConnections(); });
}

void ALocalMessagePort::AState::DropIdleConnections()
{
    const uint64_t now = Now();
    while (!fWaiting.empty() && fWaiting.front().fDeadline <= now) {
        // The request may have arrived in this very loop pass: serve it
        // rather than drop it.
        if (Serve(fWaiting.front().fSocket.Get()) == AServed::kPortGone)
            return;
        fWaiting.pop_front();
    }
    ArmIdleTimer();
}

ALocalMessagePort::ALocalMessagePort(std::unique_ptr<AState> state) : fState(std::move(state)) {}

ALocalMessagePort::~ALocalMessagePort()
{
    if (fState->fGone != nullptr)
        *fState->fGone = true;
}

const std::string& ALocalMessagePort::GetName() const
{
    return fState->fName;
}

std::unique_ptr<ALocalMessagePort> ALocalMessagePort::Create(AEventLoop& loop, std::string_view name,
                                                             ACallout callout, void* info)
{
    auto paths = GetMessagePortPaths(name, AMessagePortUse::kServe);
    if (callout == nullptr || !paths)
        return nullptr;
    auto state = std::make_unique<AState>(loop, name, callout, info);
    state->fPaths = std::move(*paths);
    state->fLock = LockName(state->fPaths.fLock);
    if (!state->fLock)
        return nullptr;
    // The name is ours now; a socket file still there was left by a holder
    // that died.
    unlink(state->fPaths.fSocket.c_str());
    state->fListener = Listen(state->fPaths.fSocket);
    if (!state->fListener)
        return nullptr;
    AState* served = state.get();
    state->fListenerSource = loop.AddIO(state->fListener.Get(), EPOLLIN, [served](uint32_t) { served->AcceptConnections(); });
    if (!state->fListenerSource)
        return nullptr;
    AMessagePortRegistry::Add(state->fPaths.fSocket);
    std::unique_ptr<ALocalMessagePort> port(new ALocalMessagePort(std::move(state)));
    port->fState->fPort = port.get();
    return port;
}
