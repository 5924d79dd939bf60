#pragma once

#include "platform/WinTypes.h"

// The library's own status codes for transport faults (the values callers rely on, 0, 18,
// 27 and 29, are in SerialComm.h). A device that refuses a request reports its own status,
// which the library passes on unchanged.
inline constexpr DWORD COMM_ERROR_CHECKSUM = 1;          // reply checksum wrong
inline constexpr DWORD COMM_ERROR_TIMEOUT = 2;           // no complete reply in time
inline constexpr DWORD COMM_ERROR_MESSAGE_CODE = 3;      // reply to another message code
inline constexpr DWORD COMM_ERROR_CONNECT = 4;           // destination unreachable or refused
inline constexpr DWORD COMM_ERROR_SEQUENCE = 7;          // reply to a request never sent
inline constexpr DWORD COMM_ERROR_LENGTH = 8;            // reply length and bytes disagree
inline constexpr DWORD COMM_ERROR_TYPE = 9;              // not a reply frame of this protocol
inline constexpr DWORD COMM_ERROR_PORT_CONFLICT = 17;    // a request while one is running
inline constexpr DWORD COMM_ERROR_NOT_INITIALIZED = 30;  // no mode or address set
inline constexpr DWORD COMM_ERROR_INVALID_ARGUMENT = 31; // null buffer, payload too long
inline constexpr DWORD COMM_ERROR_TRANSMIT = 35;         // link lost twice in one exchange
