#include "DialogFixture.h"

#include "comm/MessageCodes.h"
#include "platform/RegistrySettings.h"
#include "res/Texts.h"
#include "ui/ExtParamsChildDlg.h"
#include "ui/QxProgressDlg.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

using namespace res;

namespace {
QStringList ComboTexts(QComboBox* combo) {
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

QList<int> ComboData(QComboBox* combo) {
    QList<int> data;
    for (int i = 0; i < combo->count(); ++i)
        data << combo->itemData(i).toInt();
    return data;
}

const int kDeviceControls[] = {IDC_NEW_IP,          IDC_SUBNET_MASK, IDC_GATEWAY,
                               IDC_CHANGE_PROTOCOL, IDC_SET_NEW_IP,  IDC_UPGRADE_FIRMWARE,
                               IDC_PROTOCOL_COMBO,  IDC_CHANGE_MODE};
} // namespace

class ConnectTest : public DialogFixture {
protected:
    bool DeviceControlsEnabled() {
        for (const int id : kDeviceControls) {
            if (!Dialog().GetDlgItem(id)->isEnabled())
                return false;
        }
        return true;
    }
    bool DeviceControlsDisabled() {
        for (const int id : kDeviceControls) {
            if (Dialog().GetDlgItem(id)->isEnabled())
                return false;
        }
        return true;
    }
};

TEST_F(ConnectTest, FullReadOutFillsEveryFieldFromTheDevice) {
    m_sim->PinPosition(true);
    m_sim->SetPosition(-2);
    ConnectToSimulator();
    CDELVOREncoderDlg& dialog = Dialog();

    EXPECT_EQ(dialog.m_ipNewAddress->GetWindowText(), m_address);
    EXPECT_EQ(dialog.m_ipSubnetMask->GetWindowText(), QStringLiteral("255.255.255.0"));
    EXPECT_EQ(dialog.m_ipGateway->GetWindowText(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(Text(IDC_MAC_ID), QStringLiteral("00:1A:2B:3C:4D:5E"));
    EXPECT_EQ(Text(IDC_HARDWARE_REV), QStringLiteral("2"));
    EXPECT_EQ(Text(IDC_BOOT_REV), QStringLiteral("B.7"));
    EXPECT_EQ(Text(IDC_EXEC_REV), QStringLiteral("C.3"));
    EXPECT_EQ(Text(IDC_RESOLVER_POSITION), QStringLiteral("-2"));
    EXPECT_TRUE(Text(IDC_LAST_UPDATED).startsWith(QStringLiteral("Last Updated On:\n")));
    EXPECT_EQ(Text(IDC_CURRENT_PROTOCOL), QStringLiteral("Ethernet/IP"));
    EXPECT_EQ(ComboTexts(dialog.m_comboProtocol),
              (QStringList{QStringLiteral("DELVOR"), QStringLiteral("Modbus TCP/IP")}));
    EXPECT_EQ(ComboData(dialog.m_comboProtocol), (QList<int>{3, 2}));
    EXPECT_EQ(dialog.m_comboProtocol->currentIndex(), 0);
    EXPECT_EQ(Text(IDC_CURRENT_MODE), QStringLiteral("Current Mode : DM7"));
    EXPECT_EQ(Text(IDC_CHANGE_MODE), QStringLiteral("Change Mode to NO DM7"));

    // Sizes 0x0004 / 0x0008 bytes show as 2 / 4 words; instances 0x0064 / 0x0065.
    CExtParamsChildDlg* panel = dialog.m_pRSLogixPanel;
    EXPECT_EQ(panel->m_editOutputSize->text(), QStringLiteral("2"));
    EXPECT_EQ(panel->m_editInputSize->text(), QStringLiteral("4"));
    EXPECT_EQ(panel->m_editOutputInstance->text(), QStringLiteral("100"));
    EXPECT_EQ(panel->m_editInputInstance->text(), QStringLiteral("101"));
    EXPECT_EQ(panel->m_editConfigInstance->text(), QStringLiteral("1"));
    EXPECT_EQ(panel->m_editConfigSize->text(), QStringLiteral("0"));

    const CQxProgressDlg::BarState bar = CQxProgressDlg::LastClosedBar();
    EXPECT_EQ(bar.maximum, 4);
    EXPECT_EQ(bar.position, 4);
    EXPECT_TRUE(DeviceControlsEnabled());
    EXPECT_TRUE(dialog.isEnabled());
    EXPECT_EQ(m_messages.count(), 0u);

    QString stored;
    ASSERT_TRUE(ReadRegistryString(QString(text::DeviceIpValueName), stored));
    EXPECT_EQ(stored, m_address);
}

struct ProtocolCase {
    BYTE protocolByte;
    const char* currentName;
    QStringList offered;
    QList<int> offeredCodes;
    bool rslogixPanel, modbusPanel, groupBox, trademark;
};

void PrintTo(const ProtocolCase& c, std::ostream* os) {
    *os << "protocol/mode byte 0x" << std::hex << int(c.protocolByte);
}

class ConnectProtocolTest : public ConnectTest,
                            public ::testing::WithParamInterface<ProtocolCase> {};

TEST_P(ConnectProtocolTest, ShowsThePanelAndChoicesOfTheProtocol) {
    const ProtocolCase& c = GetParam();
    StartSimulator(m_address, c.protocolByte);
    ConnectToSimulator();
    CDELVOREncoderDlg& dialog = Dialog();
    EXPECT_EQ(Text(IDC_CURRENT_PROTOCOL), QLatin1String(c.currentName));
    EXPECT_EQ(ComboTexts(dialog.m_comboProtocol), c.offered);
    EXPECT_EQ(ComboData(dialog.m_comboProtocol), c.offeredCodes);
    EXPECT_EQ(dialog.m_comboProtocol->currentIndex(), 0);
    EXPECT_EQ(!dialog.m_pRSLogixPanel->isHidden(), c.rslogixPanel);
    EXPECT_EQ(!dialog.m_pModbusPanel->isHidden(), c.modbusPanel);
    EXPECT_EQ(!dialog.m_groupExtraParameters->isHidden(), c.groupBox);
    EXPECT_EQ(!dialog.m_staticTrademark->isHidden(), c.trademark);
}

INSTANTIATE_TEST_SUITE_P(
    Protocols, ConnectProtocolTest,
    ::testing::Values(ProtocolCase{0x21,
                                   "Ethernet/IP",
                                   {QStringLiteral("DELVOR"), QStringLiteral("Modbus TCP/IP")},
                                   {3, 2},
                                   true,
                                   false,
                                   true,
                                   true},
                      ProtocolCase{0x02,
                                   "Modbus TCP/IP",
                                   {QStringLiteral("DELVOR"), QStringLiteral("Ethernet/IP")},
                                   {3, 1},
                                   false,
                                   true,
                                   true,
                                   false},
                      ProtocolCase{0x03,
                                   "DELVOR",
                                   {QStringLiteral("Ethernet/IP"), QStringLiteral("Modbus TCP/IP")},
                                   {1, 2},
                                   false,
                                   false,
                                   false,
                                   false},
                      ProtocolCase{0x00,
                                   "",
                                   {QStringLiteral("DELVOR"), QStringLiteral("Ethernet/IP"),
                                    QStringLiteral("Modbus TCP/IP")},
                                   {3, 1, 2},
                                   false,
                                   false,
                                   false,
                                   false},
                      ProtocolCase{0x25,
                                   "Unknown (5)",
                                   {QStringLiteral("DELVOR"), QStringLiteral("Ethernet/IP"),
                                    QStringLiteral("Modbus TCP/IP")},
                                   {3, 1, 2},
                                   false,
                                   false,
                                   false,
                                   false}));

TEST_F(ConnectTest, TargetAddressValidation) {
    for (const QString& typed : {QStringLiteral("0.0.0.0"), QString()}) {
        m_messages.clear();
        ConnectTo(typed);
        ASSERT_EQ(m_messages.texts(), QStringList{QString(text::InvalidDeviceIp)});
        EXPECT_EQ(m_messages.messages()[0].icon, platform::MessageIcon::Error);
        EXPECT_EQ(m_sim->ConnectionCount(), 0);
    }
    // A partly filled address is taken as it stands: "10" is 10.0.0.0. The loopback-only
    // switch refuses it before anything is sent, and the transport reports the refusal.
    m_messages.clear();
    ConnectTo(QStringLiteral("10"));
    EXPECT_EQ(DeviceData.m_DeviceIp, (std::array<BYTE, 4>{10, 0, 0, 0}));
    EXPECT_FALSE(m_messages.texts().contains(QString(text::InvalidDeviceIp)));
    EXPECT_EQ(m_messages.count(), 1u);
}

TEST_F(ConnectTest, DeviceWithoutSignatureIsRefusedAfterItsMacIsAsked) {
    m_sim->SetFault(MSG_GET_STATUS_ID, sim::Fault::NotValidDevice());
    ConnectTo(m_address);
    EXPECT_EQ(m_sim->RequestCount(MSG_GET_MAC_ID), 1);
    EXPECT_EQ(m_sim->RequestCount(MSG_GET_PARAMS), 0);
    ASSERT_EQ(m_messages.texts(), QStringList{QString(text::NotAValidDevice)});
    EXPECT_EQ(m_messages.messages()[0].icon, platform::MessageIcon::Error);
    EXPECT_TRUE(DeviceControlsDisabled());
    EXPECT_FALSE(Dialog().m_StatusPoller.HasWorker());
    QString stored;
    EXPECT_FALSE(ReadRegistryString(QString(text::DeviceIpValueName), stored));
}

TEST_F(ConnectTest, FailingCommandEndsTheReadOutWithItsOwnMessageOnly) {
    m_sim->SetFault(MSG_GET_PARAMS, sim::Fault::DeviceError(6));
    ConnectTo(m_address);
    EXPECT_EQ(m_messages.texts(), QStringList{QStringLiteral("Device is out of memory.")});
    EXPECT_TRUE(DeviceControlsDisabled());
    EXPECT_FALSE(Dialog().m_StatusPoller.HasWorker());
    EXPECT_TRUE(Dialog().isEnabled());
}

// Device A is read out, then a Connect to device B fails half way: A's settings still fill
// the fields, and nothing of them may reach B.
TEST_F(ConnectTest, HalfFailedConnectToAnotherDeviceDisablesTheDeviceControls) {
    ConnectToSimulator();
    const QString addressB = testsupport::UniqueLoopbackAddress(kAddressArea, 7);
    sim::CEncoderSimulator deviceB(testsupport::SimulatorConfigAt(addressB));
    ASSERT_TRUE(testsupport::Started(deviceB));
    deviceB.SetFault(MSG_GET_PARAMS, sim::Fault::DeviceError(19));
    ConnectTo(addressB);
    EXPECT_EQ(m_messages.texts(),
              QStringList{QStringLiteral("Incorrect Communication Packet  (Protection error).")});
    EXPECT_TRUE(DeviceControlsDisabled());
    EXPECT_EQ(Dialog().m_ipNewAddress->GetWindowText(), m_address) << "the fields stay as shown";
    EXPECT_FALSE(Dialog().m_StatusPoller.HasWorker()) << "a failed Connect leaves polling stopped";
    for (const int button : {IDC_CHANGE_PROTOCOL, IDC_SET_NEW_IP, IDC_CHANGE_MODE})
        Click(button);
    EXPECT_TRUE(deviceB.SetPayloads().empty());

    deviceB.ClearFaults();
    ConnectTo(addressB);
    EXPECT_TRUE(DeviceControlsEnabled()) << "a good read-out enables them again";
}
