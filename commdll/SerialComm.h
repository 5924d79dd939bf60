#pragma once

#include "platform/ProgressIndicator.h"
#include "platform/WinTypes.h"

#include <QString>

#include <functional>
#include <memory>

// Library status values that callers rely on.
inline constexpr DWORD COMM_STATUS_DONE = 0;
inline constexpr DWORD COMM_STATUS_FAILED_SILENT = 18;
inline constexpr DWORD COMM_STATUS_BUSY = 27;
inline constexpr DWORD COMM_RESULT_AFTER_WAIT = 29;

// Firmware block flags (m_byBlockFlags).
inline constexpr BYTE BLOCK_FLAG_FIRST = 0x01;
inline constexpr BYTE BLOCK_FLAG_LAST = 0x02;

inline constexpr int DEVICE_PORT = 49999;
inline constexpr DWORD RESPONSE_BUFFER_SIZE = 100;

enum COM_APP_TYPE : int { COM_APP_TYPE_NONE = 0, COM_APP_TYPE_ENCODER = 7 };

class SerialCommLink; // the transport behind one CSerialComm (SerialCommLink.h)
namespace commdll {
struct LinkOutcome;
}

// One link to the device, in the calling order the command layer uses:
// SetCommModeToEthernetCE, SetIPAndPort, then any number of ProccessMsgCode_NoThread +
// GetCommunicationStatusOfDll rounds, then CloseComPort and EthernetClose.
class CSerialComm {
public:
    static COM_APP_TYPE m_enumAppType;

    CSerialComm();
    virtual ~CSerialComm();
    CSerialComm(const CSerialComm&) = delete;
    CSerialComm& operator=(const CSerialComm&) = delete;

    void SetCommModeToEthernetCE();
    void SetIPAndPort(QString address, int port);

    // Starts one exchange. The reply's bytes go into `response` (never more than
    // min(responseSize, 100) bytes) and their count into `*responseLength`.
    // Returns 0 when the exchange is done or under way, 18 when it failed without a
    // message, any other value is an error code. A firmware block carries the block flags
    // held in m_byBlockFlags.
    DWORD ProccessMsgCode_NoThread(BYTE code, bool flag, BYTE* payload, DWORD payloadLength,
                                   BYTE* response, DWORD responseSize, DWORD* responseLength);
    // The same with the block flags of this request given; m_byBlockFlags is left alone.
    DWORD ProccessMsgCode_NoThread(BYTE code, bool flag, BYTE* payload, DWORD payloadLength,
                                   BYTE* response, DWORD responseSize, DWORD* responseLength,
                                   BYTE blockFlags);

    // 27 while the exchange runs; then 0 = done, 18 = failed silently, other = error code.
    // When the final status names a system failure, the calling thread's last system error
    // (platform/LastError.h) is set to it.
    DWORD GetCommunicationStatusOfDll();

    // Waits at most `timeoutMs` for the exchange under way to end; true once it has (or
    // when none runs). The status is still taken with GetCommunicationStatusOfDll.
    bool WaitForExchangeEnd(int timeoutMs);
    // `wake` runs on another thread when the exchange under way ends after the call that
    // started it has returned; an empty function removes it, and once that call returns
    // the previous one no longer runs.
    void SetExchangeEndNotifier(std::function<void()> wake);

    DWORD CloseComPort();
    DWORD EthernetClose();

    DWORD m_dwResult = 0;    // 0 after a successful exchange
    BYTE m_byBlockFlags = 0; // block flags of blocks started without flags of their own
    platform::ProgressIndicator* m_pProgress = nullptr; // not owned
    DWORD m_dwProgressCount = 0;                        // units transferred
    // Time allowed for an ordinary request (not boot or exec, which take their own); 0 keeps
    // the library's 3 s.
    int m_nRequestTimeoutMs = 0;

private:
    void Deliver(const commdll::LinkOutcome& outcome);

    std::unique_ptr<SerialCommLink> m_link;
    bool m_ethernetMode = false;
    QString m_address;
    int m_port = 0;
    // The exchange under way: where its reply goes once the caller sees it end.
    bool m_exchangeOpen = false;
    BYTE* m_response = nullptr;
    DWORD m_responseSize = 0;
    DWORD* m_responseLength = nullptr;
    DWORD m_requestLength = 0;
    DWORD m_lastStatus = COMM_STATUS_DONE;
};
