#pragma once

#include "platform/WinTypes.h"

// The library's own status codes for transport faults (the values callers rely on, 0, 18,
// 27 and 29, are in SerialComm.h). A device that refuses a request reports its own status,
// which the library passes on unchanged unless it is one of the library's own codes.
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
inline constexpr DWORD COMM_ERROR_DEVICE_STATUS = 23;    // device status that is a library code

// Every code the library itself gives (0 aside). A device status of one of these values would
// read as a library condition (18 fails without a message, 27 reads as busy for ever), so it
// reaches the caller as COMM_ERROR_DEVICE_STATUS instead.
inline constexpr DWORD kLibraryStatusCodes[] = {COMM_ERROR_CHECKSUM,
                                                COMM_ERROR_TIMEOUT,
                                                COMM_ERROR_MESSAGE_CODE,
                                                COMM_ERROR_CONNECT,
                                                COMM_ERROR_SEQUENCE,
                                                COMM_ERROR_LENGTH,
                                                COMM_ERROR_TYPE,
                                                COMM_ERROR_PORT_CONFLICT,
                                                18 /* failed silently */,
                                                27 /* busy */,
                                                29 /* after a wait */,
                                                COMM_ERROR_NOT_INITIALIZED,
                                                COMM_ERROR_INVALID_ARGUMENT,
                                                COMM_ERROR_TRANSMIT};

// Faults of the transport that a new attempt may overcome; any other status is an answer.
inline bool IsTransportFault(DWORD status) {
    return status == COMM_ERROR_CHECKSUM || status == COMM_ERROR_TIMEOUT ||
           status == COMM_ERROR_MESSAGE_CODE || status == COMM_ERROR_CONNECT ||
           status == COMM_ERROR_SEQUENCE || status == COMM_ERROR_LENGTH ||
           status == COMM_ERROR_TYPE || status == COMM_ERROR_TRANSMIT;
}
