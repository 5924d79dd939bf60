#pragma once

#include <QElapsedTimer>
#include <QString>

#include <mutex>

// The progress of an upgrade or a batch on standard error: a bar with percent, bytes, speed
// and time left, redrawn in place at most ten times a second. Drawn only when enabled (the
// caller enables it when standard error is a terminal). Add may be called from any thread.
class CProgressBar {
public:
    CProgressBar(qint64 totalBytes, bool enabled);
    ~CProgressBar();
    CProgressBar(const CProgressBar&) = delete;
    CProgressBar& operator=(const CProgressBar&) = delete;

    void Add(qint64 bytes);

    static bool StderrIsTerminal();
    // One line of the bar for `done` of `total` bytes after `elapsedMs`.
    static QString Render(qint64 done, qint64 total, qint64 elapsedMs);

private:
    void Draw();

    qint64 m_total;
    bool m_enabled;
    std::mutex m_mutex;
    qint64 m_done = 0;
    qint64 m_lastDrawMs = -1;
    QElapsedTimer m_clock;
};
