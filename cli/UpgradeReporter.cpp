#include "cli/UpgradeReporter.h"

#include "cli/DeviceJob.h"
#include "cli/Interruption.h"
#include "cli/Output.h"
#include "cli/ProgressBar.h"
#include "res/CliTexts.h"

#include <algorithm>

CUpgradeReporter::CUpgradeReporter(const CDeviceJob& job, qint64 imageSize, CProgressBar* bar,
                                   COutput& output)
    : m_job(job), m_imageSize(std::max<qint64>(imageSize, 1)), m_bar(bar), m_output(output) {}

namespace {
QLatin1String PhaseName(UpgradePhase phase) {
    return res::cli::Phases[static_cast<std::size_t>(phase)].name;
}
} // namespace

void CUpgradeReporter::EnterPhase(UpgradePhase phase) {
    if (m_bar)
        m_bar->Phase(m_job.Address(), phase);
    if (!m_output.IsJson())
        return;
    m_output.Json({{QStringLiteral("event"), QStringLiteral("phase")},
                   {QStringLiteral("device"), m_job.Address()},
                   {QStringLiteral("phase"), QString(PhaseName(phase))}});
}

bool CUpgradeReporter::StopRequested() const {
    return CInterruption::Requested();
}

// Called after each block; the link's own count says how many image bytes went out.
void CUpgradeReporter::SetProgressPos(int /*position*/) {
    const qint64 sent = std::min<qint64>(m_job.BytesSent(), m_imageSize);
    if (m_bar)
        m_bar->Add(sent - m_reported);
    m_reported = sent;
    const int percent = static_cast<int>(sent * 100 / m_imageSize);
    if (!m_output.IsJson() || percent == m_percent)
        return;
    m_percent = percent;
    m_output.Json({{QStringLiteral("event"), QStringLiteral("progress")},
                   {QStringLiteral("device"), m_job.Address()},
                   {QStringLiteral("percent"), percent},
                   {QStringLiteral("bytes"), sent},
                   {QStringLiteral("total"), m_imageSize}});
}
