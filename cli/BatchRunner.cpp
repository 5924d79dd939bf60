#include "cli/BatchRunner.h"

#include "cli/DeviceJob.h"
#include "cli/Output.h"
#include "cli/ParallelRunner.h"
#include "cli/UpgradeReporter.h"
#include "res/Texts.h"

#include <QJsonObject>

using namespace res;

namespace {
const QString kFirmware = QStringLiteral("firmware");
const QString kProtocol = QStringLiteral("protocol");
const QString kMode = QStringLiteral("mode");
const QString kAddress = QStringLiteral("address");

} // namespace

CBatchRunner::CBatchRunner(const CBatchPlan& plan, COutput& output, CProgressBar* bar)
    : m_plan(plan), m_output(output), m_bar(bar) {}

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
    CDeviceJob job(row.address);
    BatchResult result{row.device, row.device, {}, job.ReadOut()};
    const auto step = [&](const QString& name, bool wanted, const auto& run) {
        if (!result.outcome.Succeeded() || !wanted)
            return;
        result.outcome = run();
        result.address = job.Address();
        if (result.outcome.Succeeded())
            result.steps << name;
        Event(result, name, result.outcome.Succeeded());
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
    if (!result.outcome.Succeeded())
        m_output.Error(row.device, result.outcome);
    return result;
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
