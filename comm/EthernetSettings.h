#pragma once

#include "platform/WinTypes.h"

#include <array>

// One set of network and protocol settings of the device. Addresses are kept in network
// byte order (first octet first); the 16-bit connection values are raw copies of the reply
// bytes, most significant byte first.
struct EthernetSettings {
    std::array<BYTE, 6> m_Mac{};
    std::array<BYTE, 4> m_Ip{};
    std::array<BYTE, 4> m_SubnetMask{};
    std::array<BYTE, 4> m_Gateway{};
    std::array<BYTE, 2> m_wOutputSize{};
    std::array<BYTE, 2> m_wInputSize{};
    std::array<BYTE, 2> m_wOutputInstance{};
    std::array<BYTE, 2> m_wInputInstance{};
    std::array<BYTE, 4> m_Options{}; // as received; the fourth is the protocol/mode byte
    int m_nProtocol = 0;             // 0 none, 1 Ethernet/IP, 2 Modbus TCP/IP, 3 DELVOR
    bool m_bModeDM7 = false;

    // The protocol/mode byte packs the protocol code (low nibble) and the resolver mode
    // (high nibble 2 = DM7; any other high nibble reads as NO DM7).
    static int ProtocolOf(BYTE protocolModeByte) { return protocolModeByte & 0x0F; }
    static bool IsModeDM7(BYTE protocolModeByte) { return (protocolModeByte >> 4) == 0x2; }
    static BYTE PackProtocolMode(int protocol, bool modeDM7) {
        return static_cast<BYTE>((modeDM7 ? 0x20 : 0x00) | (protocol & 0xFF));
    }
};

// A 16-bit value stored most significant byte first, read as an unsigned number.
inline unsigned BigEndianWord(const std::array<BYTE, 2>& value) {
    return (static_cast<unsigned>(value[0]) << 8) | value[1];
}
