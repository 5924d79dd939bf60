#include "cli/DeviceCommands.h"

#include "cli/AddressRange.h"
#include "cli/DeviceFields.h"
#include "cli/DeviceJob.h"
#include "cli/ProgressBar.h"
#include "cli/UpgradeReporter.h"
#include "firmware/SRecordReader.h"
#include "res/CliTexts.h"
#include "res/Texts.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QJsonObject>
#include <QThread>

#include <climits>
#include <cstdio>
#include <optional>

using namespace res;

namespace {
constexpr int kDefaultIntervalMs = 1000;
constexpr int kMaxIntervalMs = 24 * 60 * 60 * 1000;

ExitCode UsageError(const QString& message) {
    std::fprintf(stderr, "%s\n", qPrintable(message));
    return ExitCode::Usage;
}

// The device address argument, or a usage error.
std::optional<std::array<BYTE, 4>> DeviceAddress(const QString& text) {
    auto address = CAddressRange::ParseAddress(text);
    if (!address)
        UsageError(QString(cli::BadAddressFormat).arg(text));
    return address;
}

// Prints the device's fields, or its error (with the fields read back when a comparison
// failed), and gives the exit code.
ExitCode Finish(const CommandContext& context, const QString& command, const CDeviceJob& job,
                const DeviceOutcome& outcome, const std::vector<DeviceField>& fields) {
    COutput& output = context.output;
    const bool showFields = outcome.Succeeded() || outcome.exit == ExitCode::Mismatch;
    if (!outcome.Succeeded())
        output.Error(job.Address(), outcome);
    if (!output.IsJson()) {
        if (showFields)
            output.Record(fields);
        return outcome.exit;
    }
    QJsonObject document{{QStringLiteral("command"), command},
                         {QStringLiteral("ok"), outcome.Succeeded()}};
    if (showFields)
        document.insert(QStringLiteral("device"), CDeviceFields::ToJson(fields));
    if (!outcome.Succeeded())
        document.insert(QStringLiteral("error"), COutput::ErrorObject(job.Address(), outcome));
    output.Json(document);
    return outcome.exit;
}

ExitCode Change(const CommandContext& context, const QString& command, CDeviceJob& job,
                const SettingsChange& change) {
    DeviceOutcome outcome = job.ReadOut();
    // A device that holds the value already is not restarted for nothing.
    if (outcome.Succeeded() && change.DiffersFrom(job.Record().m_Current))
        outcome = job.ChangeSettings(change);
    return Finish(context, command, job, outcome,
                  CDeviceFields::ReadOut(job.Address(), job.Record()));
}

// Local time with its offset from UTC ("Z" where local time is UTC): a log read on another
// machine or after a change of daylight saving time still says when.
QString TimeStamp() {
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QJsonObject WatchEvent(const CDeviceJob& job, const QString& time) {
    return {{QStringLiteral("event"), QStringLiteral("position")},
            {QStringLiteral("device"), job.Address()},
            {QStringLiteral("time"), time},
            {QStringLiteral("position"), static_cast<qint64>(job.Record().ResolverPosition())}};
}
} // namespace

ExitCode CDeviceCommands::Info(const CommandContext& context) {
    const auto address = DeviceAddress(context.arguments[0]);
    if (!address)
        return ExitCode::Usage;
    CDeviceJob job(*address);
    const DeviceOutcome outcome = job.ReadOut();
    return Finish(context, QStringLiteral("info"), job, outcome,
                  CDeviceFields::ReadOut(job.Address(), job.Record()));
}

QList<QCommandLineOption> CDeviceCommands::WatchOptions() {
    return {{QStringLiteral("interval"), QString(cli::IntervalHelp), QStringLiteral("MS")},
            {QStringLiteral("count"), QString(cli::CountHelp), QStringLiteral("N")}};
}

// The Connect read-out (its failure ends the watch), then one status request per interval
// on the same link, as the window's poller does. A failed poll is told and the next one
// tries again; a device that no longer reports itself valid ends the watch.
ExitCode CDeviceCommands::Watch(const CommandContext& context) {
    const auto address = DeviceAddress(context.arguments[0]);
    const auto interval =
        context.Number(QStringLiteral("interval"), 1, kMaxIntervalMs, kDefaultIntervalMs);
    const auto count = context.Number(QStringLiteral("count"), 1, INT_MAX, 0);
    if (!address || !interval || !count)
        return ExitCode::Usage;
    CDeviceJob job(*address);
    COutput& output = context.output;
    const auto reportError = [&](const DeviceOutcome& failure) {
        output.Error(job.Address(), failure);
        if (output.IsJson())
            output.Json({{QStringLiteral("event"), QStringLiteral("error")},
                         {QStringLiteral("error"), COutput::ErrorObject(job.Address(), failure)}});
    };
    DeviceOutcome outcome = job.ReadOut();
    ExitCode exit = ExitCode::Success;
    for (int poll = 1;; ++poll) {
        if (!outcome.Succeeded()) {
            reportError(outcome);
            exit = ExitCode::DeviceFailure;
            if (poll == 1 || outcome.errorCode == cli::CodeNotValidDevice)
                return exit;
        } else if (output.IsJson()) {
            output.Json(WatchEvent(job, TimeStamp()));
        } else {
            output.Line(QString(cli::WatchLineFormat)
                            .arg(TimeStamp())
                            .arg(job.Record().ResolverPosition()));
        }
        // A reader that has gone away has seen enough: no further poll.
        if (poll == *count || output.StdoutError() != 0)
            return exit;
        QThread::msleep(static_cast<unsigned long>(*interval));
        outcome = job.Poll();
    }
}

QList<QCommandLineOption> CDeviceCommands::SetIpOptions() {
    return {{QStringLiteral("mask"), QString(cli::MaskHelp), QStringLiteral("M")},
            {QStringLiteral("gateway"), QString(cli::GatewayHelp), QStringLiteral("G")}};
}

ExitCode CDeviceCommands::SetIp(const CommandContext& context) {
    const auto address = DeviceAddress(context.arguments[0]);
    SettingsChange change;
    change.ip = DeviceAddress(context.arguments[1]);
    bool valid = address && change.ip;
    for (const auto& [name, target] : {std::pair{QStringLiteral("mask"), &change.subnetMask},
                                       std::pair{QStringLiteral("gateway"), &change.gateway}}) {
        if (valid && context.parser.isSet(name))
            valid = (*target = DeviceAddress(context.parser.value(name))).has_value();
    }
    if (!valid)
        return ExitCode::Usage;
    CDeviceJob job(*address);
    return Change(context, QStringLiteral("set-ip"), job, change);
}

ExitCode CDeviceCommands::SetProtocol(const CommandContext& context) {
    const auto address = DeviceAddress(context.arguments[0]);
    const auto protocol = CDeviceFields::ProtocolFromName(context.arguments[1]);
    if (!protocol)
        UsageError(QString(cli::BadProtocolFormat).arg(context.arguments[1]));
    if (!address || !protocol)
        return ExitCode::Usage;
    CDeviceJob job(*address);
    return Change(context, QStringLiteral("set-protocol"), job,
                  SettingsChange::Protocol(*protocol));
}

ExitCode CDeviceCommands::SetMode(const CommandContext& context) {
    const auto address = DeviceAddress(context.arguments[0]);
    const auto mode = CDeviceFields::ModeFromName(context.arguments[1]);
    if (!mode)
        UsageError(QString(cli::BadModeFormat).arg(context.arguments[1]));
    if (!address || !mode)
        return ExitCode::Usage;
    CDeviceJob job(*address);
    return Change(context, QStringLiteral("set-mode"), job, SettingsChange::Mode(*mode));
}

// The file is read first: a refused file never reaches the device.
ExitCode CDeviceCommands::Upgrade(const CommandContext& context) {
    const auto address = DeviceAddress(context.arguments[0]);
    if (!address)
        return ExitCode::Usage;
    CDeviceJob job(*address);
    const QString command = QStringLiteral("upgrade");
    std::optional<std::vector<BYTE>> image;
    {
        Outcome read;
        CSRecordReader reader{};
        int length = 0;
        image = LoadFirmwareImage(reader, context.arguments[1], length, read);
        if (!image)
            return Finish(context, command, job, DeviceOutcome::From(read), {});
    }
    DeviceOutcome outcome;
    {
        CProgressBar bar(static_cast<qint64>(image->size()), CProgressBar::StderrIsTerminal());
        CUpgradeReporter reporter(job, static_cast<qint64>(image->size()), &bar, context.output);
        outcome = job.Upgrade(*image, reporter);
    }
    std::vector<DeviceField> fields = CDeviceFields::ReadOut(job.Address(), job.Record());
    std::erase_if(fields, [](const DeviceField& field) {
        return field.key != QLatin1String("address") && field.key != QLatin1String("exec_revision");
    });
    fields.push_back({QStringLiteral("image_bytes"), QString(cli::LabelImageBytes),
                      static_cast<qint64>(image->size()), QString::number(image->size())});
    return Finish(context, command, job, outcome, fields);
}
