#pragma once

#include "cli/DeviceOutcome.h"
#include "comm/CommInterface.h"
#include "comm/DeviceData.h"
#include "comm/DeviceSequences.h"

#include <QString>

#include <array>
#include <span>

class UpgradeProgress;

// One device worked on from the command line: its own device record and its own link, so
// that jobs on separate threads never share state. Every step runs the shared sequences on
// that record; each returns how it ended, as the command line reports it.
class CDeviceJob {
public:
    explicit CDeviceJob(const std::array<BYTE, 4>& address);
    CDeviceJob(const CDeviceJob&) = delete;
    CDeviceJob& operator=(const CDeviceJob&) = delete;

    const DeviceDataRecord& Record() const { return m_record; }
    // Where the device is reached now (a new address once a change has moved it).
    QString Address() const;

    // The Connect read-out.
    DeviceOutcome ReadOut();
    // One status request on a link that stays open between polls, as the window's poller.
    DeviceOutcome Poll();
    // A settings change after a read-out (the shared sequence: checks, write, restart,
    // reconnect where the device now is, read back and compare).
    DeviceOutcome ChangeSettings(const SettingsChange& change);
    // The firmware procedure on the device, then a reconnect and read-out.
    DeviceOutcome Upgrade(std::span<const BYTE> image, UpgradeProgress& progress);
    // Bytes of firmware the link has sent so far.
    DWORD BytesSent() const { return m_comm.m_SerialComm.m_dwProgressCount; }

private:
    DeviceOutcome Reconnect();

    DeviceDataRecord m_record;
    CCommInterface m_comm{m_record};
};
