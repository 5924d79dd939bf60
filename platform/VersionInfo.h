#pragma once

#include <QMap>
#include <QString>

namespace res {
struct VersionResource;
}

namespace platform {

// A file's version-information strings, in blocks named by language and code page
// ("040904e4"), queried by sub-block path as the version calls of Windows do. The program
// reads nothing else of the block.
class VersionInfo {
public:
    VersionInfo() = default;
    explicit VersionInfo(const res::VersionResource& resource);

    // The block of a program file. Only this program's own file carries one we can read:
    // any other path (or an empty one) gives false.
    static bool GetFileVersionInfo(const QString& modulePath, VersionInfo& info);

    void SetString(const QString& langCodePage, const QString& name, const QString& value);

    // "\StringFileInfo\<lang+codepage>\<name>" gives that string; names compare without
    // regard to case. False when the block or the entry is missing or the path is not a
    // string path.
    bool QueryValue(const QString& subBlock, QString& value) const;

private:
    // Keys in lower case: block -> (name -> value).
    QMap<QString, QMap<QString, QString>> m_strings;
};

} // namespace platform
