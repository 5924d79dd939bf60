#include "cli/DeviceCommands.h"

#include "cli/AddressRange.h"
#include "cli/DeviceFields.h"
#include "cli/DeviceJob.h"
#include "cli/Interruption.h"
#include "cli/ProgressBar.h"
#include "cli/RunLog.h"
#include "cli/UpgradeReporter.h"
#include "firmware/SRecordReader.h"
#include "res/CliTexts.h"
#include "res/Texts.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QJsonObject>

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

// What a command asked of one device, for its report and the log.
struct Asked {
    QString command;
    QJsonObject values;         // what was asked ({} for a read)
    bool reportsChange = false; // a set or upgrade says whether it wrote
};

// Prints the device's fields, or its error (with the fields read back when a comparison
// failed), logs the device, and gives the exit code. A set or upgrade also says whether
// anything was written to the device.
ExitCode Finish(const CommandContext& context, const Asked& asked, const CDeviceJob& job,
                const DeviceOutcome& outcome, std::vector<DeviceField> fields) {
    COutput& output = context.output;
    const bool showFields = outcome.Succeeded() || outcome.exit == ExitCode::Mismatch;
    if (!outcome.Succeeded())
        output.Error(job.Address(), outcome);
    if (context.log)
        context.log->Record(asked.command, job.Address(), asked.values, outcome,
                            showFields ? CDeviceFields::ToJson(fields) : QJsonObject());
    if (!output.IsJson()) {
        if (asked.reportsChange && !fields.empty())
            fields.insert(fields.begin() + 1, CDeviceFields::Changed(job.Wrote()));
        if (showFields)
            output.Record(fields);
        return outcome.exit;
    }
    QJsonObject document{{QStringLiteral("command"), asked.command},
                         {QStringLiteral("ok"), outcome.Succeeded()}};
    if (asked.reportsChange)
        document.insert(QStringLiteral("changed"), job.Wrote());
    if (showFields)
        document.insert(QStringLiteral("device"), CDeviceFields::ToJson(fields));
    if (!outcome.Succeeded())
        document.insert(QStringLiteral("error"), COutput::ErrorObject(job.Address(), outcome));
    output.Document(document);
    return outcome.exit;
}

// A device that holds the value already is not restarted for nothing; a stop asked for
// during the read-out keeps the change from starting.
ExitCode Change(const CommandContext& context, const QString& command, CDeviceJob& job,
                const SettingsChange& change, const QJsonObject& values) {
    DeviceOutcome outcome = job.ReadOut();
    if (outcome.Succeeded() && CInterruption::Requested())
        outcome = DeviceOutcome::Interrupted();
    else if (outcome.Succeeded() && change.DiffersFrom(job.Record().m_Current))
        outcome = job.ChangeSettings(change);
    return Finish(context, {command, values, true}, job, outcome,
                  CDeviceFields::ReadOut(job.Address(), job.Record()));
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
    CDeviceJob job(*address, context.link);
    const DeviceOutcome outcome = job.ReadOut();
    return Finish(context, {QStringLiteral("info"), {}, false}, job, outcome,
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
    CDeviceJob job(*address, context.link);
    COutput& output = context.output;
    const auto reportError = [&](const DeviceOutcome& failure) {
        output.Error(job.Address(), failure);
        if (output.IsJson())
            output.Json({{QStringLiteral("event"), QStringLiteral("error")},
                         {QStringLiteral("error"), COutput::ErrorObject(job.Address(), failure)}});
    };
    DeviceOutcome outcome = job.ReadOut();
    if (context.log) // the device as the watch found it; the polls are on standard output
        context.log->Record(QStringLiteral("watch"), job.Address(), {}, outcome,
                            outcome.Succeeded() ? CDeviceFields::ToJson(CDeviceFields::ReadOut(
                                                      job.Address(), job.Record()))
                                                : QJsonObject());
    ExitCode exit = ExitCode::Success;
    for (int poll = 1;; ++poll) {
        if (!outcome.Succeeded()) {
            reportError(outcome);
            exit = ExitCode::DeviceFailure;
            if (poll == 1 || outcome.errorCode == cli::CodeNotValidDevice)
                return exit;
        } else if (output.IsJson()) {
            output.Json(WatchEvent(job, COutput::TimeStamp()));
        } else {
            output.Line(QString(cli::WatchLineFormat)
                            .arg(COutput::TimeStamp())
                            .arg(job.Record().ResolverPosition()));
        }
        // A reader that has gone away, or a user who stopped it, has seen enough.
        if (poll == *count || output.StdoutError() != 0 || !CInterruption::Sleep(*interval))
            return exit;
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
    QJsonObject values{{QStringLiteral("ip"), context.arguments[1]}};
    for (const QString& name : {QStringLiteral("mask"), QStringLiteral("gateway")}) {
        if (context.parser.isSet(name))
            values.insert(name, context.parser.value(name));
    }
    CDeviceJob job(*address, context.link);
    return Change(context, QStringLiteral("set-ip"), job, change, values);
}

ExitCode CDeviceCommands::SetProtocol(const CommandContext& context) {
    const auto address = DeviceAddress(context.arguments[0]);
    const auto protocol = CDeviceFields::ProtocolFromName(context.arguments[1]);
    if (!protocol)
        UsageError(QString(cli::BadProtocolFormat).arg(context.arguments[1]));
    if (!address || !protocol)
        return ExitCode::Usage;
    CDeviceJob job(*address, context.link);
    return Change(context, QStringLiteral("set-protocol"), job, SettingsChange::Protocol(*protocol),
                  {{QStringLiteral("protocol"), context.arguments[1]}});
}

ExitCode CDeviceCommands::SetMode(const CommandContext& context) {
    const auto address = DeviceAddress(context.arguments[0]);
    const auto mode = CDeviceFields::ModeFromName(context.arguments[1]);
    if (!mode)
        UsageError(QString(cli::BadModeFormat).arg(context.arguments[1]));
    if (!address || !mode)
        return ExitCode::Usage;
    CDeviceJob job(*address, context.link);
    return Change(context, QStringLiteral("set-mode"), job, SettingsChange::Mode(*mode),
                  {{QStringLiteral("resolver_mode"), context.arguments[1]}});
}

// The file is read first: a refused file never reaches the device.
ExitCode CDeviceCommands::Upgrade(const CommandContext& context) {
    const auto address = DeviceAddress(context.arguments[0]);
    if (!address)
        return ExitCode::Usage;
    CDeviceJob job(*address, context.link);
    const Asked asked{
        QStringLiteral("upgrade"), {{QStringLiteral("firmware"), context.arguments[1]}}, true};
    std::optional<std::vector<BYTE>> image;
    {
        Outcome read;
        CSRecordReader reader{};
        int length = 0;
        image = LoadFirmwareImage(reader, context.arguments[1], length, read);
        if (!image)
            return Finish(context, asked, job, DeviceOutcome::From(read), {});
    }
    DeviceOutcome outcome = DeviceOutcome::Interrupted();
    if (!CInterruption::Requested()) {
        CProgressBar bar(static_cast<qint64>(image->size()), 1, context.ShowsProgress());
        context.output.SetProgress(&bar);
        CUpgradeReporter reporter(job, static_cast<qint64>(image->size()), &bar, context.output);
        outcome = job.Upgrade(*image, reporter);
        context.output.SetProgress(nullptr);
        bar.Finish(outcome.Succeeded() ? QString() : outcome.errorCode);
    }
    std::vector<DeviceField> fields = CDeviceFields::ReadOut(job.Address(), job.Record());
    std::erase_if(fields, [](const DeviceField& field) {
        return field.key != QLatin1String("address") && field.key != QLatin1String("exec_revision");
    });
    fields.push_back({QStringLiteral("image_bytes"), QString(cli::LabelImageBytes),
                      static_cast<qint64>(image->size()), QString::number(image->size())});
    return Finish(context, asked, job, outcome, fields);
}
