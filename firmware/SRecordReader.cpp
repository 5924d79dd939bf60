#include "firmware/SRecordReader.h"

#include "res/Texts.h"

#include <QFile>
#include <QFileInfo>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

using namespace res;

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

// The value of 0-9, A-F, a-f; -1 for every other character, so that one OR over a line's
// digits tells whether all of them were hexadecimal.
constexpr std::array<int, 256> MakeStrictHexTable() {
    std::array<int, 256> table{};
    for (int code = 0; code < 256; ++code) {
        if (code >= '0' && code <= '9')
            table[code] = code - '0';
        else if ((code >= 'A' && code <= 'F') || (code >= 'a' && code <= 'f'))
            table[code] = (code | 0x20) - 'a' + 10;
        else
            table[code] = -1;
    }
    return table;
}

constexpr std::array<int, 256> kHexDigitTable = MakeHexDigitTable();
constexpr std::array<int, 256> kStrictHexTable = MakeStrictHexTable();

int StrictDigit(char digit) {
    return kStrictHexTable[static_cast<unsigned char>(digit)];
}

BYTE HexByte(char high, char low) {
    return static_cast<BYTE>(kHexDigitTable[static_cast<unsigned char>(high)] * 16 +
                             kHexDigitTable[static_cast<unsigned char>(low)]);
}

constexpr std::uint64_t kAddressSpaceEnd = std::uint64_t{1} << 32;

enum class RecordKind { Blank, Header, Data, Reserved, Count, End, Damaged };

struct RecordLayout {
    RecordKind kind;
    std::size_t addressBytes; // bytes of the address field (a count record's count)
};

// By record type 0 to 9. Type 4 is reserved: it carries nothing the image needs.
constexpr std::array<RecordLayout, 10> kLayouts{{{RecordKind::Header, 2},
                                                 {RecordKind::Data, 2},
                                                 {RecordKind::Data, 3},
                                                 {RecordKind::Data, 4},
                                                 {RecordKind::Reserved, 0},
                                                 {RecordKind::Count, 2},
                                                 {RecordKind::Count, 3},
                                                 {RecordKind::End, 4},
                                                 {RecordKind::End, 3},
                                                 {RecordKind::End, 2}}};

// One line as the reader sees it. It points into the line; nothing is copied.
struct RecordLine {
    RecordKind kind = RecordKind::Blank;
    DWORD address = 0;          // load address of a data record; a count record's count
    std::size_t dataCount = 0;  // data bytes behind the address
    std::size_t dataOffset = 0; // of the data among the decoded bytes
    QLatin1String damage;       // why a damaged line is refused
};

RecordLine Damaged(QLatin1String why) {
    RecordLine line;
    line.kind = RecordKind::Damaged;
    line.damage = why;
    return line;
}

bool IsBlank(std::string_view line) {
    return std::all_of(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\t'; });
}

// The bytes of one record line as hex pairs from character 2 on (count, address, data,
// checksum), decoded once.
struct DecodedLine {
    std::array<BYTE, kMaxRecordLineLength / 2 + 8> bytes; // room for one word past the end
    std::size_t count = 0;
    unsigned sum = 0; // of every byte, for the checksum: only the low byte counts
};

constexpr std::uint64_t Repeated(std::uint8_t byte) {
    return 0x0101010101010101ull * byte;
}

// Whether all eight characters of `word` (one per byte) are 0-9, A-F or a-f. A byte's high
// bit after adding (0x80 - low) says it is at least `low`, after adding (0x7F - high) that it
// is above `high`; bytes below 0x80 never carry into their neighbours.
bool AllHexDigits(std::uint64_t word) {
    constexpr std::uint64_t high = Repeated(0x80);
    const std::uint64_t ascii = ~word & high;
    const std::uint64_t digit = (word + Repeated(0x80 - '0')) & ~(word + Repeated(0x7F - '9'));
    const std::uint64_t lower = word | Repeated(0x20);
    const std::uint64_t letter = (lower + Repeated(0x80 - 'a')) & ~(lower + Repeated(0x7F - 'f'));
    return ((digit | letter) & ascii & high) == high;
}

// Four bytes from eight hex digits (checked before), in 16-bit lanes: lane k holds the byte
// of characters 2k and 2k+1, in memory order when the word was read little-endian.
std::uint64_t PairLanes(std::uint64_t word) {
    // A digit's value is its low nibble, plus 9 for a letter (bit 6 set).
    const std::uint64_t nibbles = (word & Repeated(0x0F)) + ((word >> 6) & Repeated(0x01)) * 9;
    constexpr std::uint64_t laneLow = 0x000F000F000F000Full;
    return ((nibbles & laneLow) << 4) | ((nibbles >> 8) & laneLow);
}

std::uint32_t PackLanes(std::uint64_t lanes) {
    const std::uint64_t pairs = (lanes | (lanes >> 8)) & 0x0000FFFF0000FFFFull;
    return static_cast<std::uint32_t>(pairs | (pairs >> 16));
}

unsigned LaneSum(std::uint64_t lanes) {
    return static_cast<unsigned>((lanes + (lanes >> 16) + (lanes >> 32) + (lanes >> 48)) & 0xFFFF);
}

std::uint64_t LittleEndianWord(const char* text) {
    std::uint64_t word = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&word, text, sizeof word); // one load
    } else {
        for (int i = 0; i < 8; ++i)
            word |= std::uint64_t{static_cast<unsigned char>(text[i])} << (8 * i);
    }
    return word;
}

#if defined(__SSE2__) || defined(_M_X64)
// Sixteen characters at a time where every x86-64 processor can: eight bytes into the low
// half of `bytes` (the high half zero). False when one of them is not a hexadecimal digit.
bool DecodeSixteen(const char* text, __m128i& bytes) {
    const __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
    // Signed compares: bytes above 0x7F are negative and fall outside both ranges.
    const __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(chars, _mm_set1_epi8('0' - 1)),
                                        _mm_cmplt_epi8(chars, _mm_set1_epi8('9' + 1)));
    const __m128i lower = _mm_or_si128(chars, _mm_set1_epi8(0x20));
    const __m128i letter = _mm_and_si128(_mm_cmpgt_epi8(lower, _mm_set1_epi8('a' - 1)),
                                         _mm_cmplt_epi8(lower, _mm_set1_epi8('f' + 1)));
    if (_mm_movemask_epi8(_mm_or_si128(digit, letter)) != 0xFFFF)
        return false;
    const __m128i nibbles = _mm_add_epi8(_mm_and_si128(chars, _mm_set1_epi8(0x0F)),
                                         _mm_and_si128(letter, _mm_set1_epi8(9)));
    // 16-bit lanes hold the high digit's value in their low byte, the low digit's above it.
    const __m128i pairs =
        _mm_or_si128(_mm_slli_epi16(_mm_and_si128(nibbles, _mm_set1_epi16(0xFF)), 4),
                     _mm_srli_epi16(nibbles, 8));
    bytes = _mm_packus_epi16(pairs, _mm_setzero_si128());
    return true;
}

// Keeps bytes `skip` to 7 of the eight in the low half of a decoded block, zeroing the rest.
__m128i WithoutFirst(__m128i bytes, std::size_t skip) {
    static constexpr std::array<std::uint8_t, 24> kKeep{
        0,    0,    0,    0,    0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF,
        0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0,    0,    0,    0};
    const __m128i keep = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeep.data() + 8 - skip));
    return _mm_and_si128(bytes, keep);
}

// A line of at least sixteen characters from character 2 on, of an even length, in blocks of
// sixteen; the last block is the line's last sixteen characters, read again where they overlap
// the block before (the bytes decoded twice are written again and left out of the sum).
bool DecodeInBlocks(std::string_view line, DecodedLine& decoded) {
    const std::size_t last = line.size() - 16;
    __m128i sums = _mm_setzero_si128();
    std::size_t decodedUpTo = 2; // characters before this one are decoded
    for (std::size_t at = 2;; at = std::min(at + 16, last)) {
        __m128i bytes;
        if (!DecodeSixteen(line.data() + at, bytes))
            return false;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(decoded.bytes.data() + (at - 2) / 2), bytes);
        const __m128i summed = WithoutFirst(bytes, (decodedUpTo - at) / 2);
        sums = _mm_add_epi64(sums, _mm_sad_epu8(summed, _mm_setzero_si128()));
        decodedUpTo = at + 16;
        if (at == last)
            break;
    }
    decoded.count = (line.size() - 2) / 2;
    decoded.sum = static_cast<unsigned>(_mm_cvtsi128_si32(sums));
    return true;
}
#endif

// Decodes the hex pairs from character 2 on, many characters at a time, summing as it goes.
// False when any character from there on is not a hexadecimal digit (a lone last one too).
bool DecodeHexPairs(std::string_view line, DecodedLine& decoded) {
#if defined(__SSE2__) || defined(_M_X64)
    if (line.size() >= 18 && line.size() % 2 == 0)
        return DecodeInBlocks(line, decoded);
#endif
    std::size_t i = 2;
    std::uint64_t laneSums = 0; // at most 31 words of 255 per lane: no lane overflows
    for (; i + 8 <= line.size(); i += 8) {
        const std::uint64_t word = LittleEndianWord(line.data() + i);
        if (!AllHexDigits(word))
            return false;
        const std::uint64_t lanes = PairLanes(word);
        laneSums += lanes;
        const std::uint32_t packed = PackLanes(lanes);
        std::memcpy(decoded.bytes.data() + decoded.count, &packed, sizeof packed);
        decoded.count += 4;
    }
    decoded.sum = LaneSum(laneSums);
    for (; i + 1 < line.size(); i += 2) {
        const int high = StrictDigit(line[i]);
        const int low = StrictDigit(line[i + 1]);
        if ((high | low) < 0)
            return false;
        decoded.bytes[decoded.count++] = static_cast<BYTE>(high * 16 + low);
        decoded.sum += static_cast<unsigned>(high * 16 + low);
    }
    return i == line.size() || StrictDigit(line[i]) >= 0;
}

// The address field of a record: `addressBytes` bytes after the count, high byte first.
DWORD RecordAddress(const DecodedLine& decoded, std::size_t addressBytes) {
    DWORD address = 0;
    for (std::size_t i = 1; i <= addressBytes; ++i)
        address = (address << 8) | decoded.bytes[i];
    return address;
}

// Everything but a header must be a whole record: mark, type digit, count, exactly `count`
// bytes as hex pairs, and a checksum that makes all of them sum to 0xFF in their low byte.
RecordLine ReadRecordLine(std::string_view line, DecodedLine& decoded) {
    if (line.empty() || ((line[0] == ' ' || line[0] == '\t') && IsBlank(line)))
        return {};
    // A firmware file is records and nothing else: a foreign line means a foreign file.
    if (line.size() < 2 || (line[0] != 'S' && line[0] != 's') || line[1] < '0' || line[1] > '9')
        return Damaged(text::ReasonNotARecord);
    const RecordLayout layout = kLayouts[static_cast<std::size_t>(line[1] - '0')];
    RecordLine record;
    record.kind = layout.kind;
    if (layout.kind == RecordKind::Header)
        return record; // free text by custom; nothing of it reaches the device
    if (line.size() > kMaxRecordLineLength)
        return Damaged(text::ReasonLineTooLong);
    if (!DecodeHexPairs(line, decoded))
        return Damaged(text::ReasonNotHex);
    const std::size_t byteCount = decoded.count > 0 ? decoded.bytes[0] : 0;
    if (byteCount < layout.addressBytes + 1 || line.size() != 4 + 2 * byteCount)
        return Damaged(text::ReasonByteCount);
    if ((decoded.sum & 0xFF) != 0xFF)
        return Damaged(text::ReasonChecksum);
    record.address = RecordAddress(decoded, layout.addressBytes);
    record.dataCount = byteCount - layout.addressBytes - 1;
    record.dataOffset = 1 + layout.addressBytes;
    if (record.dataCount > kMaxRecordDataBytes)
        return Damaged(text::ReasonLineTooLong);
    return record;
}

// The record as the reader's state describes it; the data stays as text in m_szData.
void TakeDataRecord(CSRecordReader& reader, std::string_view line, const RecordLine& record) {
    reader.m_dwRecordAddress = record.address;
    reader.m_nDataCount = static_cast<BYTE>(record.dataCount);
    std::memcpy(reader.m_szData, line.data() + 2 + 2 * record.dataOffset, 2 * record.dataCount);
}

// Grows the image to at least `needed` bytes. Grows by doubling so that a file of many small
// gaps does not reallocate per record.
bool GrowImage(std::vector<BYTE>& image, std::size_t needed) {
    const std::size_t grown = std::min(2 * image.size(), kMaxFirmwareImageSize);
    try {
        image.resize(std::max(needed, grown));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// Makes room for `extra` more bytes behind the image.
bool EnsureRoom(CSRecordReader& reader, std::size_t extra) {
    if (reader.m_pImage == nullptr)
        return false;
    // 64 bits: a gap of nearly 4 GiB must not wrap around on a 32-bit build.
    const std::uint64_t needed = std::uint64_t{reader.m_nImageLength} + extra;
    if (needed > kMaxFirmwareImageSize)
        return false;
    return needed <= reader.m_pImage->size() ||
           GrowImage(*reader.m_pImage, static_cast<std::size_t>(needed));
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

// Where the record at the start of `rest` ends by its own byte count, when the line end
// stands right there; 0 otherwise.
std::size_t LengthByCount(std::string_view rest) {
    if (rest.size() < 4 || StrictDigit(rest[2]) < 0 || StrictDigit(rest[3]) < 0)
        return 0;
    const std::size_t length = 4 + 2 * std::size_t{HexByte(rest[2], rest[3])};
    if (length < rest.size() && rest[length] == '\n')
        return length;
    if (length + 1 < rest.size() && rest[length] == '\r' && rest[length + 1] == '\n')
        return length;
    return 0;
}

// Takes the next line and reads it. A record whose byte count points at a line end is read
// without searching for it: once all its characters are found to be hexadecimal digits, no
// line end can stand among them, so the line is exactly that long. Anything else (a header,
// a damaged or foreign line) is read again as the line that the search finds.
RecordLine TakeRecordLine(std::string_view& rest, DecodedLine& decoded) {
    if (const std::size_t length = LengthByCount(rest)) {
        decoded.count = 0;
        const RecordLine record = ReadRecordLine(rest.substr(0, length), decoded);
        if (record.kind != RecordKind::Damaged && record.kind != RecordKind::Header) {
            rest.remove_prefix(length + (rest[length] == '\r' ? 2 : 1));
            return record;
        }
    }
    decoded.count = 0;
    return ReadRecordLine(TakeLine(rest), decoded);
}

// Why a file is refused: the line it was found on (0: the file as a whole) and the reason.
struct Refusal {
    int line = 0;
    QString reason;
};

// What the lines read so far say about the file as a whole.
struct FileProgress {
    int line = 0; // 1-based number of the line being read
    DWORD dataRecords = 0;
    int lastDataLine = 0;
    bool addressFixed = false;     // a record with data has fixed what image byte 0 stands for
    std::uint64_t recordEnd = 0;   // the address behind the last data record
    bool ended = false;            // an end record has been read
    bool countFollowsData = false; // a count record stands after the last data record
};

// Two files run together, or records out of order, would put bytes where the file's maker did
// not: records are taken only in ascending order, within 32-bit addresses, and only before an
// end record.
std::optional<Refusal> CheckDataRecord(const FileProgress& file, const RecordLine& record) {
    if (file.ended)
        return Refusal{file.line, QString(text::ReasonDataAfterEnd)};
    if (record.address + std::uint64_t{record.dataCount} > kAddressSpaceEnd)
        return Refusal{file.line,
                       QString::asprintf(text::ReasonRecordPastTopFormat.data(), record.address)};
    if (file.addressFixed && record.address < file.recordEnd)
        return Refusal{file.line,
                       QString::asprintf(text::ReasonRecordBelowFormat.data(), record.address,
                                         static_cast<unsigned long long>(file.recordEnd))};
    return std::nullopt;
}

// Appends the decoded data of the current record behind the image.
bool StoreDecodedData(CSRecordReader& reader, const BYTE* data) {
    const std::size_t count = reader.m_nDataCount;
    if (!EnsureRoom(reader, count))
        return false;
    // Words, then bytes: a record's few bytes are copied faster than a copy of unknown
    // length starts up.
    BYTE* out = reader.m_pImage->data() + reader.m_nImageLength;
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8)
        std::memcpy(out + i, data + i, 8);
    for (; i < count; ++i)
        out[i] = data[i];
    reader.m_nImageLength += static_cast<DWORD>(count);
    return true;
}

// A data record counts for the count records after it and moves the line a cut-short file
// is blamed on.
void CountDataRecord(FileProgress& file) {
    ++file.dataRecords;
    file.lastDataLine = file.line;
    file.countFollowsData = false;
}

// The data was decoded with the line; it goes into the image without the text round trip
// of StoreRecordData.
std::optional<Refusal> AppendDataRecord(CSRecordReader& reader, FileProgress& file,
                                        const DecodedLine& decoded, const RecordLine& record) {
    if (auto refusal = CheckDataRecord(file, record))
        return refusal;
    CountDataRecord(file);
    if (record.dataCount == 0 && !file.addressFixed)
        return std::nullopt; // an empty record fixes no address
    reader.m_dwRecordAddress = record.address;
    reader.m_nDataCount = static_cast<BYTE>(record.dataCount);
    // The first record with data fixes the address that image byte 0 stands for.
    if (!file.addressFixed)
        reader.m_dwNextAddress = reader.m_dwRecordAddress;
    file.addressFixed = true;
    file.recordEnd = std::uint64_t{record.address} + record.dataCount;
    const std::uint64_t grown = std::uint64_t{reader.m_nImageLength} +
                                (record.address - reader.m_dwNextAddress) + record.dataCount;
    if (grown > kMaxFirmwareImageSize)
        return Refusal{file.line, QString(text::ReasonImageTooLarge)};
    const bool stored = FillAddressGap(reader) &&
                        StoreDecodedData(reader, decoded.bytes.data() + record.dataOffset);
    reader.m_dwNextAddress += reader.m_nDataCount;
    if (!stored)
        return Refusal{file.line, QString(text::ReasonOutOfMemory)};
    return std::nullopt;
}

// A count record vouches for the data records before it; one that disagrees means records
// were lost or added on the way.
std::optional<Refusal> CheckCountRecord(FileProgress& file, const RecordLine& record) {
    if (record.address != file.dataRecords)
        return Refusal{file.line, QString::asprintf(text::ReasonCountFormat.data(),
                                                    static_cast<unsigned>(record.address),
                                                    static_cast<unsigned>(file.dataRecords))};
    file.countFollowsData = true;
    return std::nullopt;
}

// A file that ends without saying so may have been cut short.
std::optional<Refusal> CheckComplete(const CSRecordReader& reader, const FileProgress& file) {
    if (file.dataRecords == 0)
        return Refusal{0, QString(text::ReasonNoDataRecords)};
    // An empty image would have boot erase the flash for nothing to write.
    if (reader.m_nImageLength == 0)
        return Refusal{0, QString(text::ReasonNoDataBytes)};
    if (!file.ended && !file.countFollowsData)
        return Refusal{file.lastDataLine, QString(text::ReasonNoEndRecord)};
    return std::nullopt;
}

// The common line of a converter's file, taken in one step: a data record with data whose
// byte count points at its LF and that continues the image right where the record before it
// ended. False, with nothing changed, for any other line: the general path reads that one.
bool TakeContinuingRecord(std::string_view& rest, CSRecordReader& reader, FileProgress& file,
                          DecodedLine& decoded) {
    if (!file.addressFixed || file.ended || rest.size() < 4 || rest[0] != 'S' || rest[1] < '1' ||
        rest[1] > '3')
        return false;
    const int high = StrictDigit(rest[2]);
    const int low = StrictDigit(rest[3]);
    if ((high | low) < 0)
        return false;
    const std::size_t count = static_cast<std::size_t>(high * 16 + low);
    const std::size_t length = 4 + 2 * count;
    const std::size_t addressBytes = static_cast<std::size_t>(rest[1] - '0') + 1;
    if (length > kMaxRecordLineLength || length >= rest.size() || rest[length] != '\n' ||
        count <= addressBytes + 1)
        return false;
    decoded.count = 0;
    if (!DecodeHexPairs(rest.substr(0, length), decoded) || (decoded.sum & 0xFF) != 0xFF)
        return false;
    const DWORD address = RecordAddress(decoded, addressBytes);
    const std::size_t dataCount = count - addressBytes - 1;
    std::vector<BYTE>& image = *reader.m_pImage;
    if (address != file.recordEnd || address != reader.m_dwNextAddress ||
        std::uint64_t{address} + dataCount > kAddressSpaceEnd ||
        std::uint64_t{reader.m_nImageLength} + dataCount > image.size())
        return false;
    std::memcpy(image.data() + reader.m_nImageLength, decoded.bytes.data() + 1 + addressBytes,
                dataCount);
    ++file.line;
    CountDataRecord(file);
    file.recordEnd = std::uint64_t{address} + dataCount;
    reader.m_dwRecordAddress = address;
    reader.m_nDataCount = static_cast<BYTE>(dataCount);
    reader.m_nImageLength += static_cast<DWORD>(dataCount);
    reader.m_dwNextAddress += static_cast<DWORD>(dataCount);
    rest.remove_prefix(length + 1);
    return true;
}

std::optional<Refusal> AppendRecords(CSRecordReader& reader, std::string_view contents) {
    FileProgress file;
    DecodedLine decoded;        // one buffer for every line
    while (!contents.empty()) { // every turn takes at least one character
        if (TakeContinuingRecord(contents, reader, file, decoded))
            continue;
        ++file.line;
        const RecordLine record = TakeRecordLine(contents, decoded);
        std::optional<Refusal> refusal;
        switch (record.kind) {
        case RecordKind::Blank:
        case RecordKind::Header:
        case RecordKind::Reserved:
            break;
        case RecordKind::Damaged:
            return Refusal{file.line, QString(record.damage)};
        case RecordKind::End:
            file.ended = true; // its start address is not used
            break;
        case RecordKind::Count:
            refusal = CheckCountRecord(file, record);
            break;
        case RecordKind::Data:
            refusal = AppendDataRecord(reader, file, decoded, record);
            break;
        }
        if (refusal)
            return refusal;
    }
    return CheckComplete(reader, file);
}

void Refuse(Outcome& outcome, const Refusal& refusal) {
    outcome.Fail(Cause::FileRefused, QString(text::UnableToReadFirmwareFile));
    if (refusal.line > 0)
        outcome.details.insert(QString::fromLatin1(detail::kLine), refusal.line);
    outcome.details.insert(QString::fromLatin1(detail::kReason), refusal.reason);
}

std::optional<Refusal> FileSizeRefusal(std::size_t size) {
    if (size < kMinFirmwareFileSize)
        return Refusal{0, QString(text::ReasonFileEmpty)};
    if (size > kMaxFirmwareFileSize)
        return Refusal{0, QString(text::ReasonFileTooLarge)};
    return std::nullopt;
}

// The file's bytes, read into a buffer that is not cleared first: the read fills all of it.
struct FileContents {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
};

std::optional<Refusal> ReadWholeFile(QFile& file, FileContents& contents) {
    const qint64 size = file.size();
    if (size < 0)
        return Refusal{0, QString(text::ReasonFileUnreadable)};
    if (auto refusal = FileSizeRefusal(static_cast<std::size_t>(size)))
        return refusal;
    contents.bytes.reset(new (std::nothrow) char[static_cast<std::size_t>(size)]);
    if (!contents.bytes)
        return Refusal{0, QString(text::ReasonOutOfMemory)};
    if (file.read(contents.bytes.get(), size) != size)
        return Refusal{0, QString(text::ReasonFileUnreadable)};
    contents.size = static_cast<std::size_t>(size);
    return std::nullopt;
}

} // namespace

int HexDigitValue(char digit) {
    return kHexDigitTable[static_cast<unsigned char>(digit)];
}

SRecordLine ParseSRecord(CSRecordReader& reader, std::string_view line) {
    DecodedLine decoded;
    const RecordLine record = ReadRecordLine(line, decoded);
    switch (record.kind) {
    case RecordKind::Damaged:
        return SRecordDamaged;
    case RecordKind::Data:
        TakeDataRecord(reader, line, record);
        return SRecordData;
    default:
        return SRecordSkipped;
    }
}

bool FillAddressGap(CSRecordReader& reader) {
    if (reader.m_dwRecordAddress <= reader.m_dwNextAddress) {
        // Continues the image (the file reader refuses a record below its end): appended at
        // the end of the image, nothing already in it is overwritten.
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
    if (auto refusal = FileSizeRefusal(fileContents.size())) {
        Refuse(outcome, *refusal);
        return std::nullopt;
    }
    // Data takes two characters per byte, so half the file's size holds the image unless
    // gaps are filled; EnsureRoom grows it then.
    std::vector<BYTE> image;
    try {
        image.resize(fileContents.size() / 2 + 1);
    } catch (const std::bad_alloc&) {
        Refuse(outcome, {0, QString(text::ReasonOutOfMemory)});
        return std::nullopt;
    }
    reader.m_pImage = &image;
    reader.m_nImageLength = 0;
    reader.m_dwNextAddress = 0;
    reader.m_nDataCount = 0;
    const std::optional<Refusal> refusal = AppendRecords(reader, fileContents);
    reader.m_pImage = nullptr;
    if (refusal) {
        Refuse(outcome, *refusal); // a damaged file is never turned into an image
        return std::nullopt;
    }
    image.resize(reader.m_nImageLength);
    nImageLength = static_cast<int>(reader.m_nImageLength);
    return image;
}

bool OpenFirmwareFile(QFile& file, Outcome& outcome) {
    outcome.details.insert(QString::fromLatin1(detail::kFile), file.fileName());
    // A FIFO or a device node would block the open (or the read) for good; a folder has no
    // records. Only a regular file (or a link to one) is opened.
    if (QFileInfo(file.fileName()).isFile() && file.open(QIODevice::ReadOnly))
        return true;
    outcome.Fail(Cause::FileUnopenable, QString(text::UnableToOpenFile));
    return false;
}

std::optional<std::vector<BYTE>> LoadFirmwareImage(CSRecordReader& reader, const QString& path,
                                                   int& nImageLength, Outcome& outcome) {
    QFile file(path);
    if (!OpenFirmwareFile(file, outcome))
        return std::nullopt;
    FileContents contents;
    if (auto refusal = ReadWholeFile(file, contents)) {
        Refuse(outcome, *refusal);
        return std::nullopt;
    }
    file.close();
    return BuildFirmwareImage(reader, {contents.bytes.get(), contents.size}, nImageLength, outcome);
}
