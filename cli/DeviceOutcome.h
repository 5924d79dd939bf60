#pragma once

#include "cli/ExitCode.h"
#include "comm/Outcome.h"

#include <QString>
#include <QStringList>
#include <QVariantMap>

// How one operation on one device ended, as the command line reports it: its exit code, the
// stable name of what failed, the messages the shared layer told (the window's words) and
// the details it gave (file and line, expected and read values, the device's status).
struct DeviceOutcome {
    ExitCode exit = ExitCode::Success;
    QString errorCode; // empty on success
    QStringList messages;
    QVariantMap details;

    bool Succeeded() const { return exit == ExitCode::Success; }
    static DeviceOutcome Failure(ExitCode exit, QLatin1String code, QStringList messages) {
        return {exit, QString(code), std::move(messages), {}};
    }
    // A stop was asked for before the next step: nothing more went to the device.
    static DeviceOutcome Interrupted();
    // The exit code and error code of the outcome's cause; a success carries no messages.
    static DeviceOutcome From(const Outcome& outcome);
    // The details as lines of text: a file's name, line and reason as one line
    // ("FILE line N: reason"), then the others as "key: value", in key order.
    QStringList DetailLines() const;
};
