#include "sim/FaultSpec.h"

#include <QStringList>

namespace sim {

namespace {

std::optional<int> ParseNumber(const QString& text, int maximum) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 0);
    if (!ok || value < 0 || value > maximum)
        return std::nullopt;
    return value;
}

std::optional<Fault> FaultOfKind(const QString& kind, std::optional<int> value) {
    const bool hasValue = value.has_value();
    if (kind == QLatin1String("slow") && hasValue)
        return Fault::SlowReply(*value);
    if (kind == QLatin1String("error") && hasValue && *value > 0 && *value <= 0xFF)
        return Fault::DeviceError(static_cast<BYTE>(*value));
    if (hasValue)
        return std::nullopt;
    if (kind == QLatin1String("noreply"))
        return Fault::NoReply();
    if (kind == QLatin1String("badchecksum"))
        return Fault::BadChecksum();
    if (kind == QLatin1String("wrongcode"))
        return Fault::WrongCode();
    if (kind == QLatin1String("wrongsequence"))
        return Fault::WrongSequence();
    if (kind == QLatin1String("shortreply"))
        return Fault::ShortReply();
    if (kind == QLatin1String("notvalid"))
        return Fault::NotValidDevice();
    if (kind == QLatin1String("drop"))
        return Fault::DropConnection();
    if (kind == QLatin1String("failfirst"))
        return Fault::FailFirstAttempt();
    return std::nullopt;
}

} // namespace

std::optional<FaultSpec> FaultSpec::Parse(const QString& text, QString* error) {
    const auto fail = [&](const QString& why) -> std::optional<FaultSpec> {
        if (error != nullptr)
            *error = QStringLiteral("Bad fault '%1': %2. Expected %3.").arg(text, why, Syntax());
        return std::nullopt;
    };
    const int colon = text.indexOf(QLatin1Char(':'));
    if (colon <= 0)
        return fail(QStringLiteral("no message code"));
    const auto code = ParseNumber(text.left(colon), 0xFF);
    if (!code)
        return fail(QStringLiteral("message code must be 0 to 255"));

    QStringList parts = text.mid(colon + 1).split(QLatin1Char(','));
    bool once = false;
    if (parts.size() == 2 && parts[1].trimmed() == QLatin1String("once"))
        once = true;
    else if (parts.size() != 1)
        return fail(QStringLiteral("only ',once' may follow the kind"));

    const QStringList kindAndValue = parts[0].split(QLatin1Char('='));
    if (kindAndValue.size() > 2)
        return fail(QStringLiteral("more than one '='"));
    std::optional<int> value;
    if (kindAndValue.size() == 2) {
        value = ParseNumber(kindAndValue[1], 600000);
        if (!value)
            return fail(QStringLiteral("value must be a number"));
    }
    auto fault = FaultOfKind(kindAndValue[0].trimmed().toLower(), value);
    if (!fault)
        return fail(QStringLiteral("unknown kind or wrong value"));
    if (fault->kind != FaultKind::FailFirstAttempt)
        fault->persistent = !once;
    return FaultSpec{static_cast<BYTE>(*code), *fault};
}

QString FaultSpec::Syntax() {
    return QStringLiteral("CODE:KIND[=VALUE][,once] with KIND one of noreply, slow=MS, "
                          "badchecksum, wrongcode, wrongsequence, shortreply, error=STATUS, "
                          "notvalid, drop, failfirst");
}

} // namespace sim
