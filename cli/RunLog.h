#pragma once

#include "cli/DeviceOutcome.h"

#include <QFile>
#include <QJsonObject>
#include <QString>

#include <mutex>

// The --log file: one JSON line per device touched, appended with its time stamp: the
// command, the device, what was asked, how it ended and what was read back. Lines of
// several runs and threads never interleave (each is one append).
class CRunLog {
public:
    // Opens `path` for appending; false with the system's reason when it cannot.
    bool Open(const QString& path, QString& reason);
    void Record(const QString& command, const QString& device, const QJsonObject& asked,
                const DeviceOutcome& outcome, const QJsonObject& read);

private:
    std::mutex m_mutex;
    QFile m_file;
};
