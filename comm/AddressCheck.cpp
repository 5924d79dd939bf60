#include "comm/AddressCheck.h"

#include "platform/Ipv4Address.h"
#include "res/Texts.h"

#include <bit>

using namespace res;

namespace {
// Subnets of two or one addresses have no network or broadcast address of their own.
constexpr int kLongestPrefixWithBroadcast = 30;

int PrefixLength(Ipv4Address mask) {
    return std::popcount(mask.ToNumber());
}

Outcome Refuse(const char* field, QLatin1String text, const QString& reason) {
    Outcome outcome = Outcome::Failure(Cause::InvalidAddress, QString(text));
    outcome.details.insert(QString::fromLatin1(detail::kField), QString::fromLatin1(field));
    outcome.details.insert(QString::fromLatin1(detail::kReason), reason);
    return outcome;
}

// The reason `address` cannot stand in the subnet of `ip`/`mask`, or an empty text.
QString ReservedInSubnet(Ipv4Address address, Ipv4Address ip, Ipv4Address mask) {
    const int prefix = PrefixLength(mask);
    if (prefix > kLongestPrefixWithBroadcast)
        return {};
    const QByteArray network = ip.NetworkAddress(mask).ToString().toLatin1();
    const QByteArray text = address.ToString().toLatin1();
    if (address == ip.NetworkAddress(mask))
        return QString::asprintf(text::ReasonNetworkAddressFormat.data(), text.constData(),
                                 network.constData(), prefix);
    if (address == ip.BroadcastAddress(mask))
        return QString::asprintf(text::ReasonBroadcastAddressFormat.data(), text.constData(),
                                 network.constData(), prefix);
    return {};
}

QString UnusableHostAddress(Ipv4Address address) {
    if (address.IsZero())
        return QString(text::ReasonAddressZero);
    if (address.octets()[0] == 0)
        return QString(text::ReasonThisNetwork);
    if (address.IsMulticastOrReserved())
        return QString(text::ReasonMulticastOrReserved);
    return {};
}
} // namespace

Outcome CAddressCheck::Check(const EthernetSettings& settings) {
    const Ipv4Address ip(settings.m_Ip);
    const Ipv4Address mask(settings.m_SubnetMask);
    const Ipv4Address gateway(settings.m_Gateway);
    if (const QString reason = UnusableHostAddress(ip); !reason.isEmpty())
        return Refuse(kFieldIp, text::InvalidNewIp, reason);
    if (mask.IsZero() || !mask.IsContiguousMask())
        return Refuse(kFieldMask, text::InvalidSubnetMask, QString(text::ReasonMaskNotContiguous));
    if (const QString reason = ReservedInSubnet(ip, ip, mask); !reason.isEmpty())
        return Refuse(kFieldIp, text::InvalidNewIp, reason);
    if (const QString reason = UnusableHostAddress(gateway); !reason.isEmpty())
        return Refuse(kFieldGateway, text::InvalidGateway, reason);
    if (!gateway.SameSubnet(ip, mask)) {
        const QByteArray text = gateway.ToString().toLatin1();
        const QByteArray network = ip.NetworkAddress(mask).ToString().toLatin1();
        return Refuse(kFieldGateway, text::InvalidGateway,
                      QString::asprintf(text::ReasonGatewayOutsideFormat.data(), text.constData(),
                                        network.constData(), PrefixLength(mask)));
    }
    if (const QString reason = ReservedInSubnet(gateway, ip, mask); !reason.isEmpty())
        return Refuse(kFieldGateway, text::InvalidGateway, reason);
    return {};
}
