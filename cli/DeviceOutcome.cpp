#include "cli/DeviceOutcome.h"

#include "res/CliTexts.h"

using namespace res;

namespace {
struct CauseCode {
    Cause cause;
    ExitCode exit;
    QLatin1String code;
};

// Scripts read these exit codes and error codes: a cause keeps its pair.
constexpr CauseCode kCauseCodes[] = {
    {Cause::LinkFailure, ExitCode::DeviceFailure, cli::CodeLinkFailure},
    {Cause::NotValidDevice, ExitCode::DeviceFailure, cli::CodeNotValidDevice},
    {Cause::InvalidAddress, ExitCode::Usage, cli::CodeInvalidAddress},
    {Cause::AddressInUse, ExitCode::DeviceFailure, cli::CodeAddressInUse},
    {Cause::SetRefused, ExitCode::DeviceFailure, cli::CodeSetFailed},
    {Cause::SettingsNotApplied, ExitCode::DeviceFailure, cli::CodeSettingsNotApplied},
    {Cause::ReconnectFailed, ExitCode::DeviceFailure, cli::CodeReconnectFailed},
    {Cause::ReadbackMismatch, ExitCode::Mismatch, cli::CodeReadbackMismatch},
    {Cause::OtherDeviceAnswers, ExitCode::Mismatch, cli::CodeReadbackMismatch},
    {Cause::FileUnopenable, ExitCode::FileRefused, cli::CodeFileRefused},
    {Cause::FileRefused, ExitCode::FileRefused, cli::CodeFileRefused},
    {Cause::BootFailed, ExitCode::DeviceFailure, cli::CodeBootFailed},
    {Cause::TransferFailed, ExitCode::DeviceFailure, cli::CodeTransferFailed},
    {Cause::ExecFailed, ExitCode::DeviceFailure, cli::CodeExecFailed},
    {Cause::Interrupted, ExitCode::Interrupted, cli::CodeInterrupted},
};

// A firmware file's name, line and reason read best as one line, as compilers name a place
// in a file: "FILE line N: reason", "FILE: reason", or the name alone.
QString FileDetailLine(const QVariantMap& details) {
    const QString file = details.value(QString::fromLatin1(detail::kFile)).toString();
    const QVariant line = details.value(QString::fromLatin1(detail::kLine));
    const QVariant reason = details.value(QString::fromLatin1(detail::kReason));
    if (!reason.isValid())
        return file;
    if (!line.isValid())
        return QString(cli::FileReasonFormat).arg(file, reason.toString());
    return QString(cli::FileLineReasonFormat).arg(file, line.toString(), reason.toString());
}

bool IsFileDetail(const QString& key) {
    return key == QLatin1String(detail::kFile) || key == QLatin1String(detail::kLine) ||
           key == QLatin1String(detail::kReason);
}
} // namespace

DeviceOutcome DeviceOutcome::From(const Outcome& outcome) {
    if (outcome.Succeeded())
        return {};
    for (const CauseCode& entry : kCauseCodes) {
        if (entry.cause == outcome.cause)
            return {entry.exit, QString(entry.code), outcome.Texts(), outcome.details};
    }
    return {ExitCode::DeviceFailure, QString(cli::CodeLinkFailure), outcome.Texts(),
            outcome.details};
}

DeviceOutcome DeviceOutcome::Interrupted() {
    return Failure(ExitCode::Interrupted, cli::CodeInterrupted,
                   {QString(cli::InterruptedBeforeStep)});
}

QStringList DeviceOutcome::DetailLines() const {
    QStringList lines;
    const bool aboutFile = details.contains(QString::fromLatin1(detail::kFile));
    if (aboutFile)
        lines << FileDetailLine(details);
    for (auto it = details.cbegin(); it != details.cend(); ++it) {
        if (!aboutFile || !IsFileDetail(it.key()))
            lines << QString(cli::DetailLineFormat).arg(it.key(), it.value().toString());
    }
    return lines;
}
