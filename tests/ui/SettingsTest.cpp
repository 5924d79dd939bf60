#include "DialogFixture.h"

#include "res/StringTable.h"

#include <QComboBox>
#include <QElapsedTimer>

// Set New IP Address, Change Protocol and Change Mode share their steps: the whole Ethernet
// parameter block is written (the bytes read are kept but the changed ones), the device
// restarts (away for `awayMs`, waited for up to 20 s), the program reconnects and shows what
// it reads; the message boxes come in the order the operator sees them.
enum class Change { NewIp, Protocol, Mode };
enum class Fault { None, SetRefused, RestartRefused, KeepsOld };

struct SettingsCase {
    const char* name;
    Change change;
    BYTE start = 0x21; // the device's protocol/mode byte
    int choice = 0;    // the protocol chosen in the list
    int salt = 0;      // not 0: a new address of this test's own is typed
    int awayMs = 200;
    Fault fault = Fault::None;
    QStringList texts;
    BYTE sent = 0x21;            // the protocol/mode byte written
    const char* shown = nullptr; // the protocol shown afterwards (none: as before)
};

void PrintTo(const SettingsCase& c, std::ostream* os) {
    *os << c.name;
}

class SettingsTest : public DialogFixture, public ::testing::WithParamInterface<SettingsCase> {};

namespace {
const QString kSetIpOk(text::SetNewIpSuccessful), kProtocolOk(text::ChangeProtocolSuccessful),
    kModeOk(text::ChangeModeSuccessful);
const QString kDm7 = QStringLiteral("|Current Mode : DM7|Change Mode to NO DM7");
const QString kNoDm7 = QStringLiteral("|Current Mode : NO DM7|Change Mode to DM7");
} // namespace

TEST_P(SettingsTest, WritesTheBlockRestartsAndShowsWhatTheDeviceReads) {
    const SettingsCase& c = GetParam();
    StartSimulator(c.start);
    sim::NetworkSettings settings = m_sim->Settings();
    settings.options = {0x5A, 0x6B, 0x7C, c.start};
    m_sim->SetSettings(settings);
    m_sim->SetRestartAwayMs(c.awayMs);
    ConnectToSimulator();
    const QString shownBefore =
        Text(IDC_CURRENT_PROTOCOL) + u'|' + Text(IDC_CURRENT_MODE) + u'|' + Text(IDC_CHANGE_MODE);
    const QString address = c.salt ? testsupport::UniqueLoopbackAddress(kArea, c.salt) : m_address;
    Dialog().m_ipNewAddress->SetWindowText(address);
    if (c.fault == Fault::SetRefused)
        m_sim->SetFault(MSG_SET_ETHERNET_PARAMS, sim::Fault::DeviceError(19));
    if (c.fault == Fault::RestartRefused)
        m_sim->SetFault(MSG_RESTART_DEVICE, sim::Fault::DeviceError(10));
    m_sim->SetKeepOldProtocol(c.fault == Fault::KeepsOld);
    m_sim->SetKeepOldMode(c.fault == Fault::KeepsOld);
    Dialog().m_comboProtocol->SetCurSel(c.choice);
    QElapsedTimer elapsed;
    elapsed.start();
    if (c.change == Change::NewIp)
        Click(IDC_SET_NEW_IP);
    else if (c.change == Change::Protocol)
        Click(IDC_CHANGE_PROTOCOL);
    else
        Dialog().OnChangeMode(); // its button is hidden

    ASSERT_EQ(Texts(), c.texts);
    const bool succeeded = QStringList{kSetIpOk, kProtocolOk, kModeOk}.contains(c.texts.last());
    // Our own messages; a device's error report or the time-out may come first.
    for (std::size_t i = c.texts.size() > 1 ? 1 : 0; i < m_messages.count(); ++i)
        EXPECT_EQ(Icon(i), succeeded && i + 1 == m_messages.count()
                               ? platform::MessageIcon::Information
                               : platform::MessageIcon::Error);
    EXPECT_TRUE(Dialog().m_btnChangeMode->isHidden());
    const bool written = c.fault != Fault::SetRefused;
    EXPECT_EQ(m_sim->RequestCount(MSG_RESTART_DEVICE), written ? 1 : 0);
    if (written) {
        const QByteArray payload = m_sim->SetPayloads().back();
        ASSERT_EQ(payload.size(), 21);
        const auto octets = testsupport::Octets(address);
        EXPECT_EQ(payload.mid(5, 4), QByteArray(reinterpret_cast<const char*>(octets.data()), 4));
        EXPECT_EQ(payload.mid(17, 3), QByteArray("\x5A\x6B\x7C", 3));
        EXPECT_EQ(static_cast<BYTE>(payload[20]), c.sent);
    }
    if (c.awayMs > 20000) { // never back: the library's restart time-out ends the wait
        EXPECT_EQ(Texts().first(), LoadResString(106));
        EXPECT_LE(elapsed.elapsed(), 22000);
        EXPECT_FALSE(Dialog().m_StatusPoller.HasWorker());
        return;
    }
    EXPECT_EQ(Dialog().m_StatusPoller.IsPolling(), written) << "a failed write stops polling";
    if (!written) {
        EXPECT_FALSE(Dialog().m_commInterface.m_bConnected);
    }
    const QString now = written ? address : m_address;
    EXPECT_EQ(m_sim->Address(), now);
    EXPECT_EQ(Dialog().m_ipTargetDevice->GetWindowText(), now);
    EXPECT_EQ(Dialog().m_ipNewAddress->GetWindowText(), now) << "fields are read again";
    EXPECT_EQ(Stored(), now);
    EXPECT_EQ(Text(IDC_CURRENT_PROTOCOL) + u'|' + Text(IDC_CURRENT_MODE) + u'|' +
                  Text(IDC_CHANGE_MODE),
              c.shown ? QLatin1String(c.shown) + (c.sent & 0x20 ? kDm7 : kNoDm7) : shownBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, SettingsTest,
    ::testing::Values(
        SettingsCase{.name = "SameIp", .change = Change::NewIp, .texts = {kSetIpOk}},
        SettingsCase{.name = "NewIpAfter8s",
                     .change = Change::NewIp,
                     .salt = 99,
                     .awayMs = 8000,
                     .texts = {kSetIpOk}},
        SettingsCase{
            .name = "SetRefused",
            .change = Change::NewIp,
            .fault = Fault::SetRefused,
            .texts = {QStringLiteral("Incorrect Communication Packet  (Protection error)."),
                      QStringLiteral("Unable to Set New IP Address"),
                      QString(text::SetNewIpFailed)}},
        SettingsCase{
            .name = "RestartRefused",
            .change = Change::NewIp,
            .fault = Fault::RestartRefused,
            .texts = {QStringLiteral("Incorrect Communication Packet  (Error in EEPROM program)."),
                      kSetIpOk}},
        SettingsCase{.name = "NewIpNeverBack",
                     .change = Change::NewIp,
                     .salt = 99,
                     .awayMs = 60000,
                     .texts = {LoadResString(106), kSetIpOk}},
        SettingsCase{.name = "EthernetIpToDelvorAfter4s",
                     .change = Change::Protocol,
                     .awayMs = 4000,
                     .texts = {kProtocolOk},
                     .sent = 0x23,
                     .shown = "DELVOR"},
        SettingsCase{.name = "EthernetIpToModbus",
                     .change = Change::Protocol,
                     .choice = 1,
                     .texts = {kProtocolOk},
                     .sent = 0x22,
                     .shown = "Modbus TCP/IP"},
        SettingsCase{.name = "DelvorToEthernetIp",
                     .change = Change::Protocol,
                     .start = 0x03,
                     .texts = {kProtocolOk},
                     .sent = 0x01,
                     .shown = "Ethernet/IP"},
        SettingsCase{.name = "DelvorToModbus",
                     .change = Change::Protocol,
                     .start = 0x03,
                     .choice = 1,
                     .texts = {kProtocolOk},
                     .sent = 0x02,
                     .shown = "Modbus TCP/IP"},
        SettingsCase{.name = "NoneToDelvor",
                     .change = Change::Protocol,
                     .start = 0x00,
                     .texts = {kProtocolOk},
                     .sent = 0x03,
                     .shown = "DELVOR"},
        SettingsCase{.name = "ModbusToEthernetIp",
                     .change = Change::Protocol,
                     .start = 0x22,
                     .choice = 1,
                     .texts = {kProtocolOk},
                     .sent = 0x21,
                     .shown = "Ethernet/IP"},
        SettingsCase{.name = "ProtocolKept",
                     .change = Change::Protocol,
                     .fault = Fault::KeepsOld,
                     .texts = {QString(text::ChangeProtocolFailed)},
                     .sent = 0x23},
        SettingsCase{.name = "ProtocolNeverBack",
                     .change = Change::Protocol,
                     .awayMs = 60000,
                     .texts = {LoadResString(106), QString(text::ChangeProtocolFailed)},
                     .sent = 0x23},
        SettingsCase{.name = "ModeToNoDm7After8s",
                     .change = Change::Mode,
                     .awayMs = 8000,
                     .texts = {kModeOk},
                     .sent = 0x01,
                     .shown = "Ethernet/IP"},
        SettingsCase{.name = "ModeToDm7",
                     .change = Change::Mode,
                     .start = 0x01,
                     .texts = {kModeOk},
                     .shown = "Ethernet/IP"},
        SettingsCase{.name = "ModeKept",
                     .change = Change::Mode,
                     .fault = Fault::KeepsOld,
                     .texts = {QString(text::ChangeModeFailed)},
                     .sent = 0x01}),
    [](const auto& info) { return std::string(info.param.name); });

class SettingsFieldTest : public DialogFixture {};

TEST_F(SettingsFieldTest, InvalidAddressStopsBeforeAnythingIsSent) {
    ConnectToSimulator();
    for (const auto& [controlId, message] : {std::pair{IDC_NEW_IP, text::InvalidNewIp},
                                             std::pair{IDC_SUBNET_MASK, text::InvalidSubnetMask},
                                             std::pair{IDC_GATEWAY, text::InvalidGateway}}) {
        for (const QString& typed : {QStringLiteral("0.0.0.0"), QString()}) {
            Click(IDC_CONNECT); // fresh values in every field
            m_messages.clear();
            auto* field = Dialog().item<CIPAddressCtrl>(controlId);
            field->SetWindowText(typed);
            Click(IDC_SET_NEW_IP);
            ASSERT_EQ(Texts(), QStringList{QString(message)});
            EXPECT_EQ(Icon(0), platform::MessageIcon::Error);
            EXPECT_TRUE(field->isAncestorOf(QApplication::focusWidget()));
            EXPECT_TRUE(m_sim->SetPayloads().empty());
            EXPECT_TRUE(Dialog().m_StatusPoller.IsPolling());
        }
    }
}
