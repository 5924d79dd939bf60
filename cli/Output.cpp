#include "cli/Output.h"

#include "cli/Interruption.h"
#include "cli/ProgressBar.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace {
// Characters a terminal acts on or that hide or reorder text: C0 and C1 controls, DEL, the
// format characters (bidirectional overrides, zero widths), line and paragraph separators.
bool ActsOnTerminal(char32_t codePoint) {
    switch (QChar::category(codePoint)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

QString Escape(char32_t codePoint) {
    const auto hex = [codePoint](const char* prefix, int digits) {
        return QLatin1String(prefix) + QString::number(uint{codePoint}, 16)
                                           .toUpper()
                                           .rightJustified(digits, QLatin1Char('0'));
    };
    if (codePoint <= 0xFF)
        return hex("\\x", 2);
    return codePoint <= 0xFFFF ? hex("\\u", 4) : hex("\\U", 8);
}
} // namespace

QString COutput::Printable(const QString& text) {
    QString printable;
    printable.reserve(text.size());
    for (const char32_t codePoint : text.toUcs4()) {
        if (ActsOnTerminal(codePoint))
            printable += Escape(codePoint);
        else
            printable += QStringView(QChar::fromUcs4(codePoint));
    }
    return printable;
}

void COutput::Record(const std::vector<DeviceField>& fields) {
    qsizetype width = 0;
    for (const DeviceField& field : fields)
        width = std::max(width, field.label.size());
    QString text;
    for (const DeviceField& field : fields)
        text += (field.label + QLatin1Char(':')).leftJustified(width + 2) + field.text +
                QLatin1Char('\n');
    Write(stdout, text.toUtf8());
}

void COutput::Table(const QStringList& headings, const std::vector<QStringList>& rows) {
    Write(stdout, AlignedTable(headings, rows).toUtf8());
}

QString COutput::AlignedTable(const QStringList& headings, const std::vector<QStringList>& rows) {
    std::vector<qsizetype> widths(static_cast<std::size_t>(headings.size()), 0);
    const auto measure = [&widths](const QStringList& row) {
        for (qsizetype i = 0; i < row.size() && i < static_cast<qsizetype>(widths.size()); ++i)
            widths[static_cast<std::size_t>(i)] =
                std::max(widths[static_cast<std::size_t>(i)], row[i].size());
    };
    measure(headings);
    for (const QStringList& row : rows)
        measure(row);
    const auto format = [&widths](const QStringList& row) {
        QString line;
        for (std::size_t i = 0; i < widths.size(); ++i) {
            const QString cell = row.value(static_cast<qsizetype>(i));
            line += i + 1 < widths.size() ? cell.leftJustified(widths[i] + 2) : cell;
        }
        return line + QLatin1Char('\n');
    };
    QString text = format(headings);
    for (const QStringList& row : rows)
        text += format(row);
    return text;
}

void COutput::Json(const QJsonObject& object) {
    Write(stdout, QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n');
}

// A log read on another machine or after a change of daylight saving time still says when.
QString COutput::TimeStamp() {
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

void COutput::Document(QJsonObject document) {
    if (CInterruption::Requested())
        document.insert(QStringLiteral("interrupted"), true);
    Json(document);
}

void COutput::Line(const QString& text) {
    Write(stdout, (text + QLatin1Char('\n')).toUtf8());
}

// A message of several lines (the time-out's) gives several lines, each with the device, so
// that a script that filters by device keeps all of it.
void COutput::Error(const QString& device, const QStringList& messages) {
    QString text;
    for (const QString& message : messages) {
        for (const QString& line : message.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            text += device + QStringLiteral(": ") + line.trimmed() + QLatin1Char('\n');
    }
    Write(stderr, text.toUtf8());
}

void COutput::Error(const QString& device, const DeviceOutcome& outcome) {
    Error(device, outcome.messages + outcome.DetailLines());
}

QJsonObject COutput::ErrorObject(const QString& device, const DeviceOutcome& outcome) {
    QJsonObject error = ErrorObject(device, outcome.errorCode, outcome.messages);
    if (!outcome.details.isEmpty())
        error.insert(QStringLiteral("details"), QJsonObject::fromVariantMap(outcome.details));
    return error;
}

QJsonObject COutput::ErrorObject(const QString& device, const QString& code,
                                 const QStringList& messages) {
    return {{QStringLiteral("device"), device},
            {QStringLiteral("code"), code},
            {QStringLiteral("message"), messages.join(QStringLiteral(" "))},
            {QStringLiteral("messages"), QJsonArray::fromStringList(messages)}};
}

// A closed pipe or a full disk must not pass unnoticed: the caller learns of it through
// StdoutError and ends the run with its own exit code.
void COutput::Write(std::FILE* stream, const QByteArray& bytes) {
    std::lock_guard lock(m_mutex);
    if (stream == stdout && m_stdoutError.load() != 0)
        return;
    const auto write = [&] {
        errno = 0;
        const std::size_t size = static_cast<std::size_t>(bytes.size());
        const bool written =
            std::fwrite(bytes.constData(), 1, size, stream) == size && std::fflush(stream) == 0;
        if (!written && stream == stdout)
            m_stdoutError.store(errno != 0 ? errno : EIO);
    };
    if (m_progress)
        m_progress->Around(write);
    else
        write();
}

void COutput::SetProgress(CProgressBar* bar) {
    std::lock_guard lock(m_mutex);
    m_progress = bar;
}
