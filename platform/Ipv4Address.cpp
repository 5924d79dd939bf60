#include "platform/Ipv4Address.h"

#include "res/Texts.h"

#include <QStringList>

std::optional<Ipv4Address> Ipv4Address::Parse(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return std::nullopt;
    Octets octets{};
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
    return Ipv4Address(octets);
}

QString Ipv4Address::ToString() const {
    return QString::asprintf(res::text::AddressFormat.data(), m_octets[0], m_octets[1], m_octets[2],
                             m_octets[3]);
}
