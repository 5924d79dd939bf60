#include "comm/DeviceSequences.h"

#include "comm/CommInterface.h"
#include "platform/MessageBox.h"
#include "res/Texts.h"

bool CDeviceSequences::ReadOut(CCommInterface& comm, const ReadOutStep& afterStep) {
    const auto completed = [&afterStep](int step) {
        if (afterStep)
            afterStep(step);
    };
    if (!comm.GetStatusId())
        return false;
    completed(1);
    if (!comm.GetMacId())
        return false;
    if (!comm.Data().IsValidDevice()) {
        platform::ShowAppMessage(QString(res::text::NotAValidDevice), platform::MessageIcon::Error);
        return false;
    }
    completed(2);
    if (!comm.GetEthernetParams())
        return false;
    completed(3);
    if (!comm.GetEadkParams())
        return false;
    completed(4);
    return true;
}

void CDeviceSequences::PrepareChange(DeviceDataRecord& data, const SettingsChange& change) {
    const EthernetSettings& current = data.m_Current;
    EthernetSettings& pending = data.m_Pending;
    pending.m_Ip = change.ip.value_or(current.m_Ip);
    pending.m_SubnetMask = change.subnetMask.value_or(current.m_SubnetMask);
    pending.m_Gateway = change.gateway.value_or(current.m_Gateway);
    pending.m_nProtocol = change.protocol.value_or(current.m_nProtocol);
    pending.m_bModeDM7 = change.modeDM7.value_or(current.m_bModeDM7);
}

bool CDeviceSequences::SendSetting(CCommInterface& comm, const QString& name) {
    DeviceDataRecord& data = comm.Data();
    data.m_Pending.m_Options = data.m_Current.m_Options;
    if (comm.SetNewIpAndRestart())
        return true;
    platform::ShowAppMessage(
        QString::asprintf(res::text::UnableToSetFormat.data(), qPrintable(name)),
        platform::MessageIcon::Error);
    return false;
}
