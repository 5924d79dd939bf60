// Reads a 5 MiB S-record file with the firmware reader and converts the same file to binary
// with srec_cat, both timed in this run (best of a few runs each), and prints the ratio.
#include "firmware/SRecordReader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <limits>

namespace {

constexpr int kReaderRuns = 7;
constexpr int kReferenceRuns = 3;
constexpr double kTargetRatio = 50.0;

// One record of `type` with an address field of `addressBytes` bytes.
QByteArray Record(char type, DWORD address, int addressBytes, const QByteArray& data) {
    QByteArray body(addressBytes, '\0');
    for (int i = 0; i < addressBytes; ++i)
        body[i] = static_cast<char>(address >> (8 * (addressBytes - 1 - i)));
    body += data;
    const int count = static_cast<int>(body.size()) + 1;
    int sum = count;
    for (const char byte : body)
        sum += static_cast<unsigned char>(byte);
    const QByteArray checksum(1, static_cast<char>(~sum & 0xFF));
    return QByteArray("S") + type + QByteArray(1, static_cast<char>(count)).toHex().toUpper() +
           body.toHex().toUpper() + checksum.toHex().toUpper() + "\n";
}

QByteArray S3Record(DWORD address, const QByteArray& data) {
    return Record('3', address, 4, data);
}

// Exactly kMaxFirmwareFileSize bytes as a converter writes them: 32-byte S3 records at
// consecutive addresses from 0, an S6 count record and an S7 end record; the last data record
// is shorter so that the size comes out exact. `image` gets their data.
QByteArray FiveMiBFile(QByteArray& image) {
    const qsizetype fullLine = S3Record(0, QByteArray(32, '\0')).size();
    const qsizetype countAndEnd = Record('6', 0, 3, {}).size() + Record('7', 0, 4, {}).size();
    const qsizetype size = static_cast<qsizetype>(kMaxFirmwareFileSize) - countAndEnd;
    QByteArray text;
    text.reserve(size);
    DWORD address = 0;
    DWORD records = 0;
    while (size - text.size() >= 2 * fullLine) {
        QByteArray data(32, '\0');
        for (int i = 0; i < 32; ++i)
            data[i] = static_cast<char>((address + i) * 131 + (address >> 8));
        text += S3Record(address, data);
        image += data;
        address += 32;
        ++records;
    }
    while (text.size() < size) {
        // A line of 15 + 2n characters holds n data bytes; the rest may need two lines.
        const qsizetype left = size - text.size();
        const qsizetype dataBytes = left >= fullLine + 15 ? 32 : (left - 15) / 2;
        const QByteArray data(dataBytes, static_cast<char>(0x5A));
        text += S3Record(address, data);
        image += data;
        address += static_cast<DWORD>(dataBytes);
        ++records;
    }
    return text + Record('6', records, 3, {}) + Record('7', 0, 4, {});
}

template <typename Run> double BestMilliseconds(int runs, Run run) {
    double best = std::numeric_limits<double>::max();
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!run())
            return -1;
        best = std::min(best, static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QByteArray expected;
    const QByteArray text = FiveMiBFile(expected);
    const QString input = dir.filePath(QStringLiteral("firmware.s19"));
    const QString output = dir.filePath(QStringLiteral("firmware.bin"));
    QFile file(input);
    if (text.size() != static_cast<qsizetype>(kMaxFirmwareFileSize) ||
        !file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) {
        std::fprintf(stderr, "cannot write the test file\n");
        return 1;
    }
    file.close();

    std::vector<BYTE> image;
    const double readerMs = BestMilliseconds(kReaderRuns, [&] {
        CSRecordReader reader{};
        int length = 0;
        Outcome read;
        auto loaded = LoadFirmwareImage(reader, input, length, read);
        if (!loaded) {
            std::fprintf(stderr, "reader: %s\n",
                         qPrintable(read.details.value(QStringLiteral("reason")).toString()));
            return false;
        }
        image = std::move(*loaded);
        return true;
    });
    if (readerMs < 0 || QByteArray(reinterpret_cast<const char*>(image.data()),
                                   static_cast<qsizetype>(image.size())) != expected) {
        std::fprintf(stderr, "the reader did not produce the expected image\n");
        return 1;
    }
    std::printf("S-record reader: %lld-byte file, %zu-byte image\n",
                static_cast<long long>(text.size()), image.size());
    std::printf("  reader (LoadFirmwareImage), best of %d:   %8.2f ms\n", kReaderRuns, readerMs);

    const QString srecCat = QStandardPaths::findExecutable(QStringLiteral("srec_cat"));
    if (srecCat.isEmpty()) {
        std::printf("  srec_cat not found (Debian package srecord): comparison skipped\n");
        return 0;
    }
    const QStringList arguments{input, QStringLiteral("-o"), output, QStringLiteral("-binary")};
    const double referenceMs = BestMilliseconds(kReferenceRuns, [&] {
        QProcess process;
        process.start(srecCat, arguments);
        return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    });
    QFile binary(output);
    if (referenceMs < 0 || !binary.open(QIODevice::ReadOnly) || binary.readAll() != expected) {
        std::fprintf(stderr, "srec_cat failed or disagrees with the reader\n");
        return 1;
    }
    const double ratio = referenceMs / readerMs;
    std::printf("  srec_cat -> binary, best of %d:          %8.2f ms\n", kReferenceRuns,
                referenceMs);
    std::printf("  ratio: reader is %.1fx faster (goal >= %.0fx): %s\n", ratio, kTargetRatio,
                ratio >= kTargetRatio ? "met" : "NOT met");
    return 0;
}
