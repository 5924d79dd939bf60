#pragma once

#include "platform/WinTypes.h"

#include <span>

// CRC-16/XMODEM: polynomial 0x1021, initial value 0, no reflection, no final XOR. The device
// checks the whole firmware image with it ("123456789" gives 0x31C3).
WORD ComputeCrc16(std::span<const BYTE> data, WORD crc = 0);
