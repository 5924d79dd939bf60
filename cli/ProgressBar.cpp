#include "cli/ProgressBar.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {
constexpr int kBarWidth = 24;
constexpr qint64 kRedrawMs = 100;

QString Bytes(double bytes) {
    if (bytes < 1024.0 * 1024.0)
        return QStringLiteral("%1 KiB").arg(bytes / 1024.0, 0, 'f', 1);
    return QStringLiteral("%1 MiB").arg(bytes / (1024.0 * 1024.0), 0, 'f', 1);
}

QString Duration(qint64 seconds) {
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}
} // namespace

CProgressBar::CProgressBar(qint64 totalBytes, bool enabled)
    : m_total(std::max<qint64>(totalBytes, 1)), m_enabled(enabled) {
    m_clock.start();
}

CProgressBar::~CProgressBar() {
    if (!m_enabled || m_lastDrawMs < 0)
        return;
    m_lastDrawMs = -kRedrawMs; // the final state, whatever the time since the last one
    Draw();
    std::fputc('\n', stderr);
}

bool CProgressBar::StderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

void CProgressBar::Add(qint64 bytes) {
    std::lock_guard lock(m_mutex);
    m_done = std::clamp<qint64>(m_done + bytes, 0, m_total);
    if (m_enabled && (m_lastDrawMs < 0 || m_clock.elapsed() - m_lastDrawMs >= kRedrawMs))
        Draw();
}

void CProgressBar::Draw() {
    m_lastDrawMs = m_clock.elapsed();
    const QByteArray line = Render(m_done, m_total, m_lastDrawMs).toUtf8();
    std::fprintf(stderr, "\r%s\033[K", line.constData());
    std::fflush(stderr);
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
