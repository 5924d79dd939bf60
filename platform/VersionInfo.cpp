#include "VersionInfo.h"

#include "res/VersionResource.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

namespace platform {

VersionInfo::VersionInfo(const res::VersionResource& resource) {
    for (const res::VersionStringTable& table : resource.stringTables) {
        for (const res::VersionString& entry : table.strings) {
            SetString(QString::fromLatin1(table.langCodePage), QString::fromLatin1(entry.name),
                      QString::fromLatin1(entry.value));
        }
    }
}

bool VersionInfo::GetFileVersionInfo(const QString& modulePath, VersionInfo& info) {
    if (modulePath.isEmpty() || QCoreApplication::instance() == nullptr)
        return false;
    const QFileInfo requested(modulePath);
    const QFileInfo self(QCoreApplication::applicationFilePath());
    if (!requested.exists() || requested.canonicalFilePath() != self.canonicalFilePath())
        return false;
    info = VersionInfo(res::ProgramVersionResource());
    return true;
}

void VersionInfo::SetString(const QString& langCodePage, const QString& name,
                            const QString& value) {
    m_strings[langCodePage.toLower()][name.toLower()] = value;
}

bool VersionInfo::QueryValue(const QString& subBlock, QString& value) const {
    const QStringList parts = subBlock.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (parts.size() != 3 ||
        parts[0].compare(QLatin1String("StringFileInfo"), Qt::CaseInsensitive) != 0)
        return false;
    const auto block = m_strings.constFind(parts[1].toLower());
    if (block == m_strings.constEnd())
        return false;
    const auto entry = block->constFind(parts[2].toLower());
    if (entry == block->constEnd())
        return false;
    value = *entry;
    return true;
}

} // namespace platform
