#include "firmware/SRecordReader.h"

#include "res/Texts.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <new>

namespace {

constexpr std::array<int, 256> MakeHexDigitTable() {
    std::array<int, 256> table{};
    for (int code = 0; code < 256; ++code) {
        if (code >= '0' && code <= '9')
            table[code] = code - '0';
        else if (code >= 'A' && code <= 'Z')
            table[code] = code - 55;
        else
            table[code] = code - 87;
    }
    return table;
}

constexpr std::array<int, 256> kHexDigitTable = MakeHexDigitTable();

int DigitAt(std::string_view line, std::size_t index) {
    return kHexDigitTable[static_cast<unsigned char>(line[index])];
}

BYTE HexByte(char high, char low) {
    return static_cast<BYTE>(kHexDigitTable[static_cast<unsigned char>(high)] * 16 +
                             kHexDigitTable[static_cast<unsigned char>(low)]);
}

// Bytes of load address in a data record of this type; 0 for every other type.
std::size_t AddressBytesOfType(int type) {
    switch (type) {
    case 1:
        return 2;
    case 2:
        return 3;
    case 3:
        return 4;
    default:
        return 0;
    }
}

void ReportUnreadable(Outcome& outcome) {
    outcome.Fail(Cause::FileRefused, QString(res::text::UnableToReadFirmwareFile));
}

bool FileSizeAccepted(std::size_t size) {
    return size >= kMinFirmwareFileSize && size <= kMaxFirmwareFileSize;
}

// Makes room for `extra` more bytes behind the image. Grows by doubling so that a file of many
// small gaps does not reallocate per record.
bool EnsureRoom(CSRecordReader& reader, std::size_t extra) {
    if (reader.m_pImage == nullptr)
        return false;
    std::vector<BYTE>& image = *reader.m_pImage;
    // 64 bits: a gap of nearly 4 GiB must not wrap around on a 32-bit build.
    const std::uint64_t needed = std::uint64_t{reader.m_nImageLength} + extra;
    if (needed > kMaxFirmwareImageSize)
        return false;
    if (needed <= image.size())
        return true;
    const std::size_t grown = std::min(2 * image.size(), kMaxFirmwareImageSize);
    try {
        image.resize(std::max(static_cast<std::size_t>(needed), grown));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// Takes one line from `rest`, without its LF. A line end of CR LF is read like LF, so files
// written on any system read the same.
std::string_view TakeLine(std::string_view& rest) {
    const std::size_t lf = rest.find('\n');
    std::string_view line = rest.substr(0, lf);
    rest.remove_prefix(lf == std::string_view::npos ? rest.size() : lf + 1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

bool AppendRecords(CSRecordReader& reader, std::string_view contents) {
    while (!contents.empty()) {
        switch (ParseSRecord(reader, TakeLine(contents))) {
        case SRecordSkipped:
            continue;
        case SRecordDamaged:
            return false;
        case SRecordData:
            break;
        }
        // The first data record fixes the address that image byte 0 stands for.
        if (reader.m_dwNextAddress == 0)
            reader.m_dwNextAddress = reader.m_dwRecordAddress;
        if (!FillAddressGap(reader))
            return false;
        reader.m_dwNextAddress += reader.m_nDataCount;
        if (!StoreRecordData(reader))
            return false;
    }
    return true;
}

bool ReadWholeFile(QFile& file, std::vector<char>& contents) {
    const qint64 size = file.size();
    if (size < 0 || !FileSizeAccepted(static_cast<std::size_t>(size)))
        return false;
    try {
        contents.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return file.read(contents.data(), size) == size;
}

} // namespace

int HexDigitValue(char digit) {
    return kHexDigitTable[static_cast<unsigned char>(digit)];
}

namespace {

bool IsBlank(std::string_view line) {
    return std::all_of(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\t'; });
}

bool IsHexText(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    });
}

// The checksum byte is the ones' complement of the low byte of the sum of every byte from the
// count up to the last data byte; so all of them together with it sum to 0xFF.
bool ChecksumMatches(std::string_view line) {
    unsigned sum = 0;
    for (std::size_t i = 2; i + 1 < line.size(); i += 2)
        sum += HexByte(line[i], line[i + 1]);
    return (sum & 0xFF) == 0xFF;
}

} // namespace

SRecordLine ParseSRecord(CSRecordReader& reader, std::string_view line) {
    if (IsBlank(line))
        return SRecordSkipped;
    // A firmware file is records and nothing else: a foreign line means a foreign file.
    if (line.size() < 2 || (line[0] != 'S' && line[0] != 's'))
        return SRecordDamaged;
    const std::size_t addressBytes = AddressBytesOfType(DigitAt(line, 1));
    if (addressBytes == 0)
        return SRecordSkipped; // header, end records (their start address is unused), 4 to 6

    // A data record must be whole: mark, type, count, then exactly `count` bytes as hex pairs,
    // every one a hexadecimal digit, and the checksum must match.
    if (line.size() > kMaxRecordLineLength || line.size() < 4 || !IsHexText(line.substr(2)))
        return SRecordDamaged;
    const std::size_t byteCount = HexByte(line[2], line[3]);
    if (byteCount < addressBytes + 1 || line.size() != 4 + 2 * byteCount)
        return SRecordDamaged;
    const std::size_t dataCount = byteCount - addressBytes - 1;
    if (dataCount > kMaxRecordDataBytes || !ChecksumMatches(line))
        return SRecordDamaged;

    DWORD address = 0;
    for (std::size_t i = 0; i < 2 * addressBytes; ++i)
        address = address * 16 + static_cast<DWORD>(DigitAt(line, 4 + i));
    reader.m_dwRecordAddress = address;
    reader.m_nDataCount = static_cast<BYTE>(dataCount);
    std::memcpy(reader.m_szData, line.data() + 4 + 2 * addressBytes, 2 * dataCount);
    return SRecordData;
}

bool FillAddressGap(CSRecordReader& reader) {
    if (reader.m_dwRecordAddress <= reader.m_dwNextAddress) {
        // Continues, overlaps or lies below the image: appended all the same, nothing
        // already in the image is overwritten.
        reader.m_dwNextAddress = reader.m_dwRecordAddress;
        return true;
    }
    const DWORD gap = reader.m_dwRecordAddress - reader.m_dwNextAddress;
    if (!EnsureRoom(reader, gap))
        return false;
    std::fill_n(reader.m_pImage->data() + reader.m_nImageLength, gap, BYTE{0xFF});
    reader.m_nImageLength += gap;
    reader.m_dwNextAddress += gap;
    return true;
}

bool StoreRecordData(CSRecordReader& reader) {
    const std::size_t count = reader.m_nDataCount;
    if (count > kMaxRecordDataBytes || !EnsureRoom(reader, count))
        return false;
    BYTE* out = reader.m_pImage->data() + reader.m_nImageLength;
    for (std::size_t i = 0; i < count; ++i)
        out[i] = HexByte(reader.m_szData[2 * i], reader.m_szData[2 * i + 1]);
    reader.m_nImageLength += static_cast<DWORD>(count);
    return true;
}

std::optional<std::vector<BYTE>> BuildFirmwareImage(CSRecordReader& reader,
                                                    std::string_view fileContents,
                                                    int& nImageLength, Outcome& outcome) {
    if (!FileSizeAccepted(fileContents.size())) {
        ReportUnreadable(outcome);
        return std::nullopt;
    }
    // Data takes two characters per byte, so the file's size holds the image unless gaps
    // are filled; EnsureRoom grows it then.
    std::vector<BYTE> image;
    try {
        image.resize(fileContents.size());
    } catch (const std::bad_alloc&) {
        ReportUnreadable(outcome);
        return std::nullopt;
    }
    reader.m_pImage = &image;
    reader.m_nImageLength = 0;
    reader.m_dwNextAddress = 0;
    reader.m_nDataCount = 0;
    const bool built = AppendRecords(reader, fileContents);
    reader.m_pImage = nullptr;
    // An empty image would have boot erase the flash for nothing to write.
    if (!built || reader.m_nImageLength == 0) {
        ReportUnreadable(outcome); // a damaged file is never turned into an image
        return std::nullopt;
    }
    image.resize(reader.m_nImageLength);
    nImageLength = static_cast<int>(reader.m_nImageLength);
    return image;
}

bool OpenFirmwareFile(QFile& file) {
    // A FIFO or a device node would block the open (or the read) for good; a folder has no
    // records. Only a regular file (or a link to one) is opened.
    return QFileInfo(file.fileName()).isFile() && file.open(QIODevice::ReadOnly);
}

std::optional<std::vector<BYTE>> LoadFirmwareImage(CSRecordReader& reader, const QString& path,
                                                   int& nImageLength, Outcome& outcome) {
    outcome.details.insert(QString::fromLatin1(detail::kFile), path);
    QFile file(path);
    if (!OpenFirmwareFile(file)) {
        outcome.Fail(Cause::FileUnopenable, QString(res::text::UnableToOpenFile));
        return std::nullopt;
    }
    std::vector<char> contents;
    if (!ReadWholeFile(file, contents)) {
        ReportUnreadable(outcome);
        return std::nullopt;
    }
    file.close();
    return BuildFirmwareImage(reader, {contents.data(), contents.size()}, nImageLength, outcome);
}
