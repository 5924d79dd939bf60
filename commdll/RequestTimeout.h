#pragma once

#include "platform/WinTypes.h"

namespace commdll {

// Time allowed for one exchange, connecting included: the boot request waits while the device
// erases its flash, the exec request while it checks and programs the whole image (its
// length is the payload's first four bytes, high byte first); every other request gets
// `ordinaryMs`, or 3 s when that is not positive.
int RequestTimeoutMs(BYTE code, const BYTE* payload, DWORD payloadLength, int ordinaryMs);

} // namespace commdll
