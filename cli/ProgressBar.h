#pragma once

#include "firmware/UpgradeProgress.h"

#include <QElapsedTimer>
#include <QString>

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

// The progress of an upgrade or a batch on standard error, on one line redrawn in place.
// One device: its phase with the time it has taken while the device erases, starts or is
// read out again, and bytes, speed and time left while blocks go. A batch: the bytes of all
// upgrades, the devices done and the phases under way, with each finished device's line
// printed above it. Drawn only when enabled (the caller enables it when standard error is a
// terminal); a clock redraws it while nothing else moves. Any method may be called from any
// thread.
class CProgressBar {
public:
    CProgressBar(qint64 totalBytes, int devices, bool enabled);
    ~CProgressBar();
    CProgressBar(const CProgressBar&) = delete;
    CProgressBar& operator=(const CProgressBar&) = delete;

    void Phase(const QString& device, UpgradePhase phase);
    void Add(qint64 bytes);
    // A batch device's end: `line` is printed above the bar, which goes on below it.
    void DeviceDone(const QString& device, const QString& line);
    // Ends the bar: its last state, then `reason` ("failed: ..."), on a line of its own.
    void Finish(const QString& reason);
    // Runs `write` with the bar's line cleared and draws the bar again after it, so that no
    // message ever lands on the bar's line.
    void Around(const std::function<void()>& write);

    static bool StderrIsTerminal();
    // The transfer: `done` of `total` bytes after `elapsedMs`.
    static QString Render(qint64 done, qint64 total, qint64 elapsedMs);
    // A phase without bytes: its word and the time it has taken ("erasing  0:07").
    static QString RenderPhase(UpgradePhase phase, qint64 elapsedMs);

private:
    QString Line() const;
    void Draw();
    void Clear();
    void Tick();

    qint64 m_total;
    int m_devices;
    bool m_enabled;
    std::mutex m_mutex;
    std::condition_variable m_stopTicking;
    bool m_finished = false;
    bool m_drawn = false;
    qint64 m_done = 0;
    qint64 m_transferStartMs = -1;
    qint64 m_allSentMs = -1;
    int m_devicesDone = 0;
    struct Current {
        UpgradePhase phase;
        qint64 sinceMs;
    };
    std::map<QString, Current> m_phases;
    QElapsedTimer m_clock;
    std::thread m_ticker;
};
