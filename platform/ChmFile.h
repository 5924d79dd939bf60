#pragma once

#include <QByteArray>
#include <QString>

struct chmFile;

namespace platform {

// Read access to a compiled HTML Help file: its pages, images and style sheets by path
// ("/index.html"), and the default topic and title its project named.
class ChmFile {
public:
    // An object above this size is not read.
    static constexpr qint64 kMaxObjectBytes = 16 * 1024 * 1024;

    ChmFile() = default;
    ~ChmFile();
    ChmFile(const ChmFile&) = delete;
    ChmFile& operator=(const ChmFile&) = delete;

    bool Open(const QString& path);
    void Close();
    bool IsOpen() const { return m_file != nullptr; }

    bool Contains(const QString& objectPath) const;
    bool Read(const QString& objectPath, QByteArray& data) const;

    // "/index.html" style paths; empty when the file names none.
    QString DefaultTopic() const { return m_defaultTopic; }
    QString Title() const { return m_title; }

    // An object path as the file stores it: leading "/", no "./".
    static QString NormalizePath(const QString& path);

private:
    void readSystemInformation();

    chmFile* m_file = nullptr;
    QString m_defaultTopic;
    QString m_title;
};

} // namespace platform
