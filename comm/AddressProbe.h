#pragma once

#include "platform/Ipv4Address.h"

// A short connect to the device port: tells whether something listens at an address.
class CAddressProbe {
public:
    // How long a probe waits for the connection by default, in ms.
    static constexpr int kDefaultTimeoutMs = 300;

    // Whether something accepts a connection on the device port at `address` within
    // `timeoutMs`. An address that the loopback-only switch forbids is never contacted and
    // counts as not answering.
    static bool Accepts(const Ipv4Address& address, int timeoutMs = kDefaultTimeoutMs);
};
