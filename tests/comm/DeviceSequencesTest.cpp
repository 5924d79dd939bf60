// The shared checks of a settings change: what is refused before anything is sent, and what
// the outcome says after the write, against simulated encoders on loopback.
#include "comm/DeviceSequences.h"

#include "LoopbackAddress.h"
#include "SimulatorSupport.h"
#include "comm/AddressCheck.h"
#include "comm/CommInterface.h"
#include "comm/MessageCodes.h"
#include "platform/Ipv4Address.h"

using namespace Qt::StringLiterals;
using namespace testsupport;

namespace {

EthernetSettings Network(const char* ip, const char* mask, const char* gateway) {
    EthernetSettings settings;
    settings.m_Ip = Octets(QLatin1String(ip));
    settings.m_SubnetMask = Octets(QLatin1String(mask));
    settings.m_Gateway = Octets(QLatin1String(gateway));
    return settings;
}

// ip, mask, gateway → the field refused ("" when accepted) and the reason the command line
// prints.
TEST(AddressCheck, RefusesWhatNoIpv4NetworkCanUseAndKeepsLoopback) {
    const std::tuple<const char*, const char*, const char*, const char*, const char*> rows[] = {
        {"127.0.0.5", "255.0.0.0", "127.0.0.1", "", ""},
        {"127.0.0.4", "255.255.255.254", "127.0.0.5", "", ""},
        {"127.0.0.5", "255.255.255.255", "127.0.0.5", "", ""},
        {"169.254.7.9", "255.255.0.0", "169.254.0.1", "", ""},
        {"127.0.0.5", "255.0.255.0", "127.0.0.1", "mask",
         "a subnet mask is ones from the left, then zeros (255.255.255.0)"},
        {"127.0.0.5", "0.255.255.255", "127.0.0.1", "mask", "ones from the left"},
        {"255.255.255.255", "255.0.0.0", "127.0.0.1", "ip",
         "224.0.0.0 and above are multicast, reserved or broadcast addresses"},
        {"224.0.0.1", "255.0.0.0", "224.0.0.2", "ip", "224.0.0.0 and above"},
        {"0.1.2.3", "255.0.0.0", "0.1.2.4", "ip", "addresses 0.x.x.x name no device"},
        {"127.0.9.0", "255.255.255.0", "127.0.9.1", "ip",
         "127.0.9.0 is the network address of 127.0.9.0/24"},
        {"127.0.9.255", "255.255.255.0", "127.0.9.1", "ip",
         "127.0.9.255 is the broadcast address of 127.0.9.0/24"},
        {"127.0.9.4", "255.255.255.252", "127.0.9.5", "ip",
         "127.0.9.4 is the network address of 127.0.9.4/30"},
        {"127.0.9.5", "255.255.255.0", "127.0.8.1", "gateway",
         "127.0.8.1 is outside the device's subnet 127.0.9.0/24"},
        {"127.0.9.5", "255.255.255.0", "127.0.9.255", "gateway",
         "127.0.9.255 is the broadcast address of 127.0.9.0/24"},
        {"127.0.9.5", "255.255.255.0", "240.0.0.1", "gateway", "224.0.0.0 and above"},
    };
    const std::map<QString, QString> windowTexts{{u"ip"_s, u"Invalid New IP Address"_s},
                                                 {u"mask"_s, u"Invalid Subnet Mask Address"_s},
                                                 {u"gateway"_s, u"Invalid Gateway Address"_s}};
    for (const auto& [ip, mask, gateway, field, reason] : rows) {
        SCOPED_TRACE(std::string(ip) + " " + mask + " " + gateway);
        const Outcome outcome = CAddressCheck::Check(Network(ip, mask, gateway));
        EXPECT_EQ(outcome.details.value(u"field"_s).toString(), QLatin1String(field));
        EXPECT_TRUE(outcome.details.value(u"reason"_s).toString().contains(QLatin1String(reason)));
        EXPECT_EQ(outcome.cause, *field ? Cause::InvalidAddress : Cause::None);
        EXPECT_EQ(outcome.Texts(),
                  *field ? QStringList{windowTexts.at(QLatin1String(field))} : QStringList{});
    }
}

// A front end without windows: the write on a fresh link, the read-out where it is told.
class LinkFrontEnd : public ChangeFrontEnd {
public:
    explicit LinkFrontEnd(DeviceDataRecord& record) : m_record(record) {}
    Outcome Write(const std::function<Outcome(CCommInterface&)>& write) override {
        CCommInterface comm(m_record);
        return write(comm);
    }
    Outcome Reconnect(const Ipv4Address& address) override {
        reconnectedAt = address.ToString();
        m_record.m_DeviceIp = address.octets();
        CCommInterface comm(m_record);
        return CDeviceSequences::ReadOut(comm);
    }
    QString reconnectedAt;

private:
    DeviceDataRecord& m_record;
};

enum class Arrange { AfterReadOut, BeforeReadOut };

struct ChangeRow {
    const char* name;
    // %1 the device's address, %2 an address where another device answers, %3 a free one.
    std::function<SettingsChange(const QString& other, const QString& free)> change;
    std::function<void(sim::CEncoderSimulator&)> arrange;
    Arrange when;
    Cause cause;
    QStringList texts;
    bool sent;             // the set request reached the device
    const char* reconnect; // where the device was read out again ("" not at all)
};

SettingsChange NewNetwork(const QString& ip, const char* mask = "255.0.0.0") {
    return SettingsChange::Network(Octets(ip), Octets(QLatin1String(mask)), Octets(u"127.0.0.1"_s));
}

TEST(ChangeSettings, RefusesBeforeSendingOrReportsWhatTheDeviceDid) {
    using enum Cause;
    const auto none = [](sim::CEncoderSimulator&) {};
    const std::function protocol = [](const QString&, const QString&) {
        return SettingsChange::Protocol(3); // DELVOR
    };
    const QString failed = u"Change Protocol failed."_s;
    const ChangeRow rows[] = {
        {"mask",
         [](auto&, auto& free) { return NewNetwork(free, "255.0.255.0"); },
         none,
         Arrange::AfterReadOut,
         InvalidAddress,
         {u"Invalid Subnet Mask Address"_s},
         false,
         ""},
        {"broadcast",
         [](auto&, auto&) { return NewNetwork(u"127.255.255.255"_s); },
         none,
         Arrange::AfterReadOut,
         InvalidAddress,
         {u"Invalid New IP Address"_s},
         false,
         ""},
        {"in use",
         [](auto& other, auto&) { return NewNetwork(other); },
         none,
         Arrange::AfterReadOut,
         AddressInUse,
         {u"Another device answers at %2. Choose an address that no device uses."_s},
         false,
         ""},
        {"restart refused",
         protocol,
         [](auto& s) { s.SetFault(MSG_RESTART_DEVICE, sim::Fault::DeviceError(10)); },
         Arrange::AfterReadOut,
         SettingsNotApplied,
         {u"Incorrect Communication Packet  (Error in EEPROM program)."_s,
          u"The device holds the new settings but did not restart; it applies them at its next "
          "restart."_s,
          failed},
         true,
         ""},
        {"another MAC",
         protocol,
         [](auto& s) {
             s.SetReplyOverride(MSG_GET_MAC_ID, QByteArray::fromHex("010006AABBCCDDEEFF"));
         },
         Arrange::AfterReadOut,
         OtherDeviceAnswers,
         {u"The device at %1 has the MAC ID AA:BB:CC:DD:EE:FF, not 00:1A:2B:3C:4D:5E: it is not "
          "the device that was changed."_s,
          failed},
         true,
         "%1"},
        {"reports another address",
         protocol,
         [](auto& s) {
             sim::NetworkSettings settings = s.Settings();
             settings.ip = {192, 168, 0, 20}; // never contacted: the device stays where it is
             s.SetSettings(settings);
         },
         Arrange::BeforeReadOut,
         ReadbackMismatch, // it reports where it is after the restart
         {failed},
         true,
         "%1"},
        {"new address",
         [](auto&, auto& free) { return NewNetwork(free); },
         none,
         Arrange::AfterReadOut,
         None,
         {u"Set New IP Address successful."_s},
         true,
         "%3"},
    };
    const QString other = UniqueLoopbackAddress(LoopbackArea::Comm, 1);
    sim::CEncoderSimulator answering(SimulatorConfigAt(other));
    ASSERT_TRUE(Started(answering));
    int salt = 10;
    for (const ChangeRow& row : rows) {
        SCOPED_TRACE(row.name);
        const QString address = UniqueLoopbackAddress(LoopbackArea::Comm, salt++);
        const QString free = UniqueLoopbackAddress(LoopbackArea::Comm, salt++);
        sim::CEncoderSimulator device(SimulatorConfigAt(address, 20));
        ASSERT_TRUE(Started(device));
        if (row.when == Arrange::BeforeReadOut)
            row.arrange(device);
        DeviceDataRecord record;
        record.m_DeviceIp = Octets(address);
        {
            CCommInterface comm(record);
            ASSERT_TRUE(CDeviceSequences::ReadOut(comm).Succeeded());
        }
        if (row.when == Arrange::AfterReadOut)
            row.arrange(device);
        LinkFrontEnd frontEnd(record);
        const Outcome outcome =
            CDeviceSequences::ChangeSettings(record, row.change(other, free), frontEnd);
        EXPECT_EQ(outcome.cause, row.cause);
        QStringList texts = row.texts;
        texts.replaceInStrings(u"%1"_s, address).replaceInStrings(u"%2"_s, other);
        EXPECT_EQ(outcome.Texts(), texts);
        EXPECT_EQ(device.RequestCount(MSG_SET_ETHERNET_PARAMS), row.sent ? 1 : 0);
        EXPECT_EQ(
            frontEnd.reconnectedAt,
            QString::fromLatin1(row.reconnect).replace(u"%1"_s, address).replace(u"%3"_s, free));
    }
    EXPECT_EQ(answering.RequestCount(MSG_SET_ETHERNET_PARAMS), 0);
}

} // namespace
