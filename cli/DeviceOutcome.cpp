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
};
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

QStringList DeviceOutcome::DetailLines() const {
    QStringList lines;
    for (auto it = details.cbegin(); it != details.cend(); ++it)
        lines << QString(cli::DetailLineFormat).arg(it.key(), it.value().toString());
    return lines;
}
