#pragma once

#include "platform/WinTypes.h"

#include <QString>

#include <array>
#include <optional>
#include <vector>

// IPv4 addresses and ranges as the command line takes them.
class CAddressRange {
public:
    // At most a /16: a scan never runs away over a mistyped range.
    static constexpr quint32 kMaxAddresses = 65536;

    // A dotted address a.b.c.d, each part 0 to 255 in decimal; 0.0.0.0 is no device address.
    static std::optional<std::array<BYTE, 4>> ParseAddress(const QString& text);
    // A CIDR block "a.b.c.d/n" (n from 16 to 32; every address of the block, the network and
    // broadcast addresses included) or "first-last"; in address order.
    static std::optional<std::vector<std::array<BYTE, 4>>> Parse(const QString& text);
};
