#pragma once

#include "commdll/SerialComm.h"

#include "WaitFor.h"

#include <optional>

namespace testsupport {

// One request run the way the command layer runs it: start, then poll the status while it
// reads busy, then take m_dwResult and write 29 into it. A firmware block goes with
// `blockFlags`, or without them with the link's m_byBlockFlags.
struct RequestResult {
    DWORD started = 0; // what ProccessMsgCode_NoThread returned
    bool busyAtFirstPoll = false;
    DWORD status = 0;  // final GetCommunicationStatusOfDll
    DWORD result = 0;  // m_dwResult after the wait
    QByteArray reply;  // the bytes stored in the response buffer
    QByteArray buffer; // the whole buffer, twice the largest reply, 0xEE where not written
};

inline void OpenLink(CSerialComm& link, const QString& address) {
    link.SetCommModeToEthernetCE();
    link.SetIPAndPort(address, DEVICE_PORT);
}

inline RequestResult RunRequest(CSerialComm& link, BYTE code, bool flag, QByteArray payload = {},
                                int timeoutMs = 30000, DWORD bufferSize = RESPONSE_BUFFER_SIZE,
                                std::optional<BYTE> blockFlags = std::nullopt) {
    RequestResult result;
    QByteArray response(2 * RESPONSE_BUFFER_SIZE, char(0xEE));
    DWORD length = 0;
    BYTE* const payloadBytes =
        payload.isEmpty() ? nullptr : reinterpret_cast<BYTE*>(payload.data());
    BYTE* const responseBytes = reinterpret_cast<BYTE*>(response.data());
    const DWORD responseSize = std::min<DWORD>(bufferSize, response.size());
    const DWORD payloadSize = static_cast<DWORD>(payload.size());
    result.started =
        blockFlags
            ? link.ProccessMsgCode_NoThread(code, flag, payloadBytes, payloadSize, responseBytes,
                                            responseSize, &length, *blockFlags)
            : link.ProccessMsgCode_NoThread(code, flag, payloadBytes, payloadSize, responseBytes,
                                            responseSize, &length);
    if (result.started != 0)
        return result;
    result.busyAtFirstPoll = link.GetCommunicationStatusOfDll() == COMM_STATUS_BUSY;
    WaitFor([&] { return link.GetCommunicationStatusOfDll() != COMM_STATUS_BUSY; }, timeoutMs);
    result.status = link.GetCommunicationStatusOfDll();
    result.result = link.m_dwResult;
    link.m_dwResult = COMM_RESULT_AFTER_WAIT;
    result.reply = response.left(static_cast<int>(length));
    result.buffer = response;
    return result;
}

inline QByteArray Hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text));
}

} // namespace testsupport
