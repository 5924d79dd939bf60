#pragma once

#include "platform/WinTypes.h"

#include <QByteArray>

#include <cstdint>

// The wire format between the library and the device (docs/protocol.md): a 10-byte header,
// the payload, and a CRC-16/XMODEM of both, all numbers most significant byte first.
//
//   0     magic 0xD5
//   1     kind: 0x01 request, 0x02 reply
//   2..5  sequence number
//   6     message code
//   7     request: flags (FRAME_FLAG_*); reply: device status (0 = accepted)
//   8..9  payload length, at most FRAME_MAX_PAYLOAD
//   10..  payload, then the checksum over everything before it
namespace commdll {

inline constexpr BYTE FRAME_MAGIC = 0xD5;
inline constexpr BYTE FRAME_KIND_REQUEST = 0x01;
inline constexpr BYTE FRAME_KIND_REPLY = 0x02;
inline constexpr int FRAME_HEADER_SIZE = 10;
inline constexpr int FRAME_CHECKSUM_SIZE = 2;
inline constexpr int FRAME_MAX_PAYLOAD = 512;
inline constexpr int FRAME_MAX_SIZE = FRAME_HEADER_SIZE + FRAME_MAX_PAYLOAD + FRAME_CHECKSUM_SIZE;

// Request flag bits.
inline constexpr BYTE FRAME_FLAG_REQUEST = 0x01;     // the caller's flag argument
inline constexpr BYTE FRAME_FLAG_FIRST_BLOCK = 0x02; // firmware block flag bit 0
inline constexpr BYTE FRAME_FLAG_LAST_BLOCK = 0x04;  // firmware block flag bit 1

struct Frame {
    BYTE kind = FRAME_KIND_REQUEST;
    std::uint32_t sequence = 0;
    BYTE code = 0;
    BYTE flagsOrStatus = 0;
    QByteArray payload;
};

// The whole frame with its checksum; an empty array when the payload is too long.
QByteArray EncodeFrame(const Frame& frame);

// Request flags from the caller's flag and the firmware block flags, and back.
BYTE RequestFlags(bool flag, BYTE blockFlags);
BYTE BlockFlagsOf(BYTE requestFlags);

} // namespace commdll
