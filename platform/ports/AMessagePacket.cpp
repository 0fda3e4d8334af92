#include "platform/ports/AMessagePacket.h"

#include <cstring>

std::optional<AMessagePacket> ParseMessagePacket(std::span<const uint8_t> bytes, AMessagePacketKind kind)
{
    if (bytes.size() < kMessagePacketHeaderSize || bytes.size() > kMaxMessagePacketSize)
        return std::nullopt;
    AMessagePacketHeader header;
    std::memcpy(&header, bytes.data(), sizeof header);
    const uint32_t known = kPacketHasPayload | (kind == AMessagePacketKind::kRequest ? kPacketWantsReply : kPacketFailed);
    if (header.fMagic != kMessagePacketMagic || (header.fFlags & ~known) != 0)
        return std::nullopt;
    const auto body = bytes.subspan(kMessagePacketHeaderSize);
    AMessagePacket packet{header.fMessageId, header.fFlags, std::nullopt};
    if ((header.fFlags & kPacketHasPayload) != 0)
        packet.fPayload.emplace(body.begin(), body.end());
    else if (!body.empty())
        return std::nullopt;
    return packet;
}
