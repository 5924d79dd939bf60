#pragma once

#include "commdll/Frame.h"
#include "sim/EncoderSimulator.h"

#include <QByteArray>
#include <QString>

#include <chrono>

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

namespace sim {

// What the connection does with one request: write `bytes` (possibly none) after `delayMs`,
// then drop the connection and/or restart the device.
struct ReplyPlan {
    QByteArray bytes;
    int delayMs = 0;
    bool dropAfter = false;
    bool restartAfter = false;
};

// The encoder's behaviour without any sockets: state, the answer to each request, faults
// and the log of what arrived. Thread-safe: the simulator's thread asks it for answers while
// a test reads and changes it.
class CDeviceModel {
public:
    explicit CDeviceModel(const SimulatorConfig& config);

    ReplyPlan Handle(const commdll::Frame& request);
    // The restart: applies the pending settings and tells where the device listens next.
    QString ApplyRestart(const QString& currentAddress);

    DeviceIdentity Identity() const;
    void SetIdentity(const DeviceIdentity& identity);
    NetworkSettings Settings() const;
    void SetSettings(const NetworkSettings& settings);
    ConnectionParams Connection() const;
    void SetConnection(const ConnectionParams& params);
    qint32 Position() const;
    void SetPosition(qint32 position);
    void PinPosition(bool pinned);
    bool InBootMode() const;

    int RestartAwayMs() const;
    void SetRestartAwayMs(int ms);
    void SetBootDelayMs(int ms);
    void SetExecDelayMs(int ms);
    void SetBlockTimeMs(int ms);
    void SetKeepOldProtocol(bool keep);
    void SetKeepOldMode(bool keep);

    void SetFault(BYTE code, Fault fault);
    void ClearFault(BYTE code);
    void ClearFaults();
    void SetReplyOverride(BYTE code, const QByteArray& payload, bool persistent);
    void ClearReplyOverride(BYTE code);
    void RejectBlock(int blockNumber, BYTE status);
    void DropAtBlock(int blockNumber);
    void DropReplyAtBlock(int blockNumber);
    void ClearBlockFaults();

    std::vector<ReceivedRequest> Requests() const;
    int RequestCount(BYTE code) const;
    int AppliedCount(BYTE code) const;
    std::vector<QByteArray> SetPayloads() const;
    std::vector<FirmwareBlock> FirmwareBlocks() const;
    void ClearLog();

private:
    // The device's own answer before any fault is applied.
    using Clock = std::chrono::steady_clock;
    struct Answer {
        BYTE status = 0;
        QByteArray payload;
        int delayMs = 0;
        bool drop = false;
        bool restart = false;
        bool dropReply = false; // acted on and remembered, but the connection drops unanswered
    };
    struct LastReply {
        std::uint32_t sequence = 0;
        BYTE code = 0;
        QByteArray payload;
        QByteArray bytes;
        bool restart = false;
        Clock::time_point readyAt; // when the work on the request ends
    };
    struct Override {
        QByteArray payload;
        bool persistent = true;
    };

    void Log(const commdll::Frame& request);
    void FinishExec();
    bool IsResend(const commdll::Frame& request) const;
    Fault TakeFault(BYTE code);
    std::optional<QByteArray> TakeOverride(BYTE code);
    Answer Apply(const commdll::Frame& request, bool validDevice);
    Answer StatusRecord(bool validDevice);
    Answer MacReply() const;
    Answer ParamsReply(const QByteArray& payload) const;
    Answer StoreSettings(const QByteArray& payload);
    Answer EnterBoot();
    Answer TakeBlock(const commdll::Frame& request);
    Answer CheckAndExec(const QByteArray& payload);
    static QByteArray ReplyFrame(const commdll::Frame& request, BYTE status,
                                 const QByteArray& payload);
    ReplyPlan Disturb(const commdll::Frame& request, const Fault& fault, ReplyPlan plan) const;

    mutable std::mutex m_mutex;
    DeviceIdentity m_identity;
    NetworkSettings m_settings;
    ConnectionParams m_connection;
    qint32 m_position = 0;
    bool m_positionPinned = false;
    std::optional<QByteArray> m_pendingSettings;
    bool m_bootMode = false;
    std::vector<FirmwareBlock> m_blocks;
    qsizetype m_imageSize = 0;
    bool m_imageComplete = false;
    std::optional<Clock::time_point> m_execDoneAt; // an accepted exec still programming

    int m_restartAwayMs;
    int m_bootDelayMs;
    int m_execDelayMs;
    int m_blockTimeMs;
    bool m_keepOldProtocol = false;
    bool m_keepOldMode = false;

    std::map<BYTE, Fault> m_faults;
    std::map<BYTE, Override> m_overrides;
    std::map<int, BYTE> m_rejectedBlocks;
    std::set<int> m_droppedBlocks;
    std::set<int> m_droppedReplyBlocks;

    std::optional<LastReply> m_lastReply;
    std::vector<ReceivedRequest> m_requests;
    std::map<BYTE, int> m_requestCounts;
    std::map<BYTE, int> m_appliedCounts;
    std::vector<QByteArray> m_setPayloads;
};

} // namespace sim
