#include "cli/AddressRange.h"

#include "platform/Ipv4Address.h"

#include <QStringList>

namespace {
constexpr int kMinPrefix = 16;

quint32 ToNumber(const std::array<BYTE, 4>& address) {
    return Ipv4Address(address).ToNumber();
}

std::optional<std::array<BYTE, 4>> ParseQuad(const QString& text) {
    if (const auto address = Ipv4Address::Parse(text))
        return address->octets();
    return std::nullopt;
}

std::vector<std::array<BYTE, 4>> Span(quint32 first, quint32 last) {
    std::vector<std::array<BYTE, 4>> addresses;
    addresses.reserve(last - first + 1);
    for (quint64 n = first; n <= last; ++n)
        addresses.push_back(Ipv4Address::FromNumber(static_cast<quint32>(n)).octets());
    return addresses;
}
} // namespace

std::optional<std::array<BYTE, 4>> CAddressRange::ParseAddress(const QString& text) {
    auto address = ParseQuad(text);
    if (address && *address == std::array<BYTE, 4>{})
        return std::nullopt;
    return address;
}

std::optional<std::vector<std::array<BYTE, 4>>> CAddressRange::Parse(const QString& text) {
    if (const qsizetype slash = text.indexOf(QLatin1Char('/')); slash >= 0) {
        const auto base = ParseQuad(text.left(slash));
        bool ok = false;
        const int prefix = text.mid(slash + 1).toInt(&ok, 10);
        if (!base || !ok || prefix < kMinPrefix || prefix > 32)
            return std::nullopt;
        const quint32 size = quint32{1} << (32 - prefix);
        const quint32 first = ToNumber(*base) & ~(size - 1);
        return Span(first, first + (size - 1));
    }
    const QStringList ends = text.split(QLatin1Char('-'));
    if (ends.size() != 2)
        return std::nullopt;
    const auto first = ParseQuad(ends[0]);
    const auto last = ParseQuad(ends[1]);
    if (!first || !last || ToNumber(*first) > ToNumber(*last) ||
        ToNumber(*last) - ToNumber(*first) >= kMaxAddresses)
        return std::nullopt;
    return Span(ToNumber(*first), ToNumber(*last));
}
