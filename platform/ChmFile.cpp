#include "ChmFile.h"

#include <QFile>
#include <QtEndian>

#include <chm_lib.h>

namespace platform {

namespace {

// Records of the "/#SYSTEM" object: a 32-bit version, then {16-bit code, 16-bit length,
// data} records, little-endian.
constexpr quint16 kSystemDefaultTopic = 2;
constexpr quint16 kSystemTitle = 3;
constexpr qsizetype kSystemVersionBytes = 4;
constexpr qsizetype kSystemRecordHeaderBytes = 4;

QString recordText(const QByteArray& system, qsizetype offset, qsizetype length) {
    const QByteArray raw = system.mid(offset, length);
    const qsizetype end = raw.indexOf('\0');
    return QString::fromLatin1(end < 0 ? raw : raw.left(end));
}

} // namespace

ChmFile::~ChmFile() {
    Close();
}

bool ChmFile::Open(const QString& path) {
    Close();
    if (!QFile::exists(path))
        return false;
    m_file = chm_open(QFile::encodeName(path).constData());
    if (m_file == nullptr)
        return false;
    readSystemInformation();
    return true;
}

void ChmFile::Close() {
    if (m_file != nullptr)
        chm_close(m_file);
    m_file = nullptr;
    m_defaultTopic.clear();
    m_title.clear();
}

QString ChmFile::NormalizePath(const QString& path) {
    QString normalized = path;
    while (normalized.startsWith(QLatin1String("./")))
        normalized.remove(0, 2);
    if (!normalized.startsWith(QLatin1Char('/')))
        normalized.prepend(QLatin1Char('/'));
    return normalized;
}

bool ChmFile::Contains(const QString& objectPath) const {
    if (m_file == nullptr)
        return false;
    chmUnitInfo unit{};
    const QByteArray name = NormalizePath(objectPath).toUtf8();
    return chm_resolve_object(m_file, name.constData(), &unit) == CHM_RESOLVE_SUCCESS;
}

bool ChmFile::Read(const QString& objectPath, QByteArray& data) const {
    data.clear();
    if (m_file == nullptr)
        return false;
    chmUnitInfo unit{};
    const QByteArray name = NormalizePath(objectPath).toUtf8();
    if (chm_resolve_object(m_file, name.constData(), &unit) != CHM_RESOLVE_SUCCESS)
        return false;
    if (unit.length > static_cast<LONGUINT64>(kMaxObjectBytes))
        return false;
    data.resize(static_cast<qsizetype>(unit.length));
    if (unit.length == 0)
        return true;
    const LONGINT64 read =
        chm_retrieve_object(m_file, &unit, reinterpret_cast<unsigned char*>(data.data()), 0,
                            static_cast<LONGINT64>(unit.length));
    if (read != static_cast<LONGINT64>(unit.length)) {
        data.clear();
        return false;
    }
    return true;
}

void ChmFile::readSystemInformation() {
    QByteArray system;
    if (!Read(QStringLiteral("/#SYSTEM"), system))
        return;
    qsizetype offset = kSystemVersionBytes;
    while (offset + kSystemRecordHeaderBytes <= system.size()) {
        const auto* header = reinterpret_cast<const uchar*>(system.constData() + offset);
        const quint16 code = qFromLittleEndian<quint16>(header);
        const quint16 length = qFromLittleEndian<quint16>(header + 2);
        offset += kSystemRecordHeaderBytes;
        if (offset + length > system.size())
            break;
        const QString text = recordText(system, offset, length);
        if (code == kSystemDefaultTopic && !text.isEmpty())
            m_defaultTopic = NormalizePath(text);
        else if (code == kSystemTitle)
            m_title = text;
        offset += length;
    }
}

} // namespace platform
