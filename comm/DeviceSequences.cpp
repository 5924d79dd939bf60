#include "comm/DeviceSequences.h"

#include "comm/AddressCheck.h"
#include "comm/AddressProbe.h"
#include "comm/CommInterface.h"
#include "comm/ProtocolNames.h"
#include "platform/Ipv4Address.h"
#include "res/Texts.h"

#include <optional>

using namespace res;

namespace {
QString MacText(const std::array<BYTE, 6>& mac) {
    return QString::asprintf(text::MacFormat.data(), mac[0], mac[1], mac[2], mac[3], mac[4],
                             mac[5]);
}

QString ModeName(bool modeDM7) {
    return QString(modeDM7 ? text::ModeNameDM7 : text::ModeNameNoDM7);
}

// The first value written that the device does not report back: its field, the value
// written and the value read, as the read-out shows them.
struct Difference {
    QLatin1String field;
    QString expected;
    QString read;
};

std::optional<Difference> FirstDifference(const EthernetSettings& written,
                                          const EthernetSettings& read) {
    const auto address = [](const std::array<BYTE, 4>& octets) {
        return Ipv4Address(octets).ToString();
    };
    const Difference all[] = {
        {QLatin1String("ip"), address(written.m_Ip), address(read.m_Ip)},
        {QLatin1String("subnet_mask"), address(written.m_SubnetMask), address(read.m_SubnetMask)},
        {QLatin1String("gateway"), address(written.m_Gateway), address(read.m_Gateway)},
        {QLatin1String("protocol"), ProtocolDisplayName(written.m_nProtocol),
         ProtocolDisplayName(read.m_nProtocol)},
        {QLatin1String("resolver_mode"), ModeName(written.m_bModeDM7), ModeName(read.m_bModeDM7)},
    };
    for (const Difference& difference : all) {
        if (difference.expected != difference.read)
            return difference;
    }
    return std::nullopt;
}

// Refuses a new address at which something answers already: the device would be left in
// an address conflict.
Outcome ProbeNewAddress(const DeviceDataRecord& data) {
    const Ipv4Address target(data.m_Pending.m_Ip);
    if (target == Ipv4Address(data.m_DeviceIp) || !CAddressProbe::Accepts(target))
        return {};
    const QByteArray address = target.ToString().toLatin1();
    Outcome outcome =
        Outcome::Failure(Cause::AddressInUse,
                         QString::asprintf(text::AddressInUseFormat.data(), address.constData()));
    outcome.details.insert(QString::fromLatin1(detail::kAddress), target.ToString());
    return outcome;
}

// The device read out after the change must be the one that was changed.
Outcome CheckSameDevice(const DeviceDataRecord& data, const std::array<BYTE, 6>& macBefore,
                        const SettingsChange& change) {
    if (data.m_Current.m_Mac == macBefore)
        return {};
    const QByteArray address = Ipv4Address(data.m_DeviceIp).ToString().toLatin1();
    const QByteArray read = MacText(data.m_Current.m_Mac).toLatin1();
    const QByteArray expected = MacText(macBefore).toLatin1();
    Outcome outcome;
    outcome.Tell(QString::asprintf(text::OtherDeviceAnswersFormat.data(), address.constData(),
                                   read.constData(), expected.constData()),
                 platform::MessageIcon::Error);
    outcome.Fail(Cause::OtherDeviceAnswers, QString(change.FailureText()));
    outcome.details.insert(QString::fromLatin1(detail::kExpected), MacText(macBefore));
    outcome.details.insert(QString::fromLatin1(detail::kRead), MacText(data.m_Current.m_Mac));
    return outcome;
}
} // namespace

QLatin1String SettingsChange::Name() const {
    if (ChangesNetwork())
        return text::SettingNewIpAddress;
    return protocol ? text::SettingProtocol : text::SettingResolverMode;
}

QLatin1String SettingsChange::SuccessText() const {
    if (ChangesNetwork())
        return text::SetNewIpSuccessful;
    return protocol ? text::ChangeProtocolSuccessful : text::ChangeModeSuccessful;
}

QLatin1String SettingsChange::FailureText() const {
    if (ChangesNetwork())
        return text::SetNewIpFailed;
    return protocol ? text::ChangeProtocolFailed : text::ChangeModeFailed;
}

Outcome CDeviceSequences::ReadOut(CCommInterface& comm, const ReadOutStep& afterStep) {
    const auto completed = [&afterStep](int step) {
        if (afterStep)
            afterStep(step);
    };
    Outcome outcome;
    const CCommInterface::ReportScope report(comm, outcome);
    const auto fail = [&](Cause why) {
        outcome.cause = why;
        return outcome;
    };
    if (!comm.GetStatusId())
        return fail(Cause::LinkFailure);
    completed(1);
    if (!comm.GetMacId())
        return fail(Cause::LinkFailure);
    if (!comm.Data().IsValidDevice()) {
        outcome.Tell(QString(text::NotAValidDevice), platform::MessageIcon::Error);
        return fail(Cause::NotValidDevice);
    }
    completed(2);
    if (!comm.GetEthernetParams())
        return fail(Cause::LinkFailure);
    completed(3);
    if (!comm.GetEadkParams())
        return fail(Cause::LinkFailure);
    completed(4);
    return outcome;
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

Outcome CDeviceSequences::ChangeSettings(DeviceDataRecord& data, const SettingsChange& change,
                                         ChangeFrontEnd& frontEnd) {
    PrepareChange(data, change);
    if (change.ChangesNetwork()) {
        if (Outcome refused = CAddressCheck::Check(data.m_Pending); !refused.Succeeded())
            return refused;
        if (Outcome inUse = ProbeNewAddress(data); !inUse.Succeeded())
            return inUse;
    }
    const std::array<BYTE, 6> macBefore = data.m_Current.m_Mac;
    // A protocol or mode change leaves the device where it was reached.
    const Ipv4Address reachedAt(change.ChangesNetwork() ? data.m_Pending.m_Ip : data.m_DeviceIp);
    const QString name(change.Name());
    Outcome outcome =
        frontEnd.Write([&name](CCommInterface& comm) { return SendSetting(comm, name); });
    if (!outcome.Succeeded()) {
        outcome.Tell(QString(change.FailureText()), platform::MessageIcon::Error);
        return outcome;
    }

    Outcome readOut = frontEnd.Reconnect(reachedAt);
    if (!readOut.Succeeded()) {
        const Cause why =
            readOut.cause == Cause::NotValidDevice ? Cause::NotValidDevice : Cause::ReconnectFailed;
        outcome.Then(std::move(readOut)).Fail(why, QString(change.FailureText()));
        return outcome;
    }
    if (Outcome other = CheckSameDevice(data, macBefore, change); !other.Succeeded())
        return outcome.Then(std::move(other));
    if (const auto difference = FirstDifference(data.m_Pending, data.m_Current)) {
        outcome.Fail(Cause::ReadbackMismatch, QString(change.FailureText()));
        outcome.details.insert(QString::fromLatin1(detail::kField), QString(difference->field));
        outcome.details.insert(QString::fromLatin1(detail::kExpected), difference->expected);
        outcome.details.insert(QString::fromLatin1(detail::kRead), difference->read);
        return outcome;
    }
    outcome.Tell(QString(change.SuccessText()), platform::MessageIcon::Information);
    return outcome;
}

Outcome CDeviceSequences::SendSetting(CCommInterface& comm, const QString& name) {
    DeviceDataRecord& data = comm.Data();
    data.m_Pending.m_Options = data.m_Current.m_Options;
    Outcome outcome;
    const CCommInterface::ReportScope report(comm, outcome);
    if (!comm.SetNewIp()) {
        const QByteArray setting = name.toLatin1();
        outcome.Fail(Cause::SetRefused,
                     QString::asprintf(text::UnableToSetFormat.data(), setting.constData()));
    } else if (!comm.RestartDevice()) {
        outcome.Fail(Cause::SettingsNotApplied, QString(text::SettingsNotApplied));
    }
    return outcome;
}
