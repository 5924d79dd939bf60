#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

namespace clitest {

// One run of the built rivivozuzuvod-cli program.
struct CliRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;

    // Standard output as JSON Lines; a line that is not a JSON object fails the test.
    QList<QJsonObject> JsonLines() const {
        QList<QJsonObject> objects;
        for (const QByteArray& line : out.split('\n')) {
            if (line.isEmpty())
                continue;
            QJsonParseError error{};
            const QJsonDocument document = QJsonDocument::fromJson(line, &error);
            EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
            objects.append(document.object());
        }
        return objects;
    }
    // The run's document: the last JSON line.
    QJsonObject Json() const {
        const QList<QJsonObject> lines = JsonLines();
        return lines.isEmpty() ? QJsonObject() : lines.last();
    }
    // The value of a "label: value" line of text output.
    QString TextField(const QString& label) const {
        for (const QByteArray& line : out.split('\n')) {
            const QString text = QString::fromUtf8(line);
            if (text.startsWith(label + QLatin1Char(':')))
                return text.mid(label.size() + 1).trimmed();
        }
        return {};
    }
};

// Runs the program with `arguments` and the test's own environment (loopback only), or with
// `environment` when given; waits for it to end.
inline CliRun
RunCli(const QStringList& arguments,
       const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
       int timeoutMs = 120000) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(RIVIVOZUZUVOD_CLI_PROGRAM), arguments);
    CliRun run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "rivivozuzuvod-cli did not end: " << arguments.join(u' ').toStdString();
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

} // namespace clitest
