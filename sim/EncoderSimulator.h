#pragma once

#include "platform/WinTypes.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

namespace sim {

class SimulatorCore; // lives in the simulator's own thread (SimulatorCore.h)

// What the simulator does to the reply of one message code instead of answering normally.
enum class FaultKind {
    None,
    NoReply,          // reads the request, never answers
    SlowReply,        // answers after `value` ms
    BadChecksum,      // answers with a corrupted checksum
    WrongCode,        // answers with another message code
    WrongSequence,    // answers with a sequence number the client never sent
    ShortReply,       // sends part of the reply frame, then drops the connection
    DeviceError,      // answers with device status `value` and no payload
    NotValidDevice,   // status record that does not start with 'q'
    DropConnection,   // drops the connection without answering
    FailFirstAttempt, // acts on the request, drops the connection before answering; the
                      // client's resend (same sequence number) gets the reply
};

struct Fault {
    FaultKind kind = FaultKind::None;
    int value = 0;           // SlowReply: delay in ms; DeviceError: the status byte
    bool persistent = false; // false: applies to the next request of the code only

    static Fault NoReply(bool persistent = true) { return {FaultKind::NoReply, 0, persistent}; }
    static Fault SlowReply(int ms, bool persistent = true) {
        return {FaultKind::SlowReply, ms, persistent};
    }
    static Fault BadChecksum(bool persistent = true) {
        return {FaultKind::BadChecksum, 0, persistent};
    }
    static Fault WrongCode(bool persistent = true) { return {FaultKind::WrongCode, 0, persistent}; }
    static Fault WrongSequence(bool persistent = true) {
        return {FaultKind::WrongSequence, 0, persistent};
    }
    static Fault ShortReply(bool persistent = true) {
        return {FaultKind::ShortReply, 0, persistent};
    }
    static Fault DeviceError(BYTE status, bool persistent = true) {
        return {FaultKind::DeviceError, status, persistent};
    }
    static Fault NotValidDevice(bool persistent = true) {
        return {FaultKind::NotValidDevice, 0, persistent};
    }
    static Fault DropConnection(bool persistent = true) {
        return {FaultKind::DropConnection, 0, persistent};
    }
    static Fault FailFirstAttempt() { return {FaultKind::FailFirstAttempt, 0, false}; }
};

// Identity and revisions as the status record and the MAC reply report them.
struct DeviceIdentity {
    BYTE hardwareRevision = 2;
    char bootLetter = 'B';
    BYTE bootNumber = 7;
    char execLetter = 'C';
    BYTE execNumber = 3;
    std::array<BYTE, 6> mac{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
};

// Network settings, each address first octet first. options[3] is the protocol/mode byte
// (low nibble protocol 1..3, high nibble 2 = DM7).
struct NetworkSettings {
    std::array<BYTE, 4> ip{127, 0, 0, 2};
    std::array<BYTE, 4> mask{255, 0, 0, 0}; // loopback is one /8
    std::array<BYTE, 4> gateway{127, 0, 0, 1};
    std::array<BYTE, 4> options{0x00, 0x00, 0x00, 0x21};

    bool operator==(const NetworkSettings&) const = default;
};

// Connection parameters reported by selector 5 of message 43.
struct ConnectionParams {
    WORD outputSize = 0x0004;
    WORD inputSize = 0x0008;
    WORD outputInstance = 0x0064;
    WORD inputInstance = 0x0065;
};

struct SimulatorConfig {
    QString address = QStringLiteral("127.0.0.2"); // must lie in 127.0.0.0/8
    quint16 port = 49999;
    int restartAwayMs = 1000; // time the device is away (refusing connections) on restart
    int bootDelayMs = 0;      // boot request: flash erase before the reply
    int execDelayMs = 0;      // exec request: time before the reply (and the new revision)
    int blockTimeMs = 0;      // firmware block: flash write time before the reply
    BYTE protocolByte = 0x21; // initial protocol/mode byte
};

// One request frame as the simulator received it (resends included).
struct ReceivedRequest {
    std::uint32_t sequence = 0;
    BYTE code = 0;
    bool flag = false;
    BYTE blockFlags = 0; // BLOCK_FLAG_FIRST / BLOCK_FLAG_LAST bits
    QByteArray payload;
    // When the whole frame had arrived: the pace of a client's requests is seen from here.
    std::chrono::steady_clock::time_point received;
};

struct FirmwareBlock {
    BYTE flags = 0;
    QByteArray data;
};

// The encoder, played on one loopback address. It runs in a thread of its own, so a test may
// block its own thread in request waits. Every member function is thread-safe.
class CEncoderSimulator {
public:
    explicit CEncoderSimulator(SimulatorConfig config = {});
    ~CEncoderSimulator();
    CEncoderSimulator(const CEncoderSimulator&) = delete;
    CEncoderSimulator& operator=(const CEncoderSimulator&) = delete;

    // Starts listening at the configured address. False (with ErrorString) when the address
    // is outside 127.0.0.0/8 or cannot be bound.
    bool Start();
    void Stop();
    QString ErrorString() const;

    // Where the device listens now (changes after a restart with a new loopback address).
    QString Address() const;
    quint16 Port() const;
    bool IsListening() const;
    // Waits until the device listens again after a restart (or at all).
    bool WaitUntilListening(int timeoutMs) const;
    // Waits until at least `count` restarts have completed (device back and listening).
    bool WaitForRestarts(int count, int timeoutMs) const;
    int RestartCount() const;

    // Device state.
    DeviceIdentity Identity() const;
    void SetIdentity(const DeviceIdentity& identity);
    NetworkSettings Settings() const;
    void SetSettings(const NetworkSettings& settings);
    ConnectionParams Connection() const;
    void SetConnection(const ConnectionParams& params);
    // The resolver position moves by +1 per status request unless pinned.
    qint32 Position() const;
    void SetPosition(qint32 position);
    void PinPosition(bool pinned);
    bool InBootMode() const;

    // Behaviour.
    void SetRestartAwayMs(int ms);
    void SetBootDelayMs(int ms);
    void SetExecDelayMs(int ms);
    void SetBlockTimeMs(int ms);
    void SetKeepOldProtocol(bool keep); // the set is acknowledged, the protocol stays
    void SetKeepOldMode(bool keep);     // the set is acknowledged, the DM7 mode stays

    // Faults.
    void SetFault(BYTE code, Fault fault);
    void ClearFault(BYTE code);
    void ClearFaults(); // also reply overrides, block faults and refused connections
    void SetReplyOverride(BYTE code, const QByteArray& payload, bool persistent = true);
    void ClearReplyOverride(BYTE code);
    void SetRefuseConnections(bool refuse); // stops listening while true
    // Block numbers count from 1 at the block flagged first.
    void RejectBlock(int blockNumber, BYTE status = 11);
    void DropAtBlock(int blockNumber);
    // Stores block N, then drops the connection before its reply: the resend gets the reply.
    void DropReplyAtBlock(int blockNumber);
    void ClearBlockFaults();

    // What arrived.
    std::vector<ReceivedRequest> Requests() const;
    int RequestCount(BYTE code) const; // frames received, resends included
    int AppliedCount(BYTE code) const; // requests acted on; a resend is answered, not applied
    std::vector<QByteArray> SetPayloads() const;
    std::vector<FirmwareBlock> FirmwareBlocks() const; // the current collection
    int ConnectionCount() const;                       // connections accepted so far
    void ClearLog();

private:
    std::unique_ptr<SimulatorCore> m_core;
};

} // namespace sim
