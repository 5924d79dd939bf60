#include "ProductVersion.h"

#include "platform/VersionInfo.h"

#include <QCoreApplication>

namespace {
// Only this block is read; the translation table is not consulted.
const QLatin1String kProductVersionPath{"\\StringFileInfo\\040904e4\\ProductVersion"};
} // namespace

bool GetProductVersion(QString& version) {
    const QString modulePath = QCoreApplication::applicationFilePath();
    if (modulePath.isEmpty())
        return false;
    platform::VersionInfo info;
    if (!platform::VersionInfo::GetFileVersionInfo(modulePath, info))
        return false;
    return GetProductVersion(info, version);
}

bool GetProductVersion(const platform::VersionInfo& info, QString& version) {
    QString value;
    if (!info.QueryValue(QString(kProductVersionPath), value))
        return false;
    version = value;
    return true;
}
