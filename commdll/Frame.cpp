#include "commdll/Frame.h"

#include "commdll/Crc16.h"

namespace commdll {

namespace {

void AppendBigEndian(QByteArray& out, std::uint32_t value, int bytes) {
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
        out.append(static_cast<char>((value >> shift) & 0xFF));
}

} // namespace

QByteArray EncodeFrame(const Frame& frame) {
    if (frame.payload.size() > FRAME_MAX_PAYLOAD)
        return {};
    QByteArray out;
    out.reserve(FRAME_HEADER_SIZE + frame.payload.size() + FRAME_CHECKSUM_SIZE);
    out.append(static_cast<char>(FRAME_MAGIC));
    out.append(static_cast<char>(frame.kind));
    AppendBigEndian(out, frame.sequence, 4);
    out.append(static_cast<char>(frame.code));
    out.append(static_cast<char>(frame.flagsOrStatus));
    AppendBigEndian(out, static_cast<std::uint32_t>(frame.payload.size()), 2);
    out.append(frame.payload);
    AppendBigEndian(out, Crc16Xmodem(out), 2);
    return out;
}

BYTE RequestFlags(bool flag, BYTE blockFlags) {
    BYTE flags = flag ? FRAME_FLAG_REQUEST : 0;
    if (blockFlags & 0x01)
        flags |= FRAME_FLAG_FIRST_BLOCK;
    if (blockFlags & 0x02)
        flags |= FRAME_FLAG_LAST_BLOCK;
    return flags;
}

BYTE BlockFlagsOf(BYTE requestFlags) {
    BYTE blockFlags = 0;
    if (requestFlags & FRAME_FLAG_FIRST_BLOCK)
        blockFlags |= 0x01;
    if (requestFlags & FRAME_FLAG_LAST_BLOCK)
        blockFlags |= 0x02;
    return blockFlags;
}

} // namespace commdll
