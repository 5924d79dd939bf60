#include "DialogFixture.h"

#include "ui/ExtParamsChildDlg.h"

#include <QComboBox>
#include <QDateTime>
#include <QLineEdit>

class ConnectTest : public DialogFixture {};

// Sizes in bytes show as words (odd ones rounded down), instances as they are; both are
// sent high byte first.
TEST_F(ConnectTest, FullReadOutFillsEveryFieldFromTheDevice) {
    m_sim->PinPosition(true);
    m_sim->SetPosition(-19088744); // 0xFEDCBA98: four different bytes
    m_sim->SetConnection({0x0005, 0xFFFF, 0x0064, 0x0102});
    CDELVOREncoderDlg& dialog = Dialog();
    dialog.m_localTime = [] { return QDateTime(QDate(2026, 12, 5), QTime(9, 5, 7)); };
    ConnectToSimulator();
    QStringList shown;
    for (const CIPAddressCtrl* field :
         {dialog.m_ipNewAddress, dialog.m_ipSubnetMask, dialog.m_ipGateway})
        shown << field->GetWindowText();
    for (const int id : {IDC_MAC_ID, IDC_HARDWARE_REV, IDC_BOOT_REV, IDC_EXEC_REV,
                         IDC_RESOLVER_POSITION, IDC_CURRENT_MODE, IDC_CHANGE_MODE})
        shown << Text(id);
    CExtParamsChildDlg* panel = dialog.m_pRSLogixPanel;
    for (const QLineEdit* edit :
         {panel->m_editOutputSize, panel->m_editInputSize, panel->m_editOutputInstance,
          panel->m_editInputInstance, panel->m_editConfigInstance, panel->m_editConfigSize})
        shown << edit->text();
    EXPECT_EQ(shown.join(u'|').toStdString(),
              m_address.toStdString() +
                  "|255.0.0.0|127.0.0.1|00:1A:2B:3C:4D:5E|2|B.7|C.3|-19088744|Current Mode : DM7|"
                  "Change Mode to NO DM7|2|32767|100|258|1|0");
    // Hour padded with a space; minutes, seconds, month and day with zeros.
    EXPECT_EQ(Text(IDC_LAST_UPDATED), u"Last Updated On:\n 9:05:07 12/05/2026");
    dialog.m_StatusPoller.Stop(); // its worker reads the clock
    dialog.m_localTime = [] { return QDateTime(QDate(2027, 10, 31), QTime(23, 41, 58)); };
    dialog.ShowResolverPosition();
    EXPECT_EQ(Text(IDC_LAST_UPDATED), u"Last Updated On:\n23:41:58 10/31/2027");
    // A position that has not changed is left as it is: text the operator selected to copy
    // stays selected.
    dialog.m_editResolverPosition->selectAll();
    dialog.ShowResolverPosition();
    EXPECT_EQ(dialog.m_editResolverPosition->selectedText(), u"-19088744");
    EXPECT_TRUE(testsupport::Wire(m_sim->Requests()).startsWith(u"12:0: 2f:0: 2b:1:01 2b:1:05"));
    EXPECT_EQ(m_barAtClose, u"4/4") << "four steps on a bar of four";
    // The caption names the request under way as the bar moves.
    EXPECT_EQ(m_barMoves.join(u'|').toStdString(),
              "Getting Status ID...|Getting MAC ID...|Getting Ethernet "
              "Parameters...|Getting Ethernet Parameters...");
    EXPECT_EQ(DeviceControls(), 8);
    EXPECT_EQ(m_messages.count(), 0u); // the address stored: SettingsTest
}

// The protocol byte decides the name shown, the choices offered (the current one left out,
// sorted, the first selected) and the panels shown.
TEST_F(ConnectTest, ShowsThePanelAndChoicesOfTheProtocol) {
    // Name | each choice as name=code | RSLogix panel, Modbus panel, group box, trademark shown
    // | mode (high half of the byte 2: DM7)
    for (const auto& [protocolByte, expected] :
         {std::pair{0x21, "Ethernet/IP|DELVOR=3,Modbus TCP/IP=2,|1011|Current Mode : DM7"},
          std::pair{0x32, "Modbus TCP/IP|DELVOR=3,Ethernet/IP=1,|0110|Current Mode : NO DM7"},
          std::pair{0x03, "DELVOR|Ethernet/IP=1,Modbus TCP/IP=2,|0000|Current Mode : NO DM7"},
          std::pair{0x00, "|DELVOR=3,Ethernet/IP=1,Modbus TCP/IP=2,|0000|Current Mode : NO DM7"},
          std::pair{
              0x25,
              "Unknown (5)|DELVOR=3,Ethernet/IP=1,Modbus TCP/IP=2,|0000|Current Mode : DM7"}}) {
        SCOPED_TRACE(protocolByte);
        if (m_dialog)
            m_dialog->m_StatusPoller.Stop(); // before its device goes
        StartSimulator(static_cast<BYTE>(protocolByte));
        ConnectToSimulator();
        const CDELVOREncoderDlg& dialog = Dialog();
        QString shown = Text(IDC_CURRENT_PROTOCOL) + u'|';
        for (int i = 0; i < dialog.m_comboProtocol->count(); ++i)
            shown += dialog.m_comboProtocol->itemText(i) + u'=' +
                     dialog.m_comboProtocol->itemData(i).toString() + u',';
        shown += u'|';
        for (const QWidget* w : std::initializer_list<const QWidget*>{
                 dialog.m_pRSLogixPanel, dialog.m_pModbusPanel, dialog.m_groupExtraParameters,
                 dialog.m_staticTrademark})
            shown += w->isHidden() ? u'0' : u'1';
        shown += u'|' + Text(IDC_CURRENT_MODE);
        EXPECT_EQ(shown, QLatin1String(expected));
        EXPECT_EQ(dialog.m_comboProtocol->currentIndex(), 0);
    }
}

// Empty or 0.0.0.0: its field's message, the focus on the field, nothing sent, polling on.
TEST_F(ConnectTest, InvalidAddressStopsBeforeAnythingIsSent) {
    ConnectToSimulator();
    for (const auto& [field, button, message] :
         {std::tuple{IDC_TARGET_IP, IDC_CONNECT, "Invalid Device IP Address"},
          std::tuple{IDC_NEW_IP, IDC_SET_NEW_IP, "Invalid New IP Address"},
          std::tuple{IDC_SUBNET_MASK, IDC_SET_NEW_IP, "Invalid Subnet Mask Address"},
          std::tuple{IDC_GATEWAY, IDC_SET_NEW_IP, "Invalid Gateway Address"}}) {
        for (const QString& typed : {QStringLiteral("0.0.0.0"), QString()}) {
            ConnectTo(m_address); // fresh values in every field
            m_messages.clear();
            const int readOuts = m_sim->RequestCount(MSG_GET_MAC_ID);
            auto* control = Dialog().item<CIPAddressCtrl>(field);
            control->SetWindowText(typed);
            Click(button);
            ASSERT_EQ(Texts(), QStringList{QLatin1String(message)});
            EXPECT_EQ(Icon(0), platform::MessageIcon::Error);
            EXPECT_TRUE(control->isAncestorOf(QApplication::focusWidget()));
            EXPECT_EQ(m_sim->RequestCount(MSG_GET_MAC_ID), readOuts);
            EXPECT_TRUE(m_sim->SetPayloads().empty());
            EXPECT_TRUE(Dialog().m_StatusPoller.IsPolling());
        }
    }
    // A partly filled address is taken as it stands: "10" is 10.0.0.0. The loopback-only
    // switch refuses it before anything is sent, and the transport reports the refusal.
    m_messages.clear();
    ConnectTo(QStringLiteral("10"));
    EXPECT_EQ(DeviceData.m_DeviceIp, (std::array<BYTE, 4>{10, 0, 0, 0}));
    EXPECT_EQ(m_messages.count(), 1u);
    EXPECT_NE(Texts().value(0), u"Invalid Device IP Address");
}

// A's settings still fill the fields after B's read-out fails: nothing of them may reach B.
// A device without the signature is refused after its MAC is asked, before its parameters.
TEST_F(ConnectTest, FailedReadOutOfAnotherDeviceDisablesTheDeviceControls) {
    ConnectToSimulator();
    sim::CEncoderSimulator deviceB(
        testsupport::SimulatorConfigAt(testsupport::UniqueLoopbackAddress(kArea, 7)));
    ASSERT_TRUE(testsupport::Started(deviceB));
    for (const auto& [request, fault, message, icon, paramRequests] :
         {std::tuple{MSG_GET_STATUS_ID, sim::Fault::NotValidDevice(), "Not a valid Device.",
                     platform::MessageIcon::Error, 0},
          std::tuple{MSG_GET_PARAMS, sim::Fault::DeviceError(6), "Device is out of memory.",
                     platform::MessageIcon::Information, 1}}) {
        m_messages.clear();
        deviceB.ClearFaults();
        deviceB.SetFault(request, fault);
        const int params = deviceB.RequestCount(MSG_GET_PARAMS);
        const int macs = deviceB.RequestCount(MSG_GET_MAC_ID);
        ConnectTo(deviceB.Address());
        ASSERT_EQ(Texts(), QStringList{QLatin1String(message)});
        EXPECT_EQ(Icon(0), icon);
        EXPECT_EQ(deviceB.RequestCount(MSG_GET_PARAMS) - params, paramRequests);
        EXPECT_EQ(deviceB.RequestCount(MSG_GET_MAC_ID) - macs, 1);
        EXPECT_EQ(DeviceControls(), 0);
        EXPECT_FALSE(Dialog().m_StatusPoller.HasWorker());
        EXPECT_TRUE(Dialog().isEnabled());
        EXPECT_EQ(Stored(), m_address);
        EXPECT_EQ(Dialog().m_ipNewAddress->GetWindowText(), m_address);
        for (const int button : {IDC_CHANGE_PROTOCOL, IDC_SET_NEW_IP, IDC_CHANGE_MODE})
            Click(button);
        EXPECT_TRUE(deviceB.SetPayloads().empty());
    }
    deviceB.ClearFaults();
    ConnectTo(deviceB.Address());
    EXPECT_EQ(DeviceControls(), 8) << "a good read-out enables them again";
}
