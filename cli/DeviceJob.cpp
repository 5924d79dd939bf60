#include "cli/DeviceJob.h"

#include "cli/Interruption.h"
#include "commdll/CommStatus.h"
#include "firmware/FirmwareUpgrade.h"
#include "platform/Ipv4Address.h"
#include "res/CliTexts.h"
#include "res/Texts.h"

namespace {
// The command line's part in a settings change: the job's own link, and its read-out at the
// address the device now has.
class JobChange : public ChangeFrontEnd {
public:
    JobChange(CCommInterface& comm, DeviceDataRecord& record, bool& wrote)
        : m_comm(comm), m_record(record), m_wrote(wrote) {}
    Outcome Write(const std::function<Outcome(CCommInterface&)>& write) override {
        m_wrote = true;
        m_comm.DropLink();
        Outcome outcome = write(m_comm);
        m_comm.DropLink();
        return outcome;
    }
    Outcome Reconnect(const Ipv4Address& address) override {
        m_record.m_DeviceIp = address.octets();
        m_comm.DropLink();
        return CDeviceSequences::ReadOut(m_comm);
    }

private:
    CCommInterface& m_comm;
    DeviceDataRecord& m_record;
    bool& m_wrote;
};

// A read worth trying again: the link failed without an answer from the device.
bool IsLinkFault(const DeviceOutcome& outcome) {
    if (outcome.errorCode != QLatin1String(res::cli::CodeLinkFailure))
        return false;
    const QVariant status = outcome.details.value(QString::fromLatin1(detail::kDeviceStatus));
    if (!status.isValid())
        return true;
    return IsTransportFault(status.toUInt());
}
} // namespace

CDeviceJob::CDeviceJob(const std::array<BYTE, 4>& address, const LinkOptions& options)
    : m_retries(options.retries) {
    m_record.m_DeviceIp = address;
    m_comm.m_SerialComm.m_nRequestTimeoutMs = options.timeoutMs;
    m_comm.m_pRequestObserver = options.observer;
}

template <typename Attempt> DeviceOutcome CDeviceJob::WithRetries(const Attempt& attempt) {
    DeviceOutcome outcome = attempt();
    for (int retry = 0; retry < m_retries && IsLinkFault(outcome) && !CInterruption::Requested();
         ++retry)
        outcome = attempt();
    return outcome;
}

QString CDeviceJob::Address() const {
    return Ipv4Address(m_record.m_DeviceIp).ToString();
}

DeviceOutcome CDeviceJob::ReadOut() {
    return WithRetries([this] { return ReadOutOnce(); });
}

DeviceOutcome CDeviceJob::Poll() {
    return WithRetries([this] { return PollOnce(); });
}

DeviceOutcome CDeviceJob::ReadOutOnce() {
    m_comm.DropLink(); // a read-out starts on a fresh link, as the window's Connect does
    return DeviceOutcome::From(CDeviceSequences::ReadOut(m_comm));
}

DeviceOutcome CDeviceJob::PollOnce() {
    Outcome outcome;
    bool answered = false;
    {
        const CCommInterface::ReportScope report(m_comm, outcome);
        answered = m_comm.GetStatusId();
    }
    if (!answered) {
        outcome.cause = Cause::LinkFailure;
        return DeviceOutcome::From(outcome);
    }
    if (m_record.IsValidDevice())
        return {};
    m_comm.DropLink();
    return DeviceOutcome::From(
        Outcome::Failure(Cause::NotValidDevice, QString(res::text::NotAValidDevice)));
}

DeviceOutcome CDeviceJob::ChangeSettings(const SettingsChange& change) {
    JobChange frontEnd(m_comm, m_record, m_wrote);
    return DeviceOutcome::From(CDeviceSequences::ChangeSettings(m_record, change, frontEnd));
}

DeviceOutcome CDeviceJob::Upgrade(std::span<const BYTE> image, UpgradeProgress& progress) {
    m_comm.DropLink();
    m_comm.m_SerialComm.m_dwProgressCount = 0;
    const Outcome upgraded = CFirmwareUpgrade(m_comm, progress).Run(image);
    m_wrote = m_wrote || upgraded.cause != Cause::BootFailed;
    if (!upgraded.Succeeded())
        return DeviceOutcome::From(upgraded);
    progress.EnterPhase(UpgradePhase::Reconnect);
    return Reconnect();
}

// A read-out after the device has restarted; its failure is the reconnect's.
DeviceOutcome CDeviceJob::Reconnect() {
    DeviceOutcome outcome = ReadOut();
    if (!outcome.Succeeded() && outcome.errorCode == res::cli::CodeLinkFailure)
        outcome.errorCode = QString(res::cli::CodeReconnectFailed);
    return outcome;
}
