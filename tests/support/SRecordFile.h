#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace testsupport {

// An S-record file (S2 data records of 32 bytes from address 0, an S8 end record) that the
// reader turns back into exactly `image`.
inline QByteArray SRecordText(const std::vector<std::uint8_t>& image) {
    constexpr std::size_t kPerRecord = 32;
    QByteArray text = "S00600004844521B\n";
    for (std::size_t offset = 0; offset < image.size(); offset += kPerRecord) {
        const std::size_t n = std::min(kPerRecord, image.size() - offset);
        QByteArray record;
        record.append(static_cast<char>(n + 4));
        record.append(static_cast<char>(offset >> 16));
        record.append(static_cast<char>(offset >> 8));
        record.append(static_cast<char>(offset));
        record.append(reinterpret_cast<const char*>(image.data() + offset),
                      static_cast<qsizetype>(n));
        unsigned sum = 0;
        for (const char byte : record)
            sum += static_cast<std::uint8_t>(byte);
        record.append(static_cast<char>(~sum & 0xFF));
        text += "S2" + record.toHex().toUpper() + '\n';
    }
    return text + "S804000000FB\n";
}

// A deterministic image of `size` bytes.
inline std::vector<std::uint8_t> TestImage(std::size_t size) {
    std::vector<std::uint8_t> image(size);
    for (std::size_t i = 0; i < size; ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return image;
}

inline bool WriteFile(const QString& path, const QByteArray& contents) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

// A temporary folder with fw.s19 (the records of TestImage(imageSize)) and broken.s19 (a file
// the reader refuses).
struct FirmwareFolder {
    explicit FirmwareFolder(std::size_t imageSize) {
        written = WriteFile(good, SRecordText(TestImage(imageSize))) &&
                  WriteFile(refused, QByteArrayLiteral("S1130000XX\n"));
    }
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("fw.s19"));
    const QString refused = dir.filePath(QStringLiteral("broken.s19"));
    bool written = false;
};

} // namespace testsupport
