#include "cli/FleetCommands.h"

#include "cli/AddressRange.h"
#include "cli/BatchPlan.h"
#include "cli/BatchRunner.h"
#include "cli/DeviceFields.h"
#include "cli/ParallelRunner.h"
#include "cli/ProgressBar.h"
#include "cli/RunLog.h"
#include "cli/Scanner.h"
#include "res/CliTexts.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <optional>

using namespace res;

namespace {

QCommandLineOption JobsOption(int fallback) {
    return {QStringLiteral("jobs"), QString(cli::JobsHelp).arg(fallback), QStringLiteral("N")};
}

QStringList Headings(const std::vector<DeviceField>& fields) {
    QStringList headings;
    for (const DeviceField& field : fields)
        headings << field.label;
    return headings;
}

QStringList Cells(const std::vector<DeviceField>& fields) {
    QStringList cells;
    for (const DeviceField& field : fields)
        cells << field.text;
    return cells;
}

QString Steps(const QStringList& steps) {
    return steps.isEmpty() ? QString(cli::NoStep) : steps.join(QLatin1Char(' '));
}

QString ResultWord(const BatchResult& result) {
    if (result.outcome.Succeeded())
        return QString(cli::ResultOk);
    if (result.outcome.exit != ExitCode::Interrupted)
        return QString(cli::ResultFailed);
    return QString(result.started ? cli::ResultInterrupted : cli::ResultNotStarted);
}

QJsonObject BatchDevice(const BatchResult& result) {
    QJsonObject device{{QStringLiteral("device"), result.device},
                       {QStringLiteral("address"), result.address},
                       {QStringLiteral("ok"), result.outcome.Succeeded()},
                       {QStringLiteral("started"), result.started},
                       {QStringLiteral("steps"), QJsonArray::fromStringList(result.steps)},
                       {QStringLiteral("not_done"), QJsonArray::fromStringList(result.notDone)}};
    if (!result.outcome.Succeeded())
        device.insert(QStringLiteral("error"), COutput::ErrorObject(result.device, result.outcome));
    return device;
}

ExitCode DryRun(const CommandContext& context, const CBatchPlan& plan) {
    QJsonArray devices;
    std::vector<QStringList> rows;
    for (const PlanRow& row : plan.Rows()) {
        const QStringList steps = CBatchRunner::PlannedSteps(row);
        devices.append(QJsonObject{{QStringLiteral("device"), row.device},
                                   {QStringLiteral("steps"), QJsonArray::fromStringList(steps)}});
        rows.push_back({row.device, QString(cli::ResultChecked), Steps(steps)});
    }
    if (context.output.IsJson())
        context.output.Json({{QStringLiteral("command"), QStringLiteral("batch")},
                             {QStringLiteral("dry_run"), true},
                             {QStringLiteral("ok"), true},
                             {QStringLiteral("devices"), devices}});
    else
        context.output.Table(
            {QString(cli::LabelAddress), QString(cli::HeadingResult), QString(cli::HeadingSteps)},
            rows);
    return ExitCode::Success;
}

QString ScanStateKeyword(ScanState state) {
    switch (state) {
    case ScanState::Encoder:
        return QString(cli::ScanStateEncoder);
    case ScanState::NotValidDevice:
        return QString(cli::ScanStateNotValidDevice);
    case ScanState::NoReply:
        break;
    }
    return QString(cli::ScanStateNoReply);
}

// An encoder shows its read-out; anything else only its address and state, since what it
// sent (if anything) is no encoder's record.
std::vector<DeviceField> ScanFields(const ScanResult& result) {
    const QString state = ScanStateKeyword(result.state);
    std::vector<DeviceField> fields = CDeviceFields::Scan(result.address, result.record);
    fields.insert(fields.begin() + 1,
                  DeviceField{QStringLiteral("state"), QString(cli::LabelState), state, state});
    if (!result.IsEncoder())
        fields.resize(2);
    return fields;
}

void ScanDocument(const CommandContext& context, const std::vector<ScanResult>& found,
                  qint64 scanned) {
    QJsonArray devices;
    for (const ScanResult& result : found)
        devices.append(CDeviceFields::ToJson(ScanFields(result)));
    context.output.Document({{QStringLiteral("command"), QStringLiteral("scan")},
                             {QStringLiteral("range"), context.arguments[0]},
                             {QStringLiteral("scanned"), scanned},
                             {QStringLiteral("ok"), true},
                             {QStringLiteral("devices"), devices}});
}

// Cells a non-encoder lacks read "-", so every row has as many columns as the heading for
// scripts that split rows on white space. The summary goes to standard error to keep
// standard output the table alone.
void ScanTable(const CommandContext& context, const std::vector<ScanResult>& found,
               qint64 scanned) {
    const QStringList headings = Headings(ScanFields({QString(), ScanState::Encoder, {}}));
    std::vector<QStringList> rows;
    for (const ScanResult& result : found) {
        QStringList cells = Cells(ScanFields(result));
        while (cells.size() < headings.size())
            cells << QString(cli::NotRead);
        rows.push_back(cells);
    }
    context.output.Table(headings, rows);
    if (context.quiet)
        return;
    const auto encoders = std::count_if(
        found.begin(), found.end(), [](const ScanResult& result) { return result.IsEncoder(); });
    const auto others = static_cast<qint64>(found.size()) - encoders;
    std::fprintf(
        stderr, "%s\n",
        qPrintable(QString(cli::ScanSummaryFormat).arg(encoders).arg(scanned).arg(others)));
}
} // namespace

QList<QCommandLineOption> CFleetCommands::ScanOptions() {
    return {JobsOption(kDefaultScanJobs)};
}

ExitCode CFleetCommands::Scan(const CommandContext& context) {
    const auto addresses = CAddressRange::Parse(context.arguments[0]);
    if (!addresses)
        std::fprintf(stderr, "%s\n",
                     qPrintable(QString(cli::BadRangeFormat).arg(context.arguments[0])));
    const auto jobs =
        context.Number(QStringLiteral("jobs"), 1, CParallelRunner::kMaxJobs, kDefaultScanJobs);
    if (!addresses || !jobs)
        return ExitCode::Usage;
    const int timeout =
        context.link.timeoutMs > 0 ? context.link.timeoutMs : kDefaultConnectTimeoutMs;
    qint64 scanned = 0;
    const std::vector<ScanResult> found =
        CScanner::Run(*addresses, *jobs, timeout, context.link, scanned);
    if (context.log) {
        for (const ScanResult& result : found)
            context.log->Record(QStringLiteral("scan"), result.address, {}, {},
                                CDeviceFields::ToJson(ScanFields(result)));
    }
    if (context.output.IsJson())
        ScanDocument(context, found, scanned);
    else
        ScanTable(context, found, scanned);
    return ExitCode::Success;
}

QList<QCommandLineOption> CFleetCommands::BatchOptions() {
    return {JobsOption(kDefaultBatchJobs), {QStringLiteral("dry-run"), QString(cli::DryRunHelp)}};
}

ExitCode CFleetCommands::Batch(const CommandContext& context) {
    const auto jobs =
        context.Number(QStringLiteral("jobs"), 1, CParallelRunner::kMaxJobs, kDefaultBatchJobs);
    if (!jobs)
        return ExitCode::Usage;
    CBatchPlan::Problem problem;
    const std::optional<CBatchPlan> plan = CBatchPlan::Read(context.arguments[0], problem);
    if (!plan) {
        std::fprintf(stderr, "%s\n", qPrintable(problem.message));
        if (context.output.IsJson())
            context.output.Json({{QStringLiteral("command"), QStringLiteral("batch")},
                                 {QStringLiteral("ok"), false},
                                 {QStringLiteral("error"),
                                  COutput::ErrorObject(context.arguments[0],
                                                       QString(problem.exit == ExitCode::FileRefused
                                                                   ? cli::CodeFileRefused
                                                                   : cli::CodeUsage),
                                                       problem.messages)}});
        return problem.exit;
    }
    if (context.parser.isSet(QStringLiteral("dry-run")))
        return DryRun(context, *plan);

    std::vector<BatchResult> results;
    {
        CProgressBar bar(plan->FirmwareBytes(), static_cast<int>(plan->Rows().size()),
                         context.ShowsProgress());
        context.output.SetProgress(&bar);
        results = CBatchRunner(*plan, context.output, &bar, context.link, context.log).Run(*jobs);
        context.output.SetProgress(nullptr);
    }
    bool allSucceeded = true;
    QJsonArray devices;
    std::vector<QStringList> rows;
    for (const BatchResult& result : results) {
        allSucceeded = allSucceeded && result.outcome.Succeeded();
        devices.append(BatchDevice(result));
        rows.push_back({result.device, ResultWord(result), Steps(result.steps),
                        Steps(result.notDone), result.address, result.outcome.errorCode});
    }
    if (context.output.IsJson())
        context.output.Document({{QStringLiteral("command"), QStringLiteral("batch")},
                                 {QStringLiteral("ok"), allSucceeded},
                                 {QStringLiteral("devices"), devices}});
    else
        context.output.Table({QString(cli::LabelAddress), QString(cli::HeadingResult),
                              QString(cli::HeadingSteps), QString(cli::HeadingNotDone),
                              QString(cli::LabelIp), QString(cli::HeadingError)},
                             rows);
    return allSucceeded ? ExitCode::Success : ExitCode::DeviceFailure;
}
