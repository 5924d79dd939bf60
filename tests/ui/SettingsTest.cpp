#include "DialogFixture.h"

#include "commdll/RestartWatch.h"

#include <QApplication>
#include <QComboBox>

// Set New IP Address, Change Protocol and Change Mode share their steps: the whole Ethernet
// parameter block is written (the bytes read are kept but the changed ones), the device
// restarts (away for `away` ms, longer than a request's own time-out of 3 s, and waited for until
// the restart time-out), the program reconnects and shows what it reads; the message boxes come in
// the order the operator sees them.
using namespace Qt::StringLiterals;

enum class Fault { Ok, SetRefused, RestartRefused, KeepsOld };

struct SettingsCase {
    const char* name;
    int button;
    QStringList texts;
    BYTE sent;  // the protocol/mode byte written
    BYTE start; // the device's protocol/mode byte
    int away;
    Fault fault = Fault::Ok;
    const char* shown = nullptr; // the protocol shown afterwards (none: as before)
    int choice = 0;              // the protocol chosen in the list
    int salt = 0;                // not 0: a new address of this test's own is typed
};

void PrintTo(const SettingsCase& c, std::ostream* os) {
    *os << c.name;
} // test names stay stable

class SettingsTest : public DialogFixture, public ::testing::WithParamInterface<SettingsCase> {};

namespace {
const QString kSetIpOk = u"Set New IP Address successful."_s,
              kProtocolOk = u"Change Protocol successful."_s,
              kModeOk = u"Change Resolver Mode successful."_s,
              kSetIpFailed = u"Set New IP Address failed."_s,
              kProtocolFailed = u"Change Protocol failed."_s,
              kModeFailed = u"Change Resolver Mode failed."_s,
              kTimedOut = u"Incorrect Communication Packet  (Time Out Error). \nCheck cable and "_s
                          u"communication port."_s;
const QString kDm7 = QStringLiteral("|Current Mode : DM7|Change Mode to NO DM7");
const QString kNoDm7 = QStringLiteral("|Current Mode : NO DM7|Change Mode to DM7");
const QString kEeprom =
    QStringLiteral("Incorrect Communication Packet  (Error in EEPROM program).");
const QString kNotApplied = QStringLiteral(
    "The device holds the new settings but did not restart; it applies them at its next "
    "restart.");
const QStringList kSetRefused{QStringLiteral("Incorrect Communication Packet  (Protection error)."),
                              QStringLiteral("Unable to Set New IP Address"), kSetIpFailed};

// One slow row per restart wait: at a new address, at the same address, and never back (the
// restart time-out shortened to 4 s).
using enum Fault;
constexpr int kIp = IDC_SET_NEW_IP, kProto = IDC_CHANGE_PROTOCOL, kMode = IDC_CHANGE_MODE;
const SettingsCase kCases[] = {
    {"NewIpAfterALongRestart", kIp, {kSetIpOk}, 0x21, 0x21, 3500, Ok, nullptr, 0, 99},
    {"SetRefused", kIp, kSetRefused, 0x21, 0x21, 200, SetRefused},
    {"RestartRefused", kIp, {kEeprom, kNotApplied, kSetIpFailed}, 0x21, 0x21, 200, RestartRefused},
    {"EthernetIpToDelvor", kProto, {kProtocolOk}, 0x23, 0x21, 200, Ok, "DELVOR"},
    {"EthernetIpToModbus", kProto, {kProtocolOk}, 0x22, 0x21, 200, Ok, "Modbus TCP/IP", 1},
    {"DelvorToEthernetIp", kProto, {kProtocolOk}, 0x01, 0x03, 200, Ok, "Ethernet/IP"},
    {"ProtocolKept", kProto, {kProtocolFailed}, 0x23, 0x21, 200, KeepsOld},
    {"ProtocolNeverBack", kProto, {kTimedOut, kProtocolFailed}, 0x23, 0x21, 60000},
    {"ModeToNoDm7AfterALongRestart", kMode, {kModeOk}, 0x01, 0x21, 3500, Ok, "Ethernet/IP"},
    {"ModeToDm7", kMode, {kModeOk}, 0x21, 0x01, 200, Ok, "Ethernet/IP"},
    {"ModeKept", kMode, {kModeFailed}, 0x01, 0x21, 200, KeepsOld},
};
} // namespace

TEST_P(SettingsTest, WritesTheBlockRestartsAndShowsWhatTheDeviceReads) {
    const SettingsCase& c = GetParam();
    StartSimulator(c.start);
    sim::NetworkSettings settings = m_sim->Settings();
    settings.options = {0x5A, 0x6B, 0x7C, c.start};
    m_sim->SetSettings(settings);
    m_sim->SetRestartAwayMs(c.away);
    ConnectToSimulator();
    const auto shown = [this] {
        return Text(IDC_CURRENT_PROTOCOL) + u'|' + Text(IDC_CURRENT_MODE) + u'|' +
               Text(IDC_CHANGE_MODE);
    };
    const QString shownBefore = shown();
    const QString address = c.salt ? testsupport::UniqueLoopbackAddress(kArea, c.salt) : m_address;
    Dialog().m_ipNewAddress->SetWindowText(address);
    if (c.fault == Fault::SetRefused)
        m_sim->SetFault(MSG_SET_ETHERNET_PARAMS, sim::Fault::DeviceError(19));
    if (c.fault == Fault::RestartRefused)
        m_sim->SetFault(MSG_RESTART_DEVICE, sim::Fault::DeviceError(10));
    m_sim->SetKeepOldProtocol(c.fault == Fault::KeepsOld);
    m_sim->SetKeepOldMode(c.fault == Fault::KeepsOld);
    Dialog().m_comboProtocol->SetCurSel(c.choice);
    const bool neverBack = c.away > 20000;
    if (neverBack)
        commdll::CRestartWatch::SetTimeoutMs(4000);
    m_captions.clear();
    m_sim->ClearLog();
    Click(c.button); // Change Mode's button is hidden but takes the click
    commdll::CRestartWatch::SetTimeoutMs(commdll::CRestartWatch::RESTART_TIMEOUT_MS);

    ASSERT_EQ(Texts(), c.texts);
    EXPECT_EQ(m_captions.value(0), c.button == kIp      ? u"Setting New IP Address..."_s
                                   : c.button == kProto ? u"Setting Protocol..."_s
                                                        : u"Setting Resolver Mode..."_s);
    const bool succeeded = QStringList{kSetIpOk, kProtocolOk, kModeOk}.contains(c.texts.last());
    EXPECT_EQ(Icon(m_messages.count() - 1),
              succeeded ? platform::MessageIcon::Information : platform::MessageIcon::Error);
    EXPECT_TRUE(Dialog().m_btnChangeMode->isHidden());
    const bool written = c.fault != Fault::SetRefused;
    EXPECT_EQ(m_sim->RequestCount(MSG_RESTART_DEVICE), written ? 1 : 0);
    if (written) { // the fields as typed, the option bytes as read, the byte rebuilt
        const auto ip = testsupport::Octets(address);
        const QString hexIp =
            QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(ip.data()), 4).toHex());
        EXPECT_TRUE(testsupport::Wire(m_sim->Requests())
                        .contains(u"2a:1:0113001301%1ff0000007f0000015a6b7c%2 01:0:"_s.arg(
                            hexIp, QString::number(c.sent, 16).rightJustified(2, u'0'))));
    }
    if (neverBack) { // the library's restart time-out ends the wait
        EXPECT_FALSE(Dialog().m_StatusPoller.HasWorker());
        return;
    }
    // A failed write, or a refused restart, stops polling: nothing new to read.
    EXPECT_EQ(Dialog().m_StatusPoller.IsPolling(), written && c.fault != Fault::RestartRefused);
    if (!written) {
        EXPECT_FALSE(Dialog().m_commInterface.m_bConnected);
    }
    const QString now = written ? address : m_address;
    EXPECT_EQ(m_sim->Address(), now);
    EXPECT_EQ(Dialog().m_ipTargetDevice->GetWindowText(), now);
    EXPECT_EQ(Dialog().m_ipNewAddress->GetWindowText(), now) << "fields are read again";
    EXPECT_EQ(Stored(), now);
    EXPECT_EQ(shown(),
              c.shown ? QLatin1String(c.shown) + (c.sent & 0x20 ? kDm7 : kNoDm7) : shownBefore);
}

INSTANTIATE_TEST_SUITE_P(Changes, SettingsTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// What would leave the device unreachable or in an address conflict is refused before anything
// is sent (the focus goes to the field at fault, polling goes on); a device read out after the
// change with another MAC ID is reported failed and its controls stay disabled.
TEST_F(DialogFixture, RefusedAddressesSendNothingAndAnotherDeviceAfterTheChangeIsAFailure) {
    StartSimulator(0x21);
    const QString other = testsupport::UniqueLoopbackAddress(kArea, 1);
    sim::CEncoderSimulator answering(testsupport::SimulatorConfigAt(other));
    ASSERT_TRUE(testsupport::Started(answering));
    ConnectToSimulator();
    const std::tuple<QString, const char*, QString, CIPAddressCtrl*> rows[] = {
        {other, "255.0.0.0",
         u"Another device answers at %1. Choose an address that no device uses."_s.arg(other),
         Dialog().m_ipNewAddress},
        {u"127.0.0.9"_s, "255.0.255.0", u"Invalid Subnet Mask Address"_s, Dialog().m_ipSubnetMask},
    };
    for (const auto& [ip, mask, message, focus] : rows) {
        m_messages.clear();
        Dialog().m_ipNewAddress->SetWindowText(ip);
        Dialog().m_ipSubnetMask->SetWindowText(QLatin1String(mask));
        Click(IDC_SET_NEW_IP);
        EXPECT_EQ(Texts(), QStringList{message});
        EXPECT_EQ(Icon(0), platform::MessageIcon::Error);
        EXPECT_TRUE(focus->isAncestorOf(QApplication::focusWidget())) << message.toStdString();
        EXPECT_TRUE(Dialog().m_StatusPoller.IsPolling());
    }
    EXPECT_EQ(m_sim->RequestCount(MSG_SET_ETHERNET_PARAMS), 0);
    EXPECT_EQ(answering.RequestCount(MSG_SET_ETHERNET_PARAMS), 0);

    m_messages.clear();
    m_sim->SetReplyOverride(MSG_GET_MAC_ID, QByteArray::fromHex("010006AABBCCDDEEFF"));
    Click(IDC_CHANGE_PROTOCOL);
    // The first box names both MAC IDs (its text is checked with the shared sequence).
    EXPECT_TRUE(Texts().value(0).contains(u"MAC ID AA:BB:CC:DD:EE:FF, not 00:1A:2B:3C:4D:5E"_s));
    EXPECT_EQ(Texts().value(1), u"Change Protocol failed."_s);
    EXPECT_FALSE(Dialog().m_btnSetNewIp->isEnabled());
    EXPECT_FALSE(Dialog().m_StatusPoller.IsPolling());
}
