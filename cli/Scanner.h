#pragma once

#include "cli/DeviceJob.h"
#include "comm/DeviceData.h"

#include <QString>

#include <array>
#include <vector>

// What answers at an address that accepts a connection on the device port.
enum class ScanState {
    Encoder,        // the read-out succeeds
    NotValidDevice, // it answers, but its status record does not start with 'q'
    NoReply,        // it accepts, but the read-out fails
};

// One address at which something accepts a connection on the device port.
struct ScanResult {
    QString address;
    ScanState state = ScanState::NoReply;
    DeviceDataRecord record; // the read-out; complete for an encoder only

    bool IsEncoder() const { return state == ScanState::Encoder; }
};

// Finds what listens on the device port among addresses: a short connect sorts out addresses
// where nothing listens, then each that accepts gets the window's read-out, which tells
// encoders from other devices and from hosts that accept but never answer. Addresses are
// probed concurrently.
class CScanner {
public:
    // Every address that accepted a connection, in address order. `timeoutMs` bounds each
    // connect attempt. A requested stop probes no further address; `scanned` tells how many
    // were.
    static std::vector<ScanResult> Run(const std::vector<std::array<BYTE, 4>>& addresses, int jobs,
                                       int timeoutMs, const LinkOptions& link, qint64& scanned);
};
