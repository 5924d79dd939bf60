#pragma once

#include "comm/DeviceData.h"
#include "comm/Outcome.h"
#include "commdll/SerialComm.h"
#include "platform/ProgressIndicator.h"
#include "platform/StatusText.h"
#include "platform/WinTypes.h"

#include <QLatin1String>
#include <QString>

#include <atomic>
#include <utility>

// One device link with one method per device command. Each command fills the link's device
// record from the reply and returns true, or tells what went wrong (once) and returns false:
// into the outcome the caller has set as m_pReport, or, without one, in a message box. The window's
// links use the program-wide DeviceData; a caller that runs several devices at once gives each link
// a record of its own.
class CCommInterface {
public:
    CCommInterface();
    explicit CCommInterface(DeviceDataRecord& record);
    virtual ~CCommInterface();
    CCommInterface(const CCommInterface&) = delete;
    CCommInterface& operator=(const CCommInterface&) = delete;

    bool OpenConnection();
    // A firmware block goes with the block flags given, or without them with those the link
    // holds in m_byBlockFlags.
    bool SendRequest(BYTE code, bool flag, const BYTE* payload, DWORD length);
    bool SendRequest(BYTE code, bool flag, const BYTE* payload, DWORD length, BYTE blockFlags);
    bool WaitForCompletion();
    bool ExecuteCommand(BYTE code, bool flag, const QString& text, const BYTE* payload,
                        DWORD length);
    bool ExecuteCommand(BYTE code, bool flag, const QString& text, const BYTE* payload,
                        DWORD length, BYTE blockFlags);

    bool GetStatusId();
    bool GetMacId();
    bool GetEthernetParams();
    bool GetEadkParams();
    // The set request, then the restart request; true when the set was taken, whatever the
    // restart did.
    bool SetNewIpAndRestart();
    // Its two halves: the pending settings with the option bytes as they stand, and the
    // restart that makes the device apply them.
    bool SetNewIp();
    bool RestartDevice();

    // Drops the link from outside; the next request opens it again with the address that
    // DeviceData holds then.
    void DropLink();

    // The record this link reads into and writes from; it outlives the link.
    DeviceDataRecord& Data() const { return m_Data; }

    // How many 400 ms busy sleeps all links have taken so far (for benchmarks).
    static long BusySleepCount() { return s_busySleeps.load(); }

    CSerialComm m_SerialComm;
    platform::ProgressIndicator* m_pProgressCtrl = nullptr; // not owned
    bool m_bConnected = false;
    DWORD m_dwTotal = 0;
    platform::StatusText* m_pStatusWnd = nullptr; // not owned
    // Where failures are told while set (not owned): the box's text, and the library status
    // as the detail "device_status".
    Outcome* m_pReport = nullptr;

    // Told of each request once it has ended, for callers that trace requests (not owned).
    class RequestObserver {
    public:
        virtual ~RequestObserver() = default;
        virtual void RequestEnded(const CCommInterface& link, const QString& text, bool succeeded,
                                  qint64 elapsedMs) = 0;
    };
    RequestObserver* m_pRequestObserver = nullptr;

    // Sets m_pReport for its lifetime, and puts back what was there before.
    class ReportScope {
    public:
        ReportScope(CCommInterface& comm, Outcome& outcome)
            : m_comm(comm), m_previous(std::exchange(comm.m_pReport, &outcome)) {}
        ~ReportScope() { m_comm.m_pReport = m_previous; }
        ReportScope(const ReportScope&) = delete;
        ReportScope& operator=(const ReportScope&) = delete;

    private:
        CCommInterface& m_comm;
        Outcome* m_previous;
    };

private:
    DeviceDataRecord& m_Data;

    struct ReadRequest {
        BYTE code;
        bool flag;
        QLatin1String text;
        const BYTE* payload; // a one-byte selector, or none
        DWORD minimum;       // reply bytes the command needs
        QLatin1String failure;
    };
    bool ReadReply(const ReadRequest& request);
    void SleepWhileBusy();
    void Tell(const platform::MessageBoxRequest& message);
    void TellCommError(DWORD status);
    void ShowProgressPercentage();

    static std::atomic<long> s_busySleeps;
};
