#pragma once

#include <QLatin1String>
#include <QString>

#include <array>

// Protocol names by protocol code.
inline constexpr std::array<QLatin1String, 4> g_ProtocolNames{
    QLatin1String(""), QLatin1String("Ethernet/IP"), QLatin1String("Modbus TCP/IP"),
    QLatin1String("DELVOR")};

inline constexpr int PROTOCOL_ETHERNET_IP = 1;
inline constexpr int PROTOCOL_MODBUS_TCP = 2;
inline constexpr int PROTOCOL_DELVOR = 3;

// The name shown for a protocol code; codes without a name say which code they are.
QString ProtocolDisplayName(int code);
