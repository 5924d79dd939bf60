#include "cli/ProgressBar.h"

#include "res/CliTexts.h"

#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <unistd.h>

using namespace res;

namespace {
constexpr int kBarWidth = 24;
constexpr auto kRedraw = std::chrono::milliseconds(250);

QString Bytes(double bytes) {
    if (bytes < 1024.0 * 1024.0)
        return QStringLiteral("%1 KiB").arg(bytes / 1024.0, 0, 'f', 1);
    return QStringLiteral("%1 MiB").arg(bytes / (1024.0 * 1024.0), 0, 'f', 1);
}

QString Duration(qint64 seconds) {
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QLatin1String PhaseWord(UpgradePhase phase) {
    return cli::Phases[static_cast<std::size_t>(phase)].word;
}

void WriteStderr(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}
} // namespace

CProgressBar::CProgressBar(qint64 totalBytes, int devices, bool enabled)
    : m_total(std::max<qint64>(totalBytes, 0)), m_devices(std::max(devices, 1)),
      m_enabled(enabled) {
    m_clock.start();
    if (m_enabled)
        m_ticker = std::thread([this] { Tick(); });
}

CProgressBar::~CProgressBar() {
    Finish(QString());
    if (m_ticker.joinable())
        m_ticker.join();
}

bool CProgressBar::StderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

void CProgressBar::Phase(const QString& device, UpgradePhase phase) {
    std::lock_guard lock(m_mutex);
    m_phases[device] = {phase, m_clock.elapsed()};
    if (phase == UpgradePhase::Transfer && m_transferStartMs < 0)
        m_transferStartMs = m_clock.elapsed();
    Draw();
}

void CProgressBar::Add(qint64 bytes) {
    std::lock_guard lock(m_mutex);
    m_done = std::clamp<qint64>(m_done + bytes, 0, m_total);
    if (m_done == m_total)
        m_allSentMs = m_clock.elapsed();
}

void CProgressBar::DeviceDone(const QString& device, const QString& line) {
    std::lock_guard lock(m_mutex);
    m_phases.erase(device);
    ++m_devicesDone;
    if (!m_enabled || m_finished)
        return;
    Clear();
    WriteStderr(line + QLatin1Char('\n'));
    Draw();
}

void CProgressBar::Finish(const QString& reason) {
    {
        std::lock_guard lock(m_mutex);
        if (m_finished)
            return;
        if (m_enabled && m_drawn) {
            Clear();
            // A finished upgrade of one device ends with its transfer's figures.
            const bool transferred = m_devices == 1 && reason.isEmpty() && m_allSentMs >= 0;
            const QString line =
                transferred ? Render(m_done, m_total, m_allSentMs - m_transferStartMs) : Line();
            WriteStderr(line +
                        (reason.isEmpty() || line.isEmpty() ? QString() : QStringLiteral("  ")) +
                        reason + QLatin1Char('\n'));
        }
        m_finished = true;
    }
    m_stopTicking.notify_all();
}

void CProgressBar::Around(const std::function<void()>& write) {
    std::lock_guard lock(m_mutex);
    const bool shown = m_enabled && m_drawn && !m_finished;
    if (shown)
        Clear();
    write();
    if (shown)
        Draw();
}

// Called with the lock held.
QString CProgressBar::Line() const {
    const qint64 now = m_clock.elapsed();
    if (m_devices == 1 && !m_phases.empty()) {
        const Current& current = m_phases.begin()->second;
        if (current.phase != UpgradePhase::Transfer)
            return RenderPhase(current.phase, now - current.sinceMs);
        return Render(m_done, m_total, now - current.sinceMs);
    }
    QString line;
    // The speed stands still once every byte has gone.
    const qint64 sendingUntil = m_allSentMs >= 0 ? m_allSentMs : now;
    if (m_total > 0)
        line =
            Render(m_done, m_total, m_transferStartMs < 0 ? 0 : sendingUntil - m_transferStartMs) +
            QStringLiteral("  ");
    line += QString(cli::DevicesDoneFormat).arg(m_devicesDone).arg(m_devices);
    std::map<UpgradePhase, int> counts;
    for (const auto& [device, current] : m_phases)
        ++counts[current.phase];
    QStringList under;
    for (const auto& [phase, count] : counts)
        under << QStringLiteral("%1 %2").arg(count).arg(PhaseWord(phase));
    if (!under.isEmpty())
        line += QStringLiteral(" (") + under.join(QStringLiteral(", ")) + QLatin1Char(')');
    return line;
}

void CProgressBar::Draw() {
    if (!m_enabled || m_finished)
        return;
    WriteStderr(QLatin1Char('\r') + Line() + QStringLiteral("\033[K"));
    m_drawn = true;
}

void CProgressBar::Clear() {
    WriteStderr(QStringLiteral("\r\033[K"));
}

void CProgressBar::Tick() {
    std::unique_lock lock(m_mutex);
    while (!m_stopTicking.wait_for(lock, kRedraw, [this] { return m_finished; }))
        Draw();
}

QString CProgressBar::Render(qint64 done, qint64 total, qint64 elapsedMs) {
    total = std::max<qint64>(total, 1);
    done = std::clamp<qint64>(done, 0, total);
    const int percent = static_cast<int>(done * 100 / total);
    const int filled = static_cast<int>(done * kBarWidth / total);
    const double seconds = static_cast<double>(std::max<qint64>(elapsedMs, 1)) / 1000.0;
    const double speed = static_cast<double>(done) / seconds;
    const QString left =
        speed > 0.0 ? Duration(static_cast<qint64>(static_cast<double>(total - done) / speed + 0.5))
                    : QStringLiteral("-:--");
    return QStringLiteral("[%1%2] %3%  %4 / %5  %6/s  %7 left")
        .arg(QString(filled, QLatin1Char('#')), QString(kBarWidth - filled, QLatin1Char('-')))
        .arg(percent, 3)
        .arg(Bytes(static_cast<double>(done)), Bytes(static_cast<double>(total)), Bytes(speed),
             left);
}

QString CProgressBar::RenderPhase(UpgradePhase phase, qint64 elapsedMs) {
    return QStringLiteral("%1  %2").arg(PhaseWord(phase),
                                        Duration(std::max<qint64>(elapsedMs, 0) / 1000));
}
