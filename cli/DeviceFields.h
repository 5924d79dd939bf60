#pragma once

#include "comm/DeviceData.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>
#include <vector>

// One named value of a device: its stable JSON key, its label in text output, its JSON value
// and its text.
struct DeviceField {
    QString key;
    QString label;
    QJsonValue json;
    QString text;
};

// What the command line shows of a device record, and the names it accepts for protocols
// and resolver modes.
class CDeviceFields {
public:
    // Every field of a read-out, in the window's order.
    static std::vector<DeviceField> ReadOut(const QString& address, const DeviceDataRecord& data);
    // The fields a scan lists: address, MAC, protocol, revisions.
    static std::vector<DeviceField> Scan(const QString& address, const DeviceDataRecord& data);
    static QJsonObject ToJson(const std::vector<DeviceField>& fields);
    // Whether a set or upgrade wrote to the device ("no": it held the value already).
    static DeviceField Changed(bool changed);

    // Protocol keywords: ethernet-ip, modbus-tcp, delvor (codes 1 to 3).
    static std::optional<int> ProtocolFromName(const QString& name);
    static QString ProtocolKeyword(int code);
    // Resolver mode keywords: dm7, no-dm7.
    static std::optional<bool> ModeFromName(const QString& name);
    static QString ModeKeyword(bool modeDM7);
    static QString DottedAddress(const std::array<BYTE, 4>& address);
};
