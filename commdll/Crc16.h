#pragma once

#include "platform/WinTypes.h"

#include <QByteArrayView>

namespace commdll {

// CRC-16/XMODEM: polynomial 0x1021, initial value 0, no reflection, no final XOR
// ("123456789" gives 0x31C3). It checks every frame on the wire and, sent with exec, the
// whole firmware image. Takes any run of bytes (QByteArray, std::span<const BYTE>, ...).
WORD Crc16Xmodem(QByteArrayView data, WORD crc = 0);

} // namespace commdll
