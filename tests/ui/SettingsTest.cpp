#include "DialogFixture.h"

#include "comm/MessageCodes.h"
#include "platform/RegistrySettings.h"
#include "res/Texts.h"

#include "res/StringTable.h"

#include <QApplication>
#include <QElapsedTimer>

using namespace res;

// Settings changes against a simulated encoder that restarts quickly; the message boxes are
// checked in the order the operator would see them.
class SettingsTest : public DialogFixture {
protected:
    void SetUp() override {
        DialogFixture::SetUp();
        m_sim->SetRestartAwayMs(200);
    }

    QByteArray LastSetPayload() const {
        const auto payloads = m_sim->SetPayloads();
        return payloads.empty() ? QByteArray() : payloads.back();
    }

    QStringList Texts() const { return m_messages.texts(); }
};

TEST_F(SettingsTest, SetNewIpWithoutEditingRewritesTheSameAddressAndReconnects) {
    ConnectToSimulator();
    Click(IDC_SET_NEW_IP);
    ASSERT_EQ(Texts(), QStringList{QString(text::SetNewIpSuccessful)});
    EXPECT_EQ(m_messages.messages()[0].icon, platform::MessageIcon::Information);
    ASSERT_EQ(LastSetPayload().size(), 21);
    const auto octets = testsupport::Octets(m_address);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(static_cast<BYTE>(LastSetPayload()[5 + i]), octets[i]);
    EXPECT_EQ(m_sim->RequestCount(MSG_RESTART_DEVICE), 1);
    EXPECT_EQ(Dialog().m_ipTargetDevice->GetWindowText(), m_address);
    EXPECT_TRUE(Dialog().m_StatusPoller.IsPolling());
    EXPECT_TRUE(Dialog().isEnabled());
}

TEST_F(SettingsTest, NewAddressMovesTheDeviceAndTheProgramFollows) {
    ConnectToSimulator();
    const QString newAddress = testsupport::UniqueLoopbackAddress(kAddressArea, 99);
    Dialog().m_ipNewAddress->SetWindowText(newAddress);
    Click(IDC_SET_NEW_IP);
    ASSERT_EQ(Texts(), QStringList{QString(text::SetNewIpSuccessful)});
    EXPECT_EQ(m_sim->Address(), newAddress);
    EXPECT_EQ(Dialog().m_ipTargetDevice->GetWindowText(), newAddress);
    EXPECT_EQ(Dialog().m_ipNewAddress->GetWindowText(), newAddress) << "fields are read again";
    QString stored;
    ASSERT_TRUE(ReadRegistryString(QString(text::DeviceIpValueName), stored));
    EXPECT_EQ(stored, newAddress);
    EXPECT_TRUE(Dialog().m_StatusPoller.IsPolling());
}

TEST_F(SettingsTest, InvalidAddressFieldStopsBeforeAnythingIsSent) {
    struct Case {
        int controlId;
        QLatin1String message;
    };
    ConnectToSimulator();
    for (const Case c :
         {Case{IDC_NEW_IP, text::InvalidNewIp}, Case{IDC_SUBNET_MASK, text::InvalidSubnetMask},
          Case{IDC_GATEWAY, text::InvalidGateway}}) {
        for (const QString& typed : {QStringLiteral("0.0.0.0"), QString()}) {
            Click(res::IDC_CONNECT); // fresh values in every field
            m_messages.clear();
            auto* field = Dialog().item<CIPAddressCtrl>(c.controlId);
            field->SetWindowText(typed);
            Click(IDC_SET_NEW_IP);
            ASSERT_EQ(Texts(), QStringList{QString(c.message)});
            EXPECT_EQ(m_messages.messages()[0].icon, platform::MessageIcon::Error);
            EXPECT_TRUE(field->isAncestorOf(QApplication::focusWidget()));
            EXPECT_TRUE(m_sim->SetPayloads().empty());
            EXPECT_TRUE(Dialog().m_StatusPoller.IsPolling());
        }
    }
}

TEST_F(SettingsTest, FailedSetShowsUpToThreeMessagesInOrderAndSendsNoRestart) {
    ConnectToSimulator();
    m_sim->SetFault(MSG_SET_ETHERNET_PARAMS, sim::Fault::DeviceError(19));
    Click(IDC_SET_NEW_IP);
    EXPECT_EQ(Texts(),
              (QStringList{QStringLiteral("Incorrect Communication Packet  (Protection error)."),
                           QStringLiteral("Unable to Set New IP Address"),
                           QString(text::SetNewIpFailed)}));
    EXPECT_EQ(m_messages.messages()[1].icon, platform::MessageIcon::Error);
    EXPECT_EQ(m_messages.messages()[2].icon, platform::MessageIcon::Error);
    EXPECT_EQ(m_sim->RequestCount(MSG_RESTART_DEVICE), 0);
    EXPECT_FALSE(Dialog().m_StatusPoller.HasWorker()) << "a failed write leaves polling stopped";
    EXPECT_FALSE(Dialog().m_commInterface.m_bConnected);
}

TEST_F(SettingsTest, FailedRestartRequestIsReportedAndTheChangeStillSucceeds) {
    ConnectToSimulator();
    m_sim->SetFault(MSG_RESTART_DEVICE, sim::Fault::DeviceError(10));
    Click(IDC_SET_NEW_IP);
    EXPECT_EQ(
        Texts(),
        (QStringList{QStringLiteral("Incorrect Communication Packet  (Error in EEPROM program)."),
                     QString(text::SetNewIpSuccessful)}));
}

struct ProtocolChange {
    BYTE startByte;
    int comboIndex;
    const char* chosenName;
    BYTE sentByte;
};

void PrintTo(const ProtocolChange& c, std::ostream* os) {
    *os << "from 0x" << std::hex << int(c.startByte) << " to " << c.chosenName;
}

class ChangeProtocolTest : public SettingsTest,
                           public ::testing::WithParamInterface<ProtocolChange> {};

TEST_P(ChangeProtocolTest, SendsTheChosenProtocolWithTheModeAndOptionBytesAsRead) {
    const ProtocolChange& c = GetParam();
    StartSimulator(m_address, c.startByte);
    m_sim->SetRestartAwayMs(200);
    sim::NetworkSettings settings = m_sim->Settings();
    settings.options = {0x5A, 0x6B, 0x7C, c.startByte};
    m_sim->SetSettings(settings);
    ConnectToSimulator();

    Dialog().m_comboProtocol->SetCurSel(c.comboIndex);
    ASSERT_EQ(Dialog().m_comboProtocol->currentText(), QLatin1String(c.chosenName));
    Click(IDC_CHANGE_PROTOCOL);
    ASSERT_EQ(Texts(), QStringList{QString(text::ChangeProtocolSuccessful)});
    const QByteArray payload = LastSetPayload();
    ASSERT_EQ(payload.size(), 21);
    EXPECT_EQ(payload.mid(17, 3), QByteArray("\x5A\x6B\x7C", 3));
    EXPECT_EQ(static_cast<BYTE>(payload[20]), c.sentByte);
    EXPECT_EQ(Text(IDC_CURRENT_PROTOCOL), QLatin1String(c.chosenName));
}

INSTANTIATE_TEST_SUITE_P(Entries, ChangeProtocolTest,
                         ::testing::Values(ProtocolChange{0x21, 0, "DELVOR", 0x23},
                                           ProtocolChange{0x21, 1, "Modbus TCP/IP", 0x22},
                                           ProtocolChange{0x03, 0, "Ethernet/IP", 0x01},
                                           ProtocolChange{0x03, 1, "Modbus TCP/IP", 0x02},
                                           ProtocolChange{0x00, 0, "DELVOR", 0x03},
                                           ProtocolChange{0x22, 1, "Ethernet/IP", 0x21}));

TEST_F(SettingsTest, DeviceThatKeepsItsProtocolIsReportedAsAFailedChange) {
    ConnectToSimulator();
    m_sim->SetKeepOldProtocol(true);
    Click(IDC_CHANGE_PROTOCOL);
    EXPECT_EQ(Texts(), QStringList{QString(text::ChangeProtocolFailed)});
    EXPECT_EQ(m_messages.messages()[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(Text(IDC_CURRENT_PROTOCOL), QStringLiteral("Ethernet/IP"));
}

TEST_F(SettingsTest, ChangeModeTwiceTogglesAndTheHiddenButtonsCaptionFollows) {
    ConnectToSimulator();
    EXPECT_TRUE(Dialog().m_btnChangeMode->isHidden());
    Dialog().OnChangeMode();
    EXPECT_EQ(Texts(), QStringList{QString(text::ChangeModeSuccessful)});
    EXPECT_EQ(static_cast<BYTE>(LastSetPayload()[20]), 0x01);
    EXPECT_EQ(Text(IDC_CHANGE_MODE), QStringLiteral("Change Mode to DM7"));
    EXPECT_EQ(Text(IDC_CURRENT_MODE), QStringLiteral("Current Mode : NO DM7"));

    m_messages.clear();
    Dialog().OnChangeMode();
    EXPECT_EQ(Texts(), QStringList{QString(text::ChangeModeSuccessful)});
    EXPECT_EQ(static_cast<BYTE>(LastSetPayload()[20]), 0x21);
    EXPECT_EQ(Text(IDC_CHANGE_MODE), QStringLiteral("Change Mode to NO DM7"));
    EXPECT_TRUE(Dialog().m_btnChangeMode->isHidden());
}

TEST_F(SettingsTest, DeviceThatKeepsItsModeIsReportedAsAFailedChange) {
    ConnectToSimulator();
    m_sim->SetKeepOldMode(true);
    Dialog().OnChangeMode();
    EXPECT_EQ(Texts(), QStringList{QString(text::ChangeModeFailed)});
}

enum class Change { NewIp, Protocol, Mode };

struct SlowRestart {
    Change change;
    int awayMs; // how long the device is away on its restart
    QLatin1String outcome;
};

void PrintTo(const SlowRestart& c, std::ostream* os) {
    static const char* const names[] = {"new IP", "protocol", "mode"};
    *os << names[static_cast<int>(c.change)] << ", away " << c.awayMs << " ms";
}

class SlowRestartTest : public SettingsTest, public ::testing::WithParamInterface<SlowRestart> {};

// A device that takes seconds to restart is waited for (up to the library's 20 s restart
// time-out): the change succeeds and the new value is read back. One that never comes back
// ends in the time-out message within that time.
TEST_P(SlowRestartTest, ReconnectWaitsForTheDevice) {
    const SlowRestart& c = GetParam();
    ConnectToSimulator();
    m_sim->SetRestartAwayMs(c.awayMs);
    const QString newAddress = testsupport::UniqueLoopbackAddress(kAddressArea, 99);
    QElapsedTimer elapsed;
    elapsed.start();
    switch (c.change) {
    case Change::NewIp:
        Dialog().m_ipNewAddress->SetWindowText(newAddress);
        Click(IDC_SET_NEW_IP);
        break;
    case Change::Protocol:
        Click(IDC_CHANGE_PROTOCOL); // "DELVOR" is offered first
        break;
    case Change::Mode:
        Dialog().OnChangeMode();
        break;
    }
    ASSERT_FALSE(Texts().isEmpty());
    EXPECT_EQ(Texts().last(), QString(c.outcome));
    if (c.awayMs > 20000) {
        EXPECT_EQ(Texts().first(), res::LoadResString(106)) << "the time-out's message";
        EXPECT_LE(elapsed.elapsed(), 22000);
        EXPECT_FALSE(Dialog().m_StatusPoller.HasWorker());
        return;
    }
    EXPECT_EQ(Texts().size(), 1);
    EXPECT_TRUE(Dialog().m_StatusPoller.IsPolling());
    switch (c.change) {
    case Change::NewIp:
        EXPECT_EQ(m_sim->Address(), newAddress);
        EXPECT_EQ(Dialog().m_ipNewAddress->GetWindowText(), newAddress) << "read back";
        break;
    case Change::Protocol:
        EXPECT_EQ(Text(IDC_CURRENT_PROTOCOL), QStringLiteral("DELVOR"));
        break;
    case Change::Mode:
        EXPECT_EQ(Text(IDC_CURRENT_MODE), QStringLiteral("Current Mode : NO DM7"));
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Restarts, SlowRestartTest,
    ::testing::Values(SlowRestart{Change::NewIp, 4000, text::SetNewIpSuccessful},
                      SlowRestart{Change::NewIp, 8000, text::SetNewIpSuccessful},
                      SlowRestart{Change::Protocol, 4000, text::ChangeProtocolSuccessful},
                      SlowRestart{Change::Protocol, 8000, text::ChangeProtocolSuccessful},
                      SlowRestart{Change::Mode, 4000, text::ChangeModeSuccessful},
                      SlowRestart{Change::Mode, 8000, text::ChangeModeSuccessful},
                      // Never back: a new address still counts as set, a protocol not.
                      SlowRestart{Change::NewIp, 60000, text::SetNewIpSuccessful},
                      SlowRestart{Change::Protocol, 60000, text::ChangeProtocolFailed}));
