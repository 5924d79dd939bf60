#pragma once

#include "comm/DeviceData.h"

#include <QString>

#include <array>
#include <vector>

// One encoder a scan found.
struct ScanResult {
    QString address;
    DeviceDataRecord record;
};

// Finds encoders among addresses: a short connect to the device port sorts out addresses
// where nothing listens, then each that accepts gets the window's read-out; those that
// answer as a valid device are listed. Addresses are probed concurrently.
class CScanner {
public:
    // The encoders found, in address order. `timeoutMs` bounds each connect attempt.
    static std::vector<ScanResult> Run(const std::vector<std::array<BYTE, 4>>& addresses, int jobs,
                                       int timeoutMs);
};
