#include "cli/AddressRange.h"

#include <QStringList>

namespace {
constexpr int kMinPrefix = 16;

quint32 ToNumber(const std::array<BYTE, 4>& address) {
    return (quint32{address[0]} << 24) | (quint32{address[1]} << 16) | (quint32{address[2]} << 8) |
           address[3];
}

std::array<BYTE, 4> FromNumber(quint32 number) {
    return {static_cast<BYTE>(number >> 24), static_cast<BYTE>(number >> 16),
            static_cast<BYTE>(number >> 8), static_cast<BYTE>(number)};
}

std::optional<std::array<BYTE, 4>> ParseQuad(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return std::nullopt;
    std::array<BYTE, 4> octets{};
    for (int i = 0; i < 4; ++i) {
        const QString& part = parts[i];
        bool ok = part.size() >= 1 && part.size() <= 3;
        for (const QChar c : part)
            ok = ok && c.isDigit() && c.unicode() < 128;
        const int value = ok ? part.toInt(&ok, 10) : -1;
        if (!ok || value < 0 || value > 255)
            return std::nullopt;
        octets[static_cast<std::size_t>(i)] = static_cast<BYTE>(value);
    }
    return octets;
}

std::vector<std::array<BYTE, 4>> Span(quint32 first, quint32 last) {
    std::vector<std::array<BYTE, 4>> addresses;
    addresses.reserve(last - first + 1);
    for (quint64 n = first; n <= last; ++n)
        addresses.push_back(FromNumber(static_cast<quint32>(n)));
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
