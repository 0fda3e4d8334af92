#pragma once
// Named message ports between processes of one user, on Unix SOCK_SEQPACKET
// sockets in a 0700 folder under $XDG_RUNTIME_DIR ("nuvexa"). One packet is
// one message: a message id, a payload, and whether the sender waits for
// reply data; a reply is one packet back.
//
// ALocalMessagePort serves a name on an event loop; a name held by a live
// process cannot be taken, a name left behind by a dead one is reclaimed.
// ARemoteMessagePort looks a name up and sends requests to it.

#include "platform/loop/AEventLoop.h"
#include "base/AFileDescriptor.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

using AMessageData = std::vector<uint8_t>;

// The largest payload a port accepts; a larger request is refused.
inline constexpr size_t kMaxMessagePayload = 64 * 1024;

// Results of a request.
enum class AMessagePortStatus : int32_t {
    kSuccess = 0,
    kSendTimeout = -1,
    kReceiveTimeout = -2,
    kIsInvalid = -3,
    kTransportError = -4,
};

// The folder that holds the port sockets, created with mode 0700 when
// missing: "$XDG_RUNTIME_DIR/nuvexa" (the runtime folder must be ours and not
// writable by others); without that variable "/run/user/<uid>/nuvexa" when
// that runtime folder is ours, else "/tmp/nuvexa-<uid>". The folder must be a
// real folder (not a link) of ours. Empty when none can be had.
std::string GetMessagePortFolder();

class ALocalMessagePort {
public:
    // The callout gets the port, the message id, the payload (null when the
    // sender sent none) and the info given at creation; it returns reply data
    // or none.
    using ACallout = std::optional<AMessageData> (*)(ALocalMessagePort* port, int32_t messageId,
                                                     const AMessageData* payload, void* info);

    // Serves `name` on `loop`, which runs on the calling thread. Null when
    // the name is held by a live process or the socket cannot be made.
    static std::unique_ptr<ALocalMessagePort> Create(AEventLoop& loop, std::string_view name,
                                                     ACallout callout, void* info);
    // Gives the name up: closes every connection, removes the socket.
    ~ALocalMessagePort();

    const std::string& GetName() const;

    struct AState;

private:
    explicit ALocalMessagePort(std::unique_ptr<AState> state);
    std::unique_ptr<AState> fState;
};

class ARemoteMessagePort {
public:
    // Null when nobody serves `name`.
    static std::unique_ptr<ARemoteMessagePort> Create(std::string_view name);
    ~ARemoteMessagePort();

    // Sends one request. With `reply` null the call does not wait for the
    // handler; otherwise it waits up to receiveTimeout seconds and fills
    // `reply` (left empty when the handler returned none). A sender on the
    // thread that serves the port never waits for it. Statuses: kSendTimeout
    // (the port's queue stayed full), kReceiveTimeout (no reply in time),
    // kIsInvalid (nobody serves the name any more, or the port closed the
    // connection unanswered), kTransportError (a payload over
    // kMaxMessagePayload, which is not sent; a reply that cannot be read).
    AMessagePortStatus SendRequest(int32_t messageId, const AMessageData* payload,
                                   double sendTimeout, double receiveTimeout,
                                   std::optional<AMessageData>* reply);

private:
    ARemoteMessagePort(AFileDescriptor socket, bool connected, std::string path);
    AMessagePortStatus Connect(uint64_t deadline);
    AMessagePortStatus Send(int32_t messageId, uint32_t flags, const AMessageData* payload, uint64_t deadline);
    AMessagePortStatus Receive(int32_t messageId, uint64_t deadline, std::optional<AMessageData>* reply);

    // Each request travels on a connection of its own; the first one is made
    // by Create, later ones by SendRequest.
    AFileDescriptor fSocket;
    bool fConnected = false;
    std::string fPath;
};
