// Settings changes: a new IP address, another protocol, the other resolver mode. Each writes
// the whole Ethernet-parameter block, restarts the device and reads it again.
#include "DELVOREncoderDlg.h"

#include "comm/AddressCheck.h"
#include "comm/DeviceData.h"
#include "platform/IpAddressCtrl.h"
#include "platform/Ipv4Address.h"
#include "res/Texts.h"
#include "ui/QxProgressDlg.h"

#include <QComboBox>

using namespace res;

namespace {
// The window's part in a settings change: the "Setting ..." progress window while the device
// is written, then Connect at the address the device now has.
class WindowChange : public ChangeFrontEnd {
public:
    WindowChange(CDELVOREncoderDlg& dialog, QString name)
        : m_dialog(dialog), m_name(std::move(name)) {}
    Outcome Write(const std::function<Outcome(CCommInterface&)>& write) override {
        return m_dialog.SendDeviceSetting(m_name, write);
    }
    Outcome Reconnect(const Ipv4Address& address) override {
        m_dialog.m_ipTargetDevice->SetWindowText(address.ToString());
        return m_dialog.ConnectToTarget();
    }

private:
    CDELVOREncoderDlg& m_dialog;
    QString m_name;
};
} // namespace

void CDELVOREncoderDlg::SetNewIpAddress() {
    std::array<BYTE, 4> ip{};
    std::array<BYTE, 4> mask{};
    std::array<BYTE, 4> gateway{};
    if (!ValidateIpAddress(m_ipNewAddress, QString(text::InvalidNewIp), ip) ||
        !ValidateIpAddress(m_ipSubnetMask, QString(text::InvalidSubnetMask), mask) ||
        !ValidateIpAddress(m_ipGateway, QString(text::InvalidGateway), gateway))
        return;
    ApplyDeviceSetting(SettingsChange::Network(ip, mask, gateway));
}

void CDELVOREncoderDlg::ChangeProtocol() {
    const int selected = m_comboProtocol->GetCurSel();
    ApplyDeviceSetting(SettingsChange::Protocol(m_comboProtocol->GetItemData(selected).toInt()));
}

void CDELVOREncoderDlg::ChangeMode() {
    ApplyDeviceSetting(SettingsChange::Mode(!DeviceData.m_Current.m_bModeDM7));
}

// Runs the shared change and shows its outcome. A refused address puts the focus on its
// field; when another device answers after the change, nothing more is sent to it.
void CDELVOREncoderDlg::ApplyDeviceSetting(const SettingsChange& change) {
    WindowChange frontEnd(*this, QString(change.Name()));
    const Outcome outcome = CDeviceSequences::ChangeSettings(DeviceData, change, frontEnd);
    if (outcome.cause == Cause::OtherDeviceAnswers) {
        m_StatusPoller.Stop();
        DropMainLink();
        EnableDeviceControls(false);
    }
    ShowOutcome(outcome);
    if (CIPAddressCtrl* field = FieldAtFault(outcome))
        field->SetFocus();
}

// The address field a refused change is about, or none.
CIPAddressCtrl* CDELVOREncoderDlg::FieldAtFault(const Outcome& outcome) const {
    if (outcome.cause == Cause::AddressInUse)
        return m_ipNewAddress;
    if (outcome.cause != Cause::InvalidAddress)
        return nullptr;
    const QString field = outcome.details.value(QString::fromLatin1(detail::kField)).toString();
    if (field == QLatin1String(CAddressCheck::kFieldMask))
        return m_ipSubnetMask;
    if (field == QLatin1String(CAddressCheck::kFieldGateway))
        return m_ipGateway;
    return m_ipNewAddress;
}

Outcome CDELVOREncoderDlg::SendDeviceSetting(const QString& name,
                                             const std::function<Outcome(CCommInterface&)>& write) {
    const QByteArray setting = name.toLatin1();
    CQxProgressDlg progress(
        this, QString::asprintf(text::SettingProgressFormat.data(), setting.constData()));
    progress.StartStepThread();
    progress.UpdateWindow();
    m_StatusPoller.Stop();
    DropMainLink();
    CCommInterface comm;
    return write(comm);
    // The local link closes before the progress window.
}
