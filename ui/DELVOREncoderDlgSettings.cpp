// Settings changes: a new IP address, another protocol, the other resolver mode. Each writes
// the whole Ethernet-parameter block, restarts the device and reads it again.
#include "DELVOREncoderDlg.h"

#include "comm/DeviceData.h"
#include "comm/DeviceSequences.h"
#include "platform/IpAddressCtrl.h"
#include "platform/MessageBox.h"
#include "res/Texts.h"
#include "ui/QxProgressDlg.h"

#include <QComboBox>

using namespace res;

namespace {
void ShowOutcome(bool success, QLatin1String successText, QLatin1String failureText) {
    if (success)
        platform::ShowAppMessage(QString(successText), platform::MessageIcon::Information);
    else
        platform::ShowAppMessage(QString(failureText), platform::MessageIcon::Error);
}
} // namespace

void CDELVOREncoderDlg::SetNewIpAddress() {
    EthernetSettings& pending = DeviceData.m_Pending;
    if (!ValidateIpAddress(m_ipNewAddress, QString(text::InvalidNewIp), pending.m_Ip) ||
        !ValidateIpAddress(m_ipSubnetMask, QString(text::InvalidSubnetMask),
                           pending.m_SubnetMask) ||
        !ValidateIpAddress(m_ipGateway, QString(text::InvalidGateway), pending.m_Gateway))
        return;
    CDeviceSequences::PrepareChange(
        DeviceData, SettingsChange::Network(pending.m_Ip, pending.m_SubnetMask, pending.m_Gateway));
    const bool applied = ApplyDeviceSetting(QString(text::SettingNewIpAddress));
    ShowOutcome(applied, text::SetNewIpSuccessful, text::SetNewIpFailed);
}

void CDELVOREncoderDlg::ChangeProtocol() {
    const int selected = m_comboProtocol->GetCurSel();
    CDeviceSequences::PrepareChange(
        DeviceData, SettingsChange::Protocol(m_comboProtocol->GetItemData(selected).toInt()));
    const bool applied = ApplyDeviceSetting(QString(text::SettingProtocol));
    ShowOutcome(applied && DeviceData.m_Pending.m_nProtocol == DeviceData.m_Current.m_nProtocol,
                text::ChangeProtocolSuccessful, text::ChangeProtocolFailed);
}

void CDELVOREncoderDlg::ChangeMode() {
    CDeviceSequences::PrepareChange(DeviceData,
                                    SettingsChange::Mode(!DeviceData.m_Current.m_bModeDM7));
    const bool applied = ApplyDeviceSetting(QString(text::SettingResolverMode));
    ShowOutcome(applied && DeviceData.m_Pending.m_bModeDM7 == DeviceData.m_Current.m_bModeDM7,
                text::ChangeModeSuccessful, text::ChangeModeFailed);
}

// Writes the pending settings, points the target field at the address just written and
// reconnects at once; the reconnect reports its own failures and does not change the result.
bool CDELVOREncoderDlg::ApplyDeviceSetting(const QString& name) {
    if (!SendDeviceSetting(name))
        return false;
    const auto& ip = DeviceData.m_Pending.m_Ip;
    m_ipTargetDevice->SetWindowText(
        QString::asprintf(text::AddressFormat.data(), ip[0], ip[1], ip[2], ip[3]));
    Connect();
    return true;
}

bool CDELVOREncoderDlg::SendDeviceSetting(const QString& name) {
    CQxProgressDlg progress(
        this, QString::asprintf(text::SettingProgressFormat.data(), qPrintable(name)));
    progress.StartStepThread();
    progress.UpdateWindow();
    m_StatusPoller.Stop();
    DropMainLink();
    bool written = false;
    {
        CCommInterface comm;
        written = CDeviceSequences::SendSetting(comm, name);
    } // the local link closes before the progress window
    return written;
}
