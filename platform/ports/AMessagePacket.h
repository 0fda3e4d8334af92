#pragma once
// The wire form of one message-port packet. A request and its reply are each
// one SOCK_SEQPACKET packet: a 12-byte header (magic, message id, flags; host
// byte order, since both ends run on one machine) followed by the payload.
// A reply echoes the request's message id. Parsing is plain code over bytes
// so that both ends share it and it can be checked without sockets.

#include "platform/ports/AMessagePort.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

inline constexpr uint32_t kMessagePacketMagic = 0x3158564E;  // the bytes "NVX1"

// Header flags.
inline constexpr uint32_t kPacketWantsReply = 1u << 0;  // request: the sender waits for a reply packet
inline constexpr uint32_t kPacketHasPayload = 1u << 1;  // a payload follows (possibly empty)
inline constexpr uint32_t kPacketFailed = 1u << 2;      // reply: the handler's reply could not be carried

struct AMessagePacketHeader {
    uint32_t fMagic = kMessagePacketMagic;
    int32_t fMessageId = 0;
    uint32_t fFlags = 0;
};
static_assert(sizeof(AMessagePacketHeader) == 12);

inline constexpr size_t kMessagePacketHeaderSize = sizeof(AMessagePacketHeader);
inline constexpr size_t kMaxMessagePacketSize = kMessagePacketHeaderSize + kMaxMessagePayload;

enum class AMessagePacketKind { kRequest, kReply };

struct AMessagePacket {
    int32_t fMessageId = 0;
    uint32_t fFlags = 0;
    std::optional<AMessageData> fPayload;  // none when kPacketHasPayload is clear

    bool WantsReply() const { return (fFlags & kPacketWantsReply) != 0; }
};

// Reads one received packet; none when the bytes are not a well-formed packet
// of that kind (short, foreign magic, unknown flags, bytes after a header that
// announces no payload, a payload over kMaxMessagePayload).
std::optional<AMessagePacket> ParseMessagePacket(std::span<const uint8_t> bytes, AMessagePacketKind kind);
