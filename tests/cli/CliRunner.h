#pragma once

// Runs the built rivivozuzuvod-cli program against simulators of the test's own.
#include "LoopbackAddress.h"
#include "SimulatorSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

namespace clitest {

// One run of the program.
struct CliRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;

    // Standard output as JSON Lines; a line that is not a JSON object fails the test.
    QList<QJsonObject> JsonLines() const {
        QList<QJsonObject> objects;
        for (const QByteArray& line : out.split('\n')) {
            QJsonParseError error{};
            if (!line.isEmpty())
                objects.append(QJsonDocument::fromJson(line, &error).object());
            EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        }
        return objects;
    }
    // The run's document: the last JSON line.
    QJsonObject Json() const {
        const QList<QJsonObject> lines = JsonLines();
        return lines.isEmpty() ? QJsonObject() : lines.last();
    }
};

inline CliRun RunCli(const QStringList& arguments,
                     const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(RIVIVOZUZUVOD_CLI_PROGRAM), arguments);
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "rivivozuzuvod-cli did not end: " << arguments.join(u' ').toStdString();
    }
    const bool normal = process.exitStatus() == QProcess::NormalExit;
    return {normal ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

// The arguments as one line of words, %1, %2, ... filled in: Cli("info %1", address).
template <typename... Values> QStringList Words(const char* line, const Values&... values) {
    QString text = QString::fromUtf8(line);
    ((text = text.arg(values)), ...);
    return text.split(u' ', Qt::SkipEmptyParts);
}

template <typename... Values> CliRun Cli(const char* line, const Values&... values) {
    return RunCli(Words(line, values...));
}

inline QString CliAddress(int host) {
    return testsupport::NumberedLoopbackAddress(testsupport::LoopbackSubnet::Cli, host);
}

// A simulator that is away for only 20 ms on a restart.
inline std::unique_ptr<sim::CEncoderSimulator> StartedSimulator(const QString& address) {
    auto simulator =
        std::make_unique<sim::CEncoderSimulator>(testsupport::SimulatorConfigAt(address, 20));
    EXPECT_TRUE(testsupport::Started(*simulator));
    return simulator;
}

} // namespace clitest
