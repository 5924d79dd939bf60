#include "cli/BatchRunner.h"

#include "cli/DeviceFields.h"
#include "cli/DeviceJob.h"
#include "cli/Interruption.h"
#include "cli/Output.h"
#include "cli/ParallelRunner.h"
#include "cli/ProgressBar.h"
#include "cli/RunLog.h"
#include "cli/UpgradeReporter.h"
#include "res/CliTexts.h"
#include "res/Texts.h"

#include <QJsonArray>
#include <QJsonObject>

using namespace res;

namespace {
const QString kFirmware = QStringLiteral("firmware");
const QString kProtocol = QStringLiteral("protocol");
const QString kMode = QStringLiteral("mode");
const QString kAddress = QStringLiteral("address");

// A row's request as the log records it: the steps it asks for and their values.
QJsonObject AskedOf(const PlanRow& row, const QStringList& steps) {
    QJsonObject asked{{QStringLiteral("steps"), QJsonArray::fromStringList(steps)}};
    if (!row.firmware.isEmpty())
        asked.insert(kFirmware, row.firmware);
    if (row.protocol)
        asked.insert(kProtocol, CDeviceFields::ProtocolKeyword(*row.protocol));
    if (row.modeDM7)
        asked.insert(QStringLiteral("resolver_mode"), CDeviceFields::ModeKeyword(*row.modeDM7));
    for (const auto& [key, value] :
         {std::pair{"ip", &row.network.ip}, std::pair{"subnet_mask", &row.network.subnetMask},
          std::pair{"gateway", &row.network.gateway}}) {
        if (*value)
            asked.insert(QLatin1String(key), CDeviceFields::DottedAddress(**value));
    }
    return asked;
}
} // namespace

CBatchRunner::CBatchRunner(const CBatchPlan& plan, COutput& output, CProgressBar* bar,
                           const LinkOptions& link, CRunLog* log)
    : m_plan(plan), m_output(output), m_bar(bar), m_link(link), m_log(log) {}

std::vector<BatchResult> CBatchRunner::Run(int jobs) {
    const auto& rows = m_plan.Rows();
    std::vector<BatchResult> results(rows.size());
    CParallelRunner::Run(static_cast<int>(rows.size()), jobs, [&](int index) {
        const auto i = static_cast<std::size_t>(index);
        results[i] = RunRow(rows[i]);
    });
    return results;
}

QStringList CBatchRunner::PlannedSteps(const PlanRow& row) {
    QStringList steps;
    if (!row.firmware.isEmpty())
        steps << kFirmware;
    if (row.protocol)
        steps << kProtocol;
    if (row.modeDM7)
        steps << kMode;
    if (row.network.ChangesNetwork())
        steps << kAddress;
    return steps;
}

BatchResult CBatchRunner::RunRow(const PlanRow& row) {
    if (CInterruption::Requested())
        return {row.device, row.device, {}, PlannedSteps(row), DeviceOutcome::Interrupted(), false};
    CDeviceJob job(row.address, m_link);
    BatchResult result{row.device, row.device, {}, {}, job.ReadOut()};
    const auto step = [&](const QString& name, bool wanted, const auto& run) {
        if (!wanted)
            return;
        if (result.outcome.Succeeded() && CInterruption::Requested())
            result.outcome = DeviceOutcome::Interrupted();
        if (result.outcome.Succeeded()) {
            result.outcome = run();
            result.address = job.Address();
            Event(result, name, result.outcome.Succeeded());
        }
        (result.outcome.Succeeded() ? result.steps : result.notDone) << name;
    };
    const EthernetSettings& current = job.Record().m_Current;
    step(kFirmware, !row.firmware.isEmpty(), [&] {
        const std::vector<BYTE>& image = m_plan.Image(row.firmware);
        CUpgradeReporter reporter(job, static_cast<qint64>(image.size()), m_bar, m_output);
        return job.Upgrade(image, reporter);
    });
    const auto change = [&](const QString& name, const std::optional<SettingsChange>& wanted) {
        step(name, wanted && wanted->DiffersFrom(current),
             [&] { return job.ChangeSettings(*wanted); });
    };
    change(kProtocol,
           row.protocol ? std::optional(SettingsChange::Protocol(*row.protocol)) : std::nullopt);
    change(kMode, row.modeDM7 ? std::optional(SettingsChange::Mode(*row.modeDM7)) : std::nullopt);
    change(kAddress, row.network);
    Done(row, result, job);
    return result;
}

// The device's error lines, its line above the progress bar, and its record in the log.
void CBatchRunner::Done(const PlanRow& row, const BatchResult& result, const CDeviceJob& job) {
    if (!result.outcome.Succeeded())
        m_output.Error(row.device, result.outcome);
    if (m_bar)
        m_bar->DeviceDone(
            row.device,
            QString(cli::BatchDeviceLineFormat)
                .arg(row.device,
                     result.outcome.Succeeded() ? QString(cli::ResultOk) : result.outcome.errorCode,
                     result.steps.join(QLatin1Char(' '))));
    if (m_log)
        m_log->Record(
            QStringLiteral("batch"), row.device, AskedOf(row, PlannedSteps(row)), result.outcome,
            job.Record().IsValidDevice()
                ? CDeviceFields::ToJson(CDeviceFields::ReadOut(job.Address(), job.Record()))
                : QJsonObject());
}

void CBatchRunner::Event(const BatchResult& result, const QString& step, bool ok) {
    if (!m_output.IsJson())
        return;
    m_output.Json({{QStringLiteral("event"), QStringLiteral("step")},
                   {QStringLiteral("device"), result.device},
                   {QStringLiteral("step"), step},
                   {QStringLiteral("ok"), ok},
                   {QStringLiteral("address"), result.address}});
}
