#include "cli/RunLog.h"

#include "cli/Output.h"

#include <QJsonDocument>

bool CRunLog::Open(const QString& path, QString& reason) {
    m_file.setFileName(path);
    if (m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return true;
    reason = m_file.errorString();
    return false;
}

void CRunLog::Record(const QString& command, const QString& device, const QJsonObject& asked,
                     const DeviceOutcome& outcome, const QJsonObject& read) {
    QJsonObject line{{QStringLiteral("time"), COutput::TimeStamp()},
                     {QStringLiteral("command"), command},
                     {QStringLiteral("device"), device},
                     {QStringLiteral("asked"), asked},
                     {QStringLiteral("ok"), outcome.Succeeded()}};
    if (!outcome.Succeeded())
        line.insert(QStringLiteral("error"), COutput::ErrorObject(device, outcome));
    if (!read.isEmpty())
        line.insert(QStringLiteral("read"), read);
    const QByteArray bytes = QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
    std::lock_guard lock(m_mutex);
    if (m_file.isOpen())
        m_file.write(bytes);
}
