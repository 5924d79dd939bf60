#include "cli/DeviceFields.h"

#include "platform/Ipv4Address.h"

#include "comm/ProtocolNames.h"
#include "res/CliTexts.h"
#include "res/Texts.h"

#include <array>

using namespace res;

namespace {
constexpr std::array<QLatin1String, 4> kProtocolKeywords{
    QLatin1String(""), QLatin1String("ethernet-ip"), QLatin1String("modbus-tcp"),
    QLatin1String("delvor")};
constexpr QLatin1String kModeDM7Keyword{"dm7"};
constexpr QLatin1String kModeNoDM7Keyword{"no-dm7"};

DeviceField Text(const char* key, QLatin1String label, const QString& value) {
    return {QLatin1String(key), QString(label), value, value};
}

DeviceField Number(const char* key, QLatin1String label, qint64 value) {
    return {QLatin1String(key), QString(label), value, QString::number(value)};
}

// A fixed number as the window writes it: the same text, a number in JSON.
DeviceField Number(const char* key, QLatin1String label, QLatin1String text) {
    return {QLatin1String(key), QString(label), QString(text).toLongLong(), QString(text)};
}

QString Revision(const DeviceDataRecord& data, int firstByte) {
    return QString::asprintf(text::RevisionFormat.data(), data.m_Status[firstByte],
                             data.m_Status[firstByte + 1]);
}

QString Mac(const std::array<BYTE, 6>& mac) {
    return QString::asprintf(text::MacFormat.data(), mac[0], mac[1], mac[2], mac[3], mac[4],
                             mac[5]);
}

DeviceField Protocol(const EthernetSettings& current) {
    return {QStringLiteral("protocol"), QString(cli::LabelProtocol),
            CDeviceFields::ProtocolKeyword(current.m_nProtocol),
            ProtocolDisplayName(current.m_nProtocol)};
}

DeviceField Mode(const EthernetSettings& current) {
    return {QStringLiteral("resolver_mode"), QString(cli::LabelMode),
            CDeviceFields::ModeKeyword(current.m_bModeDM7),
            QString(current.m_bModeDM7 ? text::ModeNameDM7 : text::ModeNameNoDM7)};
}

std::vector<DeviceField> Revisions(const DeviceDataRecord& data) {
    return {Number("hardware_revision", cli::LabelHardwareRev, data.m_Status[STATUS_HARDWARE_REV]),
            Text("boot_revision", cli::LabelBootRev, Revision(data, STATUS_BOOT_REV)),
            Text("exec_revision", cli::LabelExecRev, Revision(data, STATUS_EXEC_REV))};
}
} // namespace

std::vector<DeviceField> CDeviceFields::ReadOut(const QString& address,
                                                const DeviceDataRecord& data) {
    const EthernetSettings& current = data.m_Current;
    const QByteArray status(reinterpret_cast<const char*>(data.m_Status.data()),
                            static_cast<qsizetype>(data.m_Status.size()));
    std::vector<DeviceField> fields{
        Text("address", cli::LabelAddress, address),
        Text("status", cli::LabelStatus, QString::fromLatin1(status.toHex())),
        Text("mac", cli::LabelMac, Mac(current.m_Mac)),
        Text("ip", cli::LabelIp, DottedAddress(current.m_Ip)),
        Text("subnet_mask", cli::LabelMask, DottedAddress(current.m_SubnetMask)),
        Text("gateway", cli::LabelGateway, DottedAddress(current.m_Gateway)),
        Protocol(current),
        Mode(current)};
    for (DeviceField& field : Revisions(data))
        fields.push_back(std::move(field));
    // The PLC's connection parameters, as the window's panels show them.
    const std::vector<DeviceField> plc{
        Number("input_instance", cli::LabelInputInstance, BigEndianWord(current.m_wInputInstance)),
        Number("input_size", cli::LabelInputSize, BigEndianWord(current.m_wInputSize) >> 1),
        Number("output_instance", cli::LabelOutputInstance,
               BigEndianWord(current.m_wOutputInstance)),
        Number("output_size", cli::LabelOutputSize, BigEndianWord(current.m_wOutputSize) >> 1),
        Number("config_instance", cli::LabelConfigInstance, text::ConfigInstance),
        Number("config_size", cli::LabelConfigSize, text::ConfigSize),
        Number("modbus_position_address", cli::LabelPositionRegister, cli::ModbusPositionRegister),
        Number("modbus_heartbeat_address", cli::LabelHeartbeatRegister,
               cli::ModbusHeartbeatRegister),
        Number("position", cli::LabelPosition, data.ResolverPosition())};
    fields.insert(fields.end(), plc.begin(), plc.end());
    return fields;
}

std::vector<DeviceField> CDeviceFields::Scan(const QString& address, const DeviceDataRecord& data) {
    std::vector<DeviceField> fields{Text("address", cli::LabelAddress, address),
                                    Text("mac", cli::LabelMac, Mac(data.m_Current.m_Mac)),
                                    Protocol(data.m_Current)};
    for (DeviceField& field : Revisions(data))
        fields.push_back(std::move(field));
    return fields;
}

DeviceField CDeviceFields::Changed(bool changed) {
    return {QStringLiteral("changed"), QString(cli::LabelChanged), changed,
            QString(changed ? cli::ChangedYes : cli::ChangedNo)};
}

QJsonObject CDeviceFields::ToJson(const std::vector<DeviceField>& fields) {
    QJsonObject object;
    for (const DeviceField& field : fields)
        object.insert(field.key, field.json);
    return object;
}

std::optional<int> CDeviceFields::ProtocolFromName(const QString& name) {
    for (int code = PROTOCOL_ETHERNET_IP; code <= PROTOCOL_DELVOR; ++code) {
        if (name == kProtocolKeywords[static_cast<std::size_t>(code)])
            return code;
    }
    return std::nullopt;
}

QString CDeviceFields::ProtocolKeyword(int code) {
    if (code >= PROTOCOL_ETHERNET_IP && code <= PROTOCOL_DELVOR)
        return QString(kProtocolKeywords[static_cast<std::size_t>(code)]);
    return QStringLiteral("unknown-%1").arg(code);
}

std::optional<bool> CDeviceFields::ModeFromName(const QString& name) {
    if (name == kModeDM7Keyword)
        return true;
    if (name == kModeNoDM7Keyword)
        return false;
    return std::nullopt;
}

QString CDeviceFields::ModeKeyword(bool modeDM7) {
    return QString(modeDM7 ? kModeDM7Keyword : kModeNoDM7Keyword);
}

QString CDeviceFields::DottedAddress(const std::array<BYTE, 4>& address) {
    return Ipv4Address(address).ToString();
}
