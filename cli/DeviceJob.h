#pragma once

#include "cli/DeviceOutcome.h"
#include "comm/CommInterface.h"
#include "comm/DeviceData.h"
#include "comm/DeviceSequences.h"

#include <QString>

#include <array>
#include <span>

class UpgradeProgress;

// How a job's link behaves: the time allowed for an ordinary request (0: the library's), how
// often a read is tried again after a fault of the link, and who is told of each request.
struct LinkOptions {
    int timeoutMs = 0;
    int retries = 0;
    CCommInterface::RequestObserver* observer = nullptr; // not owned
};

// One device worked on from the command line: its own device record and its own link, so
// that jobs on separate threads never share state. Every step runs the shared sequences on
// that record; each returns how it ended, as the command line reports it.
class CDeviceJob {
public:
    explicit CDeviceJob(const std::array<BYTE, 4>& address, const LinkOptions& options = {});
    CDeviceJob(const CDeviceJob&) = delete;
    CDeviceJob& operator=(const CDeviceJob&) = delete;

    const DeviceDataRecord& Record() const { return m_record; }
    // Where the device is reached now (a new address once a change has moved it).
    QString Address() const;

    // The Connect read-out; tried again after a fault of the link (a time-out, a refused
    // connection, a damaged reply) as often as the options allow, never after the device's
    // own refusal. Writes are never repeated: a repeat could act twice.
    DeviceOutcome ReadOut();
    // One status request on a link that stays open between polls, as the window's poller;
    // tried again as the read-out.
    DeviceOutcome Poll();
    // A settings change after a read-out (the shared sequence: checks, write, restart,
    // reconnect where the device now is, read back and compare).
    DeviceOutcome ChangeSettings(const SettingsChange& change);
    // The firmware procedure on the device, then a reconnect and read-out.
    DeviceOutcome Upgrade(std::span<const BYTE> image, UpgradeProgress& progress);
    // True once a write reached the device: settings sent, or an upgrade past its boot.
    bool Wrote() const { return m_wrote; }
    // Bytes of firmware the link has sent so far.
    DWORD BytesSent() const { return m_comm.m_SerialComm.m_dwProgressCount; }

private:
    DeviceOutcome Reconnect();
    DeviceOutcome ReadOutOnce();
    DeviceOutcome PollOnce();
    template <typename Attempt> DeviceOutcome WithRetries(const Attempt& attempt);

    int m_retries = 0;
    DeviceDataRecord m_record;
    CCommInterface m_comm{m_record};
    bool m_wrote = false;
};
