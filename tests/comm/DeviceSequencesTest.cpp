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

// ip, mask, gateway → the field refused ("" when accepted) and the reason the command line
// prints.
TEST(AddressCheck, RefusesWhatNoIpv4NetworkCanUseAndKeepsLoopback) {
    const std::tuple<const char*, const char*, const char*, const char*, const char*> rows[] = {
        {"127.0.0.5", "255.0.0.0", "127.0.0.1", "", ""},
        {"127.0.0.4", "255.255.255.254", "127.0.0.5", "", ""},
        {"169.254.7.9", "255.255.0.0", "169.254.0.1", "", ""},
        {"0.0.0.0", "255.0.0.0", "127.0.0.1", "ip", "0.0.0.0 is no address"},
        {"127.0.0.5", "255.0.255.0", "127.0.0.1", "mask",
         "a subnet mask is ones from the left, then zeros (255.255.255.0)"},
        {"255.255.255.255", "255.0.0.0", "127.0.0.1", "ip",
         "224.0.0.0 and above are multicast, reserved or broadcast addresses"},
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
        const Outcome outcome = CAddressCheck::Check({.m_Ip = Octets(QLatin1String(ip)),
                                                      .m_SubnetMask = Octets(QLatin1String(mask)),
                                                      .m_Gateway = Octets(QLatin1String(gateway))});
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

// What a row asks for, and what it does to the device first.
enum class Change { BadMask, InUse, NewAddress, Protocol };
enum class Device { AsShipped, RefusesRestart, OtherMacAfter, ReportsElsewhere };

struct ChangeRow {
    Change change;
    Device device;
    Cause cause;
    const char* texts;     // %1 the device's address, %2 where another device answers
    const char* reconnect; // where it was read out again: "" not at all, "%1", "new"
};

SettingsChange MakeChange(Change change, const QString& other, const QString& free) {
    if (change == Change::Protocol)
        return SettingsChange::Protocol(3); // DELVOR
    const QString mask = change == Change::BadMask ? u"255.0.255.0"_s : u"255.0.0.0"_s;
    return SettingsChange::Network(Octets(change == Change::InUse ? other : free), Octets(mask),
                                   Octets(u"127.0.0.1"_s));
}

// The device as the row wants it: settings before the read-out, faults after it.
void Arrange(sim::CEncoderSimulator& device, Device kind, bool readOut) {
    if (kind == Device::ReportsElsewhere && !readOut) {
        sim::NetworkSettings settings = device.Settings();
        settings.ip = {192, 168, 0, 20}; // never contacted: the device stays where it is
        device.SetSettings(settings);
    }
    if (kind == Device::RefusesRestart && readOut)
        device.SetFault(MSG_RESTART_DEVICE, sim::Fault::DeviceError(10));
    if (kind == Device::OtherMacAfter && readOut)
        device.SetReplyOverride(MSG_GET_MAC_ID, QByteArray::fromHex("010006AABBCCDDEEFF"));
}

TEST(ChangeSettings, RefusesBeforeSendingOrReportsWhatTheDeviceDid) {
    using enum Cause;
    // The boxes' texts joined by '|'; the last one says how the change ended.
    const ChangeRow rows[] = {
        {Change::BadMask, Device::AsShipped, InvalidAddress, "Invalid Subnet Mask Address", ""},
        {Change::InUse, Device::AsShipped, AddressInUse,
         "Another device answers at %2. Choose an address that no device uses.", ""},
        {Change::Protocol, Device::RefusesRestart, SettingsNotApplied,
         "Incorrect Communication Packet  (Error in EEPROM program).|The device holds the new "
         "settings but did not restart; it applies them at its next restart.|Change Protocol "
         "failed.",
         ""},
        {Change::Protocol, Device::OtherMacAfter, OtherDeviceAnswers,
         "The device at %1 has the MAC ID AA:BB:CC:DD:EE:FF, not 00:1A:2B:3C:4D:5E: it is not "
         "the device that was changed.|Change Protocol failed.",
         "%1"},
        // Read out where it was reached, it reports where it is: not what was written.
        {Change::Protocol, Device::ReportsElsewhere, ReadbackMismatch, "Change Protocol failed.",
         "%1"},
        {Change::NewAddress, Device::AsShipped, None, "Set New IP Address successful.", "new"},
    };
    const QString other = UniqueLoopbackAddress(LoopbackArea::Comm, 1);
    sim::CEncoderSimulator answering(SimulatorConfigAt(other));
    ASSERT_TRUE(Started(answering));
    int salt = 10;
    for (const ChangeRow& row : rows) {
        const QString address = UniqueLoopbackAddress(LoopbackArea::Comm, salt++);
        const QString free = UniqueLoopbackAddress(LoopbackArea::Comm, salt++);
        SCOPED_TRACE(row.texts);
        sim::CEncoderSimulator device(SimulatorConfigAt(address, 20));
        ASSERT_TRUE(Started(device));
        Arrange(device, row.device, false);
        DeviceDataRecord record;
        record.m_DeviceIp = Octets(address);
        {
            CCommInterface comm(record);
            ASSERT_TRUE(CDeviceSequences::ReadOut(comm).Succeeded());
        }
        Arrange(device, row.device, true);
        LinkFrontEnd frontEnd(record);
        const Outcome outcome =
            CDeviceSequences::ChangeSettings(record, MakeChange(row.change, other, free), frontEnd);
        EXPECT_EQ(outcome.cause, row.cause);
        EXPECT_EQ(outcome.Texts().join(u'|'),
                  QString::fromLatin1(row.texts).replace(u"%1"_s, address).replace(u"%2"_s, other));
        const bool refused = row.cause == InvalidAddress || row.cause == AddressInUse;
        EXPECT_EQ(device.RequestCount(MSG_SET_ETHERNET_PARAMS), refused ? 0 : 1);
        EXPECT_EQ(
            frontEnd.reconnectedAt,
            QString::fromLatin1(row.reconnect).replace(u"%1"_s, address).replace(u"new"_s, free));
    }
    EXPECT_EQ(answering.RequestCount(MSG_SET_ETHERNET_PARAMS), 0);
}

} // namespace
