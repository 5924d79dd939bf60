#pragma once

#include "comm/EthernetSettings.h"
#include "comm/Outcome.h"

// Judges the network settings a change would write: refuses what no IPv4 network can use
// before anything is sent. Loopback addresses stay usable.
class CAddressCheck {
public:
    // Which field the refusal is about (the detail "field").
    static constexpr char kFieldIp[] = "ip";
    static constexpr char kFieldMask[] = "mask";
    static constexpr char kFieldGateway[] = "gateway";

    // Succeeds, or fails with Cause::InvalidAddress, the window's text for the field
    // ("Invalid New IP Address", "Invalid Subnet Mask Address", "Invalid Gateway Address")
    // and the details "field" and "reason".
    static Outcome Check(const EthernetSettings& settings);
};
