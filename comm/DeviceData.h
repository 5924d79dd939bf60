#pragma once

#include "comm/EthernetSettings.h"
#include "platform/WinTypes.h"

#include <array>

inline constexpr DWORD STATUS_RECORD_SIZE = 32;
inline constexpr BYTE VALID_DEVICE_SIGNATURE = 'q';

// Byte positions in the status record.
inline constexpr int STATUS_SIGNATURE = 0;
inline constexpr int STATUS_HARDWARE_REV = 1;
inline constexpr int STATUS_BOOT_REV = 2;
inline constexpr int STATUS_EXEC_REV = 4;
inline constexpr int STATUS_RESOLVER_POSITION = 22;

// The program-wide record of the device: the last reply, the target address, the status
// record and the settings as read and as to be written.
struct DeviceDataRecord {
    std::array<BYTE, 100> m_Response{};
    DWORD m_dwResponseLength = 0;
    std::array<BYTE, 4> m_DeviceIp{};
    std::array<BYTE, STATUS_RECORD_SIZE> m_Status{};
    EthernetSettings m_Current;
    EthernetSettings m_Pending;

    bool IsValidDevice() const { return m_Status[STATUS_SIGNATURE] == VALID_DEVICE_SIGNATURE; }
    // Resolver position: status bytes 22 to 25, most significant byte first, signed.
    long ResolverPosition() const;
};

// The window's record for the whole run. The user-interface thread and the status poller
// share it; the callers make sure that only one of them talks to the device at a time.
// Links that run devices concurrently (the command line) each have a record of their own.
extern DeviceDataRecord DeviceData;
