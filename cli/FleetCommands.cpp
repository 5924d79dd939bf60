#include "cli/FleetCommands.h"

#include "cli/AddressRange.h"
#include "cli/BatchPlan.h"
#include "cli/BatchRunner.h"
#include "cli/DeviceFields.h"
#include "cli/ParallelRunner.h"
#include "cli/ProgressBar.h"
#include "cli/Scanner.h"
#include "res/CliTexts.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cstdio>
#include <optional>

using namespace res;

namespace {
constexpr int kMaxTimeoutMs = 60000;

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

QJsonObject BatchDevice(const BatchResult& result) {
    QJsonObject device{{QStringLiteral("device"), result.device},
                       {QStringLiteral("address"), result.address},
                       {QStringLiteral("ok"), result.outcome.Succeeded()},
                       {QStringLiteral("steps"), QJsonArray::fromStringList(result.steps)}};
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
        rows.push_back({row.device, QString(cli::ResultChecked),
                        steps.isEmpty() ? QString(cli::NoStep) : steps.join(QLatin1Char(' '))});
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
} // namespace

QList<QCommandLineOption> CFleetCommands::ScanOptions() {
    return {JobsOption(kDefaultScanJobs),
            {QStringLiteral("timeout"), QString(cli::TimeoutHelp), QStringLiteral("MS")}};
}

ExitCode CFleetCommands::Scan(const CommandContext& context) {
    const auto addresses = CAddressRange::Parse(context.arguments[0]);
    if (!addresses)
        std::fprintf(stderr, "%s\n",
                     qPrintable(QString(cli::BadRangeFormat).arg(context.arguments[0])));
    const auto jobs =
        context.Number(QStringLiteral("jobs"), 1, CParallelRunner::kMaxJobs, kDefaultScanJobs);
    const auto timeout =
        context.Number(QStringLiteral("timeout"), 1, kMaxTimeoutMs, kDefaultConnectTimeoutMs);
    if (!addresses || !jobs || !timeout)
        return ExitCode::Usage;
    const std::vector<ScanResult> found = CScanner::Run(*addresses, *jobs, *timeout);
    if (context.output.IsJson()) {
        QJsonArray devices;
        for (const ScanResult& result : found)
            devices.append(
                CDeviceFields::ToJson(CDeviceFields::Scan(result.address, result.record)));
        context.output.Json({{QStringLiteral("command"), QStringLiteral("scan")},
                             {QStringLiteral("range"), context.arguments[0]},
                             {QStringLiteral("scanned"), static_cast<qint64>(addresses->size())},
                             {QStringLiteral("ok"), true},
                             {QStringLiteral("devices"), devices}});
        return ExitCode::Success;
    }
    std::vector<QStringList> rows;
    for (const ScanResult& result : found)
        rows.push_back(Cells(CDeviceFields::Scan(result.address, result.record)));
    context.output.Table(Headings(CDeviceFields::Scan({}, DeviceDataRecord{})), rows);
    context.output.Line(QString(cli::ScanSummaryFormat).arg(found.size()).arg(addresses->size()));
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
                                                       {problem.message})}});
        return problem.exit;
    }
    if (context.parser.isSet(QStringLiteral("dry-run")))
        return DryRun(context, *plan);

    std::vector<BatchResult> results;
    {
        CProgressBar bar(plan->FirmwareBytes(),
                         plan->FirmwareBytes() > 0 && CProgressBar::StderrIsTerminal());
        results = CBatchRunner(*plan, context.output, &bar).Run(*jobs);
    }
    bool allSucceeded = true;
    QJsonArray devices;
    std::vector<QStringList> rows;
    for (const BatchResult& result : results) {
        allSucceeded = allSucceeded && result.outcome.Succeeded();
        devices.append(BatchDevice(result));
        rows.push_back(
            {result.device, QString(result.outcome.Succeeded() ? cli::ResultOk : cli::ResultFailed),
             result.steps.isEmpty() ? QString(cli::NoStep) : result.steps.join(QLatin1Char(' ')),
             result.address, result.outcome.Succeeded() ? QString() : result.outcome.errorCode});
    }
    if (context.output.IsJson())
        context.output.Json({{QStringLiteral("command"), QStringLiteral("batch")},
                             {QStringLiteral("ok"), allSucceeded},
                             {QStringLiteral("devices"), devices}});
    else
        context.output.Table({QString(cli::LabelAddress), QString(cli::HeadingResult),
                              QString(cli::HeadingSteps), QString(cli::LabelIp),
                              QString(cli::HeadingError)},
                             rows);
    return allSucceeded ? ExitCode::Success : ExitCode::DeviceFailure;
}
