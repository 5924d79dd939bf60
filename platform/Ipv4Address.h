#pragma once

#include "platform/WinTypes.h"

#include <QString>

#include <array>
#include <optional>

// One IPv4 address as the device stores it: four octets, first octet first. Every place
// that parses, prints or judges an address goes through this type.
class Ipv4Address {
public:
    using Octets = std::array<BYTE, 4>;

    constexpr Ipv4Address() = default;
    constexpr Ipv4Address(const Octets& octets) : m_octets(octets) {} // NOLINT: an address
    static constexpr Ipv4Address FromNumber(quint32 number) {
        return Octets{static_cast<BYTE>(number >> 24), static_cast<BYTE>(number >> 16),
                      static_cast<BYTE>(number >> 8), static_cast<BYTE>(number)};
    }
    // "a.b.c.d", each part 1 to 3 decimal digits with a value up to 255.
    static std::optional<Ipv4Address> Parse(const QString& text);

    constexpr const Octets& octets() const { return m_octets; }
    constexpr quint32 ToNumber() const {
        return (quint32{m_octets[0]} << 24) | (quint32{m_octets[1]} << 16) |
               (quint32{m_octets[2]} << 8) | m_octets[3];
    }
    // "a.b.c.d" in decimal.
    QString ToString() const;

    constexpr bool IsZero() const { return ToNumber() == 0; }
    // 224.0.0.0 and above: multicast, reserved and the limited broadcast.
    constexpr bool IsMulticastOrReserved() const { return m_octets[0] >= 224; }
    // Ones from the top, then zeros only (0.0.0.0 and 255.255.255.255 included).
    constexpr bool IsContiguousMask() const {
        const quint32 inverted = ~ToNumber();
        return (inverted & (inverted + 1)) == 0;
    }
    constexpr Ipv4Address NetworkAddress(Ipv4Address mask) const {
        return FromNumber(ToNumber() & mask.ToNumber());
    }
    constexpr Ipv4Address BroadcastAddress(Ipv4Address mask) const {
        return FromNumber(ToNumber() | ~mask.ToNumber());
    }
    constexpr bool SameSubnet(Ipv4Address other, Ipv4Address mask) const {
        return NetworkAddress(mask) == other.NetworkAddress(mask);
    }

    constexpr bool operator==(const Ipv4Address&) const = default;

private:
    Octets m_octets{};
};
