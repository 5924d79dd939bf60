#pragma once

#include "cli/DeviceFields.h"
#include "cli/DeviceOutcome.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <vector>

class CProgressBar;

// Everything the command line writes: results on standard output, as aligned text or as
// JSON made with QJsonDocument, and errors on standard error in the window's words with the
// device address. Safe to use from several threads; each call writes whole lines.
class COutput {
public:
    enum class Format { Text, Json };

    explicit COutput(Format format) : m_format(format) {}

    bool IsJson() const { return m_format == Format::Json; }

    // Aligned "label: value" lines.
    void Record(const std::vector<DeviceField>& fields);
    // A table with one heading row; every column as wide as its widest cell.
    void Table(const QStringList& headings, const std::vector<QStringList>& rows);
    // One JSON document on one line (a JSON Lines event or a run's document).
    void Json(const QJsonObject& object);
    // A run's final document; one written after a stop was asked for says "interrupted".
    void Document(QJsonObject document);
    void Line(const QString& text);
    // One line per message on standard error: "ADDRESS: message".
    void Error(const QString& device, const QStringList& messages);
    // The outcome's messages, then its details, one line each.
    void Error(const QString& device, const DeviceOutcome& outcome);

    // The error object of JSON output: device, code, message(s), and the outcome's details.
    static QJsonObject ErrorObject(const QString& device, const DeviceOutcome& outcome);
    static QJsonObject ErrorObject(const QString& device, const QString& code,
                                   const QStringList& messages);
    // Now, local time with its offset from UTC ("Z" where local time is UTC), to the ms.
    static QString TimeStamp();
    static QString AlignedTable(const QStringList& headings, const std::vector<QStringList>& rows);
    // Text from outside (a plan's cells, file names) made safe for a terminal: control and
    // format characters appear as escapes, \xHH up to U+00FF, \uHHHH and \UHHHHHHHH above
    // ("\x1B[31m"), so a hostile plan cannot move the cursor, recolour or rewrite a line.
    static QString Printable(const QString& text);

    // The system error of the first write to standard output that failed, 0 while all went
    // through. Once one failed, nothing more is written there.
    int StdoutError() const { return m_stdoutError.load(); }

    // While set, every line goes out with the progress bar's line cleared first and drawn
    // again after it; cleared again by the bar's owner before the bar goes.
    void SetProgress(CProgressBar* bar);

private:
    void Write(std::FILE* stream, const QByteArray& bytes);

    Format m_format;
    std::mutex m_mutex;
    CProgressBar* m_progress = nullptr;
    std::atomic<int> m_stdoutError{0};
};
