#include "commdll/SerialComm.h"

#include "commdll/CommStatus.h"
#include "commdll/Frame.h"
#include "commdll/RequestTimeout.h"
#include "commdll/SerialCommLink.h"
#include "platform/LastError.h"

#include <algorithm>
#include <cstring>

COM_APP_TYPE CSerialComm::m_enumAppType = COM_APP_TYPE_NONE;

namespace {

// A device that answers within this window is done before ProccessMsgCode_NoThread returns,
// on the caller's own thread, so the caller never takes its 400 ms busy sleep.
constexpr int FAST_PATH_MS = 50;

constexpr BYTE CODE_FIRMWARE_BLOCK = 26;

} // namespace

CSerialComm::CSerialComm() = default;

CSerialComm::~CSerialComm() = default;

void CSerialComm::SetCommModeToEthernetCE() {
    m_ethernetMode = true;
}

void CSerialComm::SetIPAndPort(QString address, int port) {
    CloseComPort();
    m_address = std::move(address);
    m_port = port;
}

DWORD CSerialComm::ProccessMsgCode_NoThread(BYTE code, bool flag, BYTE* payload,
                                            DWORD payloadLength, BYTE* response, DWORD responseSize,
                                            DWORD* responseLength) {
    return ProccessMsgCode_NoThread(code, flag, payload, payloadLength, response, responseSize,
                                    responseLength, m_byBlockFlags);
}

DWORD CSerialComm::ProccessMsgCode_NoThread(BYTE code, bool flag, BYTE* payload,
                                            DWORD payloadLength, BYTE* response, DWORD responseSize,
                                            DWORD* responseLength, BYTE blockFlags) {
    if (!m_ethernetMode || m_address.isEmpty() || m_port <= 0 || m_port > 0xFFFF)
        return COMM_ERROR_NOT_INITIALIZED;
    if (response == nullptr || responseLength == nullptr ||
        (payload == nullptr && payloadLength != 0) ||
        payloadLength > static_cast<DWORD>(commdll::FRAME_MAX_PAYLOAD))
        return COMM_ERROR_INVALID_ARGUMENT;
    if (m_exchangeOpen)
        return COMM_ERROR_PORT_CONFLICT;
    if (!m_link)
        m_link = std::make_unique<SerialCommLink>(m_address, static_cast<quint16>(m_port));

    LinkRequest request;
    request.code = code;
    // Block flags belong to firmware blocks only; they stay set in m_byBlockFlags after the
    // last block, and an exec carrying the last-block bit would read as one more block.
    request.flags = commdll::RequestFlags(flag, code == CODE_FIRMWARE_BLOCK ? blockFlags : BYTE{0});
    request.payload =
        QByteArray(reinterpret_cast<const char*>(payload), static_cast<qsizetype>(payloadLength));
    request.timeoutMs =
        commdll::RequestTimeoutMs(code, payload, payloadLength, m_nRequestTimeoutMs);
    if (!m_link->Start(std::move(request), FAST_PATH_MS))
        return COMM_ERROR_PORT_CONFLICT;
    *responseLength = 0;

    m_response = response;
    m_responseSize = std::min(responseSize, RESPONSE_BUFFER_SIZE);
    m_responseLength = responseLength;
    m_requestLength = payloadLength;
    m_exchangeOpen = true;
    return COMM_STATUS_DONE;
}

bool CSerialComm::WaitForExchangeEnd(int timeoutMs) {
    return !m_exchangeOpen || m_link->WaitUntilDone(timeoutMs);
}

void CSerialComm::SetExchangeEndNotifier(std::function<void()> wake) {
    if (m_link)
        m_link->SetEndNotifier(std::move(wake));
}

DWORD CSerialComm::GetCommunicationStatusOfDll() {
    if (!m_exchangeOpen)
        return m_lastStatus;
    if (!m_link->IsDone())
        return COMM_STATUS_BUSY;
    Deliver(m_link->TakeOutcome());
    return m_lastStatus;
}

// Runs on the caller's thread, so the caller's buffer, m_dwResult and the caller's last
// system error are written by the thread that owns them.
void CSerialComm::Deliver(const commdll::LinkOutcome& outcome) {
    m_exchangeOpen = false;
    m_lastStatus = outcome.status;
    m_dwResult = outcome.status;
    if (outcome.status == COMM_STATUS_DONE) {
        const auto stored =
            std::min<DWORD>(m_responseSize, static_cast<DWORD>(outcome.reply.size()));
        std::memcpy(m_response, outcome.reply.constData(), stored);
        *m_responseLength = stored;
        m_dwProgressCount += m_requestLength;
    }
    // A failure that is not the system's own clears an older system error, so that it is
    // never shown for the wrong failure.
    if (outcome.status != COMM_STATUS_DONE)
        platform::SetLastSystemError(outcome.systemError);
}

DWORD CSerialComm::CloseComPort() {
    m_link.reset();
    if (m_exchangeOpen) {
        m_exchangeOpen = false;
        m_lastStatus = COMM_STATUS_FAILED_SILENT;
        m_dwResult = COMM_STATUS_FAILED_SILENT;
    }
    return 0;
}

DWORD CSerialComm::EthernetClose() {
    CloseComPort();
    m_ethernetMode = false;
    m_address.clear();
    m_port = 0;
    return 0;
}
