// Connect and device read-out, and the displays that show what was read.
#include "DELVOREncoderDlg.h"

#include "comm/DeviceData.h"
#include "comm/DeviceSequences.h"
#include "comm/ProtocolNames.h"
#include "platform/GuiThread.h"
#include "platform/IpAddressCtrl.h"
#include "platform/Ipv4Address.h"
#include "platform/MessageBox.h"
#include "platform/RegistrySettings.h"
#include "res/Texts.h"
#include "ui/ExtParamsChildDlg.h"
#include "ui/QxProgressDlg.h"

#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace res;

namespace {
QString DottedAddress(const std::array<BYTE, 4>& ip) {
    return Ipv4Address(ip).ToString();
}

QString RevisionText(const DeviceDataRecord& data, int firstByte) {
    return QString::asprintf(text::RevisionFormat.data(), data.m_Status[firstByte],
                             data.m_Status[firstByte + 1]);
}
} // namespace

bool CDELVOREncoderDlg::ValidateIpAddress(CIPAddressCtrl* control, const QString& message,
                                          std::array<BYTE, 4>& destination) {
    std::array<BYTE, 4> fields{};
    control->GetAddress(fields[0], fields[1], fields[2], fields[3]);
    if (fields == std::array<BYTE, 4>{}) {
        platform::ShowAppMessage(message, platform::MessageIcon::Error);
        control->SetFocus();
        return false;
    }
    destination = fields;
    return true;
}

void CDELVOREncoderDlg::Connect() {
    ShowOutcome(ConnectToTarget());
}

// A refused target address has been told (and focused) when this returns.
Outcome CDELVOREncoderDlg::ConnectToTarget() {
    std::array<BYTE, 4> target{};
    if (!ValidateIpAddress(m_ipTargetDevice, QString(text::InvalidDeviceIp), target))
        return Outcome{Cause::InvalidAddress, {}, {}};
    m_StatusPoller.Stop();
    // The poller's worker reads the device address when it opens its link: the address
    // changes only once the worker has ended.
    DeviceData.m_DeviceIp = target;
    DropMainLink();
    CCommInterface comm;
    CQxProgressDlg progress(this, QString(text::ProgressGettingStatusId), false);
    Outcome outcome = ReadOutDevice(progress, comm);
    // After a failed read-out the fields may still show another device's settings, and a
    // settings change would write them to this one: nothing is sent until a read-out succeeds.
    if (!outcome.Succeeded())
        EnableDeviceControls(false);
    return outcome;
    // Leaving the scope closes the progress window first, then the local link.
}

// The four requests of a read-out under the progress window; on success the address is
// remembered, the controls are enabled, every field is filled and polling starts.
Outcome CDELVOREncoderDlg::ReadOutDevice(CQxProgressDlg& progress, CCommInterface& comm) {
    progress.PrepareStepBar(0, 4, 1);
    const auto afterStep = [&progress](int completed) {
        progress.StepProgress();
        if (completed == 1)
            progress.SetCaptionText(QString(text::ProgressGettingMacId));
        else if (completed == 2)
            progress.SetCaptionText(QString(text::ProgressGettingEthernetParams));
    };
    Outcome outcome = CDeviceSequences::ReadOut(comm, afterStep);
    if (!outcome.Succeeded())
        return outcome;
    StoreTargetAddress();
    EnableDeviceControls(true);
    ShowDeviceInfo();
    m_StatusPoller.Start(this);
    return outcome;
}

// The stored address is written when it is not the one this window stored last: each write
// locks, rewrites and syncs the stored settings, which costs more than the whole read-out.
void CDELVOREncoderDlg::StoreTargetAddress() {
    const QString address = m_ipTargetDevice->GetWindowText();
    if (address == m_storedTargetAddress)
        return;
    if (WriteRegistryString(QString(text::DeviceIpValueName), address))
        m_storedTargetAddress = address;
}

void CDELVOREncoderDlg::ShowDeviceInfo() {
    const EthernetSettings& current = DeviceData.m_Current;
    m_ipNewAddress->SetWindowText(DottedAddress(current.m_Ip));
    m_ipSubnetMask->SetWindowText(DottedAddress(current.m_SubnetMask));
    m_ipGateway->SetWindowText(DottedAddress(current.m_Gateway));
    const auto& mac = current.m_Mac;
    m_editMacId->setText(
        QString::asprintf(text::MacFormat.data(), mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]));
    m_editHardwareRev->setText(
        QString::asprintf(text::NumberFormat.data(), DeviceData.m_Status[STATUS_HARDWARE_REV]));
    m_editBootRev->setText(RevisionText(DeviceData, STATUS_BOOT_REV));
    m_editExecRev->setText(RevisionText(DeviceData, STATUS_EXEC_REV));
    ShowResolverPosition();
    if (m_pRSLogixPanel)
        m_pRSLogixPanel->FillConnectionParameters(current);
    m_editCurrentProtocol->setText(ProtocolDisplayName(current.m_nProtocol));
    FillProtocolChoices();
    ShowProtocolPanels();
    ShowResolverMode();
}

// Every protocol but the current one, sorted by name, the first one selected.
void CDELVOREncoderDlg::FillProtocolChoices() {
    m_comboProtocol->ResetContent();
    for (const int code : {PROTOCOL_ETHERNET_IP, PROTOCOL_MODBUS_TCP, PROTOCOL_DELVOR}) {
        if (code != DeviceData.m_Current.m_nProtocol)
            m_comboProtocol->AddString(QString(g_ProtocolNames[code]), code);
    }
    m_comboProtocol->SetCurSel(0);
}

void CDELVOREncoderDlg::ShowProtocolPanels() {
    const auto setVisible = [](QWidget* widget, bool visible) {
        if (widget)
            widget->setVisible(visible);
    };
    const int protocol = DeviceData.m_Current.m_nProtocol;
    setVisible(m_pRSLogixPanel, protocol == PROTOCOL_ETHERNET_IP);
    setVisible(m_pModbusPanel, protocol == PROTOCOL_MODBUS_TCP);
    setVisible(m_staticTrademark, protocol == PROTOCOL_ETHERNET_IP);
    setVisible(m_groupExtraParameters,
               protocol == PROTOCOL_ETHERNET_IP || protocol == PROTOCOL_MODBUS_TCP);
}

void CDELVOREncoderDlg::ShowResolverMode() {
    const bool dm7 = DeviceData.m_Current.m_bModeDM7;
    m_staticCurrentMode->setText(QString(dm7 ? text::CurrentModeDM7 : text::CurrentModeNoDM7));
    m_btnChangeMode->setText(QString(dm7 ? text::ChangeModeToNoDM7 : text::ChangeModeToDM7));
}

// Also runs on the poller's worker: the texts are made here, the widgets are written on
// the GUI thread without the worker waiting for it (the poller's Stop shows what is still
// queued). An unchanged position is not written again: its field would be laid out and
// painted anew for nothing.
void CDELVOREncoderDlg::ShowResolverPosition() {
    const QString position =
        QString::asprintf(text::PositionFormat.data(), DeviceData.ResolverPosition());
    const QDateTime now = m_localTime();
    const QString lastUpdated = QString::asprintf(
        text::LastUpdatedFormat.data(), now.time().hour(), now.time().minute(), now.time().second(),
        now.date().month(), now.date().day(), now.date().year());
    platform::PostToGuiThread(this, [this, position, lastUpdated] {
        if (!m_editResolverPosition)
            return; // the dialog is going
        if (m_editResolverPosition->text() != position)
            m_editResolverPosition->setText(position);
        if (m_staticLastUpdated)
            m_staticLastUpdated->setText(lastUpdated);
    });
}

void CDELVOREncoderDlg::ShowPollFailure(const Outcome& failure) {
    if (failure.messages.empty())
        return; // a silent failure
    // Judged and shown on the GUI thread, where the window closes; the worker waits meanwhile.
    platform::RunOnGuiThread([this, &failure] {
        if (!IsClosing())
            ShowOutcome(failure);
    });
}
