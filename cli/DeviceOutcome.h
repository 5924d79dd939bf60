#pragma once

#include "cli/ExitCode.h"

#include <QString>
#include <QStringList>

// How one operation on one device ended: its exit code, the stable name of what failed and
// the messages the command layer told on the way (the window's words).
struct DeviceOutcome {
    ExitCode exit = ExitCode::Success;
    QString errorCode; // empty on success
    QStringList messages;

    bool Succeeded() const { return exit == ExitCode::Success; }
    static DeviceOutcome Failure(ExitCode exit, QLatin1String code, QStringList messages) {
        return {exit, QString(code), std::move(messages)};
    }
};
