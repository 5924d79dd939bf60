#include "cli/DeviceJob.h"

#include "cli/MessageCapture.h"
#include "firmware/FirmwareUpgrade.h"
#include "res/CliTexts.h"
#include "res/Texts.h"

namespace {
bool SameSettings(const EthernetSettings& written, const EthernetSettings& read) {
    return written.m_Ip == read.m_Ip && written.m_SubnetMask == read.m_SubnetMask &&
           written.m_Gateway == read.m_Gateway && written.m_nProtocol == read.m_nProtocol &&
           written.m_bModeDM7 == read.m_bModeDM7;
}

DeviceOutcome LinkFailure(QLatin1String code, CMessageCapture& capture) {
    return DeviceOutcome::Failure(ExitCode::DeviceFailure, code, capture.Take());
}
} // namespace

CDeviceJob::CDeviceJob(const std::array<BYTE, 4>& address) {
    m_record.m_DeviceIp = address;
}

QString CDeviceJob::Address() const {
    const auto& ip = m_record.m_DeviceIp;
    return QString::asprintf(res::text::AddressFormat.data(), ip[0], ip[1], ip[2], ip[3]);
}

DeviceOutcome CDeviceJob::ReadOut() {
    CMessageCapture capture;
    m_comm.DropLink(); // a read-out starts on a fresh link, as the window's Connect does
    int completed = 0;
    if (CDeviceSequences::ReadOut(m_comm, [&completed](int step) { completed = step; }))
        return {};
    const bool invalid = completed == 1 && !m_record.IsValidDevice();
    return LinkFailure(invalid ? res::cli::CodeNotValidDevice : res::cli::CodeLinkFailure, capture);
}

DeviceOutcome CDeviceJob::Poll() {
    CMessageCapture capture;
    if (!m_comm.GetStatusId())
        return LinkFailure(res::cli::CodeLinkFailure, capture);
    if (m_record.IsValidDevice())
        return {};
    m_comm.DropLink();
    return DeviceOutcome::Failure(ExitCode::DeviceFailure, res::cli::CodeNotValidDevice,
                                  {QString(res::text::NotAValidDevice)});
}

DeviceOutcome CDeviceJob::ChangeSettings(const SettingsChange& change, QLatin1String name,
                                         QLatin1String failure) {
    CMessageCapture capture;
    CDeviceSequences::PrepareChange(m_record, change);
    m_comm.DropLink();
    if (!CDeviceSequences::SendSetting(m_comm, QString(name)))
        return LinkFailure(res::cli::CodeSetFailed, capture);
    m_comm.DropLink();
    m_record.m_DeviceIp = m_record.m_Pending.m_Ip;
    if (DeviceOutcome reconnect = Reconnect(); !reconnect.Succeeded())
        return reconnect;
    if (SameSettings(m_record.m_Pending, m_record.m_Current))
        return {};
    QStringList messages = capture.Take();
    messages.append(QString(failure));
    return DeviceOutcome::Failure(ExitCode::Mismatch, res::cli::CodeReadbackMismatch, messages);
}

DeviceOutcome CDeviceJob::Upgrade(std::span<const BYTE> image, UpgradeProgress& progress) {
    CMessageCapture capture;
    m_comm.DropLink();
    m_comm.m_SerialComm.m_dwProgressCount = 0;
    switch (CFirmwareUpgrade(m_comm, progress).Run(image)) {
    case UpgradeOutcome::BootFailed:
        return LinkFailure(res::cli::CodeBootFailed, capture);
    case UpgradeOutcome::TransferFailed:
        return LinkFailure(res::cli::CodeTransferFailed, capture);
    case UpgradeOutcome::ExecFailed:
        return LinkFailure(res::cli::CodeExecFailed, capture);
    case UpgradeOutcome::Succeeded:
        break;
    }
    capture.Take(); // the success message is the outcome itself
    return Reconnect();
}

// A read-out after the device has restarted; its failure is the reconnect's.
DeviceOutcome CDeviceJob::Reconnect() {
    DeviceOutcome outcome = ReadOut();
    if (!outcome.Succeeded() && outcome.errorCode == res::cli::CodeLinkFailure)
        outcome.errorCode = QString(res::cli::CodeReconnectFailed);
    return outcome;
}
