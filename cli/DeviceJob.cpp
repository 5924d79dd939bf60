#include "cli/DeviceJob.h"

#include "firmware/FirmwareUpgrade.h"
#include "platform/Ipv4Address.h"
#include "res/CliTexts.h"
#include "res/Texts.h"

namespace {
// The command line's part in a settings change: the job's own link, and its read-out at the
// address the device now has.
class JobChange : public ChangeFrontEnd {
public:
    JobChange(CCommInterface& comm, DeviceDataRecord& record) : m_comm(comm), m_record(record) {}
    Outcome Write(const std::function<Outcome(CCommInterface&)>& write) override {
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
};
} // namespace

CDeviceJob::CDeviceJob(const std::array<BYTE, 4>& address) {
    m_record.m_DeviceIp = address;
}

QString CDeviceJob::Address() const {
    return Ipv4Address(m_record.m_DeviceIp).ToString();
}

DeviceOutcome CDeviceJob::ReadOut() {
    m_comm.DropLink(); // a read-out starts on a fresh link, as the window's Connect does
    return DeviceOutcome::From(CDeviceSequences::ReadOut(m_comm));
}

DeviceOutcome CDeviceJob::Poll() {
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
    JobChange frontEnd(m_comm, m_record);
    return DeviceOutcome::From(CDeviceSequences::ChangeSettings(m_record, change, frontEnd));
}

DeviceOutcome CDeviceJob::Upgrade(std::span<const BYTE> image, UpgradeProgress& progress) {
    m_comm.DropLink();
    m_comm.m_SerialComm.m_dwProgressCount = 0;
    const Outcome upgraded = CFirmwareUpgrade(m_comm, progress).Run(image);
    if (!upgraded.Succeeded())
        return DeviceOutcome::From(upgraded);
    return Reconnect();
}

// A read-out after the device has restarted; its failure is the reconnect's.
DeviceOutcome CDeviceJob::Reconnect() {
    DeviceOutcome outcome = ReadOut();
    if (!outcome.Succeeded() && outcome.errorCode == res::cli::CodeLinkFailure)
        outcome.errorCode = QString(res::cli::CodeReconnectFailed);
    return outcome;
}
