// The S-record reader: single lines, then whole files in a temporary folder as
// the upgrade handler reads them, with the messages recorded instead of shown.
#include "firmware/SRecordReader.h"

#include "MessageRecorder.h"
#include "SRecordFile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdlib>

#include <string>
#include <variant>
#include <vector>

namespace {

// Data lines are checked through the images they make (below).
TEST(ParseSRecord, LineIsSkippedOrDamaged) {
    CSRecordReader reader{};
    // Headers are free text; end, count and type 4 records must be whole, as data records.
    for (const char* line :
         {"S00600004844521B", "S0 made by hand", "S9030000FC", "S70500001000EA", "S804001000EB",
          "S5030003F9", "S604010002F8", "S4030000FC", "", "  \t "})
        EXPECT_EQ(ParseSRecord(reader, line), SRecordSkipped) << line;
    // Not a record (Intel HEX, not at the line start, text); wrong checksum; a character that
    // is not hexadecimal; a count that does not match the line, or is too small for the address;
    // in end, count and type 4 records as in data records.
    EXPECT_EQ(ParseSRecord(reader, "S17E" + std::string(248, '0') + "0000"), SRecordDamaged);
    EXPECT_EQ(ParseSRecord(reader, ":10010000214601360121470136007EFE09D21901"), SRecordDamaged);
    for (const char* line :
         {"S", " S1030000FC", "See the manual", "SX0300", "S10520001122FD", "S10520001122FE",
          "S1052000112GFC", "S1052 001122FC", "S1G52000112200", "S105200011220Z",
          "S1078000DEADBEEF40 ", "S1", "S103000", "S1030000FC00", "S1030000F", "S1020000"})
        EXPECT_EQ(ParseSRecord(reader, line), SRecordDamaged) << line;
    for (const char* line : {"S2030000000", "S30400000000", "S1000", "S1FF", "S9030000FD",
                             "S5030003", "S70500001000E", "S4", "S6"})
        EXPECT_EQ(ParseSRecord(reader, line), SRecordDamaged) << line;
    // Every character next to the ranges 0-9, A-F, a-f, and bytes above 0x7F, anywhere in a
    // record long enough to be read eight characters at a time.
    const std::string whole = "S1130000000102030405060708090a0B0C0D0E0F74";
    EXPECT_EQ(ParseSRecord(reader, whole), SRecordData);
    for (std::size_t at = 2; at < whole.size(); ++at) {
        for (const char bad : std::string("/:@G`g\x80\xB0\xC6")) {
            std::string line = whole;
            line[at] = bad;
            EXPECT_EQ(ParseSRecord(reader, line), SRecordDamaged) << line;
        }
    }
    // A view that ends inside a larger buffer: what follows it is not record text.
    const std::string_view text = "S1050000AABB00";
    EXPECT_EQ(ParseSRecord(reader, text.substr(0, 9)), SRecordDamaged);
    EXPECT_EQ(ParseSRecord(reader, text.substr(0, 1)), SRecordDamaged);
}

std::vector<BYTE> Hex(const char* hex) {
    const QByteArray bytes = QByteArray::fromHex(QByteArray(hex)); // spaces are skipped
    return {bytes.begin(), bytes.end()};
}

// A file of exactly `size` bytes with the records of TestImage(imageSize), padded by a header.
QByteArray FileOfSize(std::size_t size, std::size_t imageSize) {
    const QByteArray text = testsupport::SRecordText(testsupport::TestImage(imageSize));
    return text + "S0" + QByteArray(static_cast<qsizetype>(size) - text.size() - 3, '0') + '\n';
}

// A refusal's details as "line N: reason", or the reason alone; empty for none.
std::string Refusal(const Outcome& read) {
    const QVariant line = read.details.value(QStringLiteral("line"));
    const QString reason = read.details.value(QStringLiteral("reason")).toString();
    return (line.isValid() ? QStringLiteral("line %1: ").arg(line.toInt()) : QString())
               .toStdString() +
           reason.toStdString();
}

struct FileCase {
    const char* name;
    QByteArray text;
    // The image, or the refusal: "Unable to read firmware file" with "line N: reason" (or the
    // reason alone) in its details.
    std::variant<std::vector<BYTE>, const char*> expected;
};

TEST(SRecordFile, RecordsBecomeOneContiguousImageOrTheWholeFileIsRefused) {
    constexpr std::size_t kLargeImage = 32 * 68000; // its records fill nearly 5 MiB
    // 16 data bytes at 0x1000, a 16-byte hole, 16 data bytes.
    const QByteArray gapRecords = "S00600004844521B\n"
                                  "S113100000112233445566778899AABBCCDDEEFFE4\n"
                                  "S11310200102030405060708090A0B0C0D0E0F1034\n";
    const QByteArray gapFile = gapRecords + "S9030000FC\n";
    const auto gapImage = Hex("00112233445566778899AABBCCDDEEFF FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
                              "0102030405060708090A0B0C0D0E0F10");
    std::vector<BYTE> largest(kMaxFirmwareImageSize, 0xFF);
    largest.front() = 0x5A;
    largest.back() = 0xA5;
    const FileCase cases[] = {
        // Refused files first: the reader must serve the next read all the same.
        {"a CR that is not part of a line end", "S1078000DEADBEEF40\r\r\nS9030000FC\n",
         "line 1: a character that is not a hexadecimal digit"},
        {"damaged record after good ones", gapRecords + "S10F1010010203040506070809\nS9030000FC\n",
         "line 4: the byte count does not match the line"},
        {"damaged end record", "S1078000DEADBEEF40\nS9030000FD\n", "line 2: wrong checksum"},
        {"damaged count record", "S1078000DEADBEEF40\nS503000\n",
         "line 2: the byte count does not match the line"},
        {"text whose lines start with S", "See the manual\nS1078000DEADBEEF40\nS9030000FC\n",
         "line 1: not an S-record"},
        {"empty file", "", "the file is empty"},
        {"a line of 255 characters", "S17D" + QByteArray(249, '0') + "82\nS9030000FC",
         "line 1: a record line longer than 254 characters"},
        {"one byte over 5 MiB", FileOfSize(kMaxFirmwareFileSize + 1, kLargeImage),
         "the file is larger than 5 MiB"},
        {"image one byte over 16 MiB", "S306000000005A9F\nS30601000000A553\nS70500000000FA\n",
         "line 2: the image would be larger than 16 MiB"},
        {"gap near 4 GiB does not wrap", "S306000000005A9F\nS306FFFFFFFFA558\nS70500000000FA\n",
         "line 2: the image would be larger than 16 MiB"},
        {"record past 0xFFFFFFFF", "S308FFFFFFFE010203F6\nS70500000000FA\n",
         "line 1: the record at 0xFFFFFFFE runs past address 0xFFFFFFFF"},
        {"only a line end", "\n", "no data records"},
        {"header and end record only", "S00600004844521B\nS9030000FC\n", "no data records"},
        {"data records without data", "S1030000FC\nS9030000FC\n", "the data records hold no data"},
        {"cut at a line end", gapRecords,
         "line 3: no end record (S7, S8, S9) and no count record (S5, S6) after the last data "
         "record"},
        {"cut after a count record in the middle", "S1078000DEADBEEF40\nS5030001FB\nS1048004ABCC\n",
         "line 3: no end record (S7, S8, S9) and no count record (S5, S6) after the last data "
         "record"},
        {"S5 count disagrees", gapRecords + "S5030003F9\nS9030000FC\n",
         "line 4: the count record says 3 data records, 2 come before it"},
        {"S6 count is 24 bits", gapRecords + "S604010002F8\n",
         "line 4: the count record says 65538 data records, 2 come before it"},
        {"record goes back", "S107200001020304CE\nS10510000506DF\nS9030000FC\n",
         "line 2: the record at 0x1000 lies below the end 0x2004 of the record before it"},
        {"records overlap", "S107200001020304CE\nS1052002AABB73\nS9030000FC\n",
         "line 2: the record at 0x2002 lies below the end 0x2004 of the record before it"},
        {"data after the end record", "S1078000DEADBEEF40\nS9030000FC\nS1048004ABCC\n",
         "line 3: data after the end record"},
        // A record that continues the one before it is checked like any other.
        {"continuing record, wrong checksum", "S1078000DEADBEEF40\nS1048004ABCD\nS9030000FC\n",
         "line 2: wrong checksum"},
        {"continuing record of 256 characters",
         "S1078000DEADBEEF40\nS17E8004" + QByteArray(246, '0') + "FD\nS9030000FC\n",
         "line 2: a record line longer than 254 characters"},
        {"continuing record, count too small for its address",
         "S1077D7CDEADBEEFC7\nS1027D80\nS9030000FC\n",
         "line 2: the byte count does not match the line"},
        {"continuing record, more after it on its line",
         "S1078000DEADBEEF40\nS1048004ABCC00\nS9030000FC\n",
         "line 2: the byte count does not match the line"},
        {"continuing record past 0xFFFFFFFF",
         "S309FFFFFFF001020304FF\nS315FFFFFFF4000102030405060708090A0B0C0D0E0F81\nS70500000000FA\n",
         "line 2: the record at 0xFFFFFFF4 runs past address 0xFFFFFFFF"},
        {"damaged line after a continuing record",
         "S1078000DEADBEEF40\nS1048004ABCC\nS1048005ABCX\nS9030000FC\n",
         "line 3: a character that is not a hexadecimal digit"},
        {"damaged line after a continuing record, CRLF",
         "S1078000DEADBEEF40\r\nS1048004ABCC\r\nS1048005ABCX\r\nS9030000FC\r\n",
         "line 3: a character that is not a hexadecimal digit"},
        {"record at 0 after one that ends at 4 GiB",
         "S309FFFFFFFC01020304F3\nS307000000000506ED\nS70500000000FA\n",
         "line 2: the record at 0x0 lies below the end 0x100000000 of the record before it"},
        // Files as compilers and converters write them.
        {"longest record", "S17D" + QByteArray(248, '0') + "82\nS9030000FC",
         std::vector<BYTE>(122, 0)},
        {"end record with bytes after its address",
         "S1078000DEADBEEF40\nS70D0000000000008004AABBCCDD60\n", Hex("DEADBEEF")},
        {"gap between 0x1000 and 0x1020", gapFile, gapImage},
        {"lower-case marks and digits", gapFile.toLower(), gapImage},
        {"CRLF line ends", QByteArray(gapFile).replace("\n", "\r\n"), gapImage},
        {"ending in a count record", gapRecords + "S5030002FA\n", gapImage},
        {"first record at 0x8000 has no fill before it", "S1078000DEADBEEF40\nS9030000FC\n",
         Hex("DEADBEEF")},
        {"empty, blank, header, count, end and type 4 records skipped",
         "\n  \nS0 made by hand\nS5030000FC\nS1078000DEADBEEF40\n\r\nS5030001FB\nS70500001000EA\n"
         "S804001000EB\nS4030000FC\n",
         Hex("DEADBEEF")},
        {"last line without line end", "S1078000DEADBEEF40\nS9030000FC", Hex("DEADBEEF")},
        {"24- and 32-bit addresses", "S206123456A1B20A\nS3060012345AC396\nS70500000000FA\n",
         Hex("A1B2 FFFF C3")},
        {"empty record at 0 fixes no address", "S1030000FC\nS1078000DEADBEEF40\nS9030000FC\n",
         Hex("DEADBEEF")},
        {"image of 16 MiB", "S306000000005A9F\nS30600FFFFFFA557\nS70500000000FA\n", largest},
        {"file of 5 MiB", FileOfSize(kMaxFirmwareFileSize, kLargeImage),
         testsupport::TestImage(kLargeImage)},
    };
    QTemporaryDir dir;
    testsupport::MessageRecorder messages;
    CSRecordReader reader{}; // one reader for every read, as the handler keeps it
    int files = 0;
    // Reads `path`; a refused file shows the one box `error` (caption|text|help id|icon) and
    // names the file in its details.
    const auto load = [&](const QString& path, const char* error, Outcome& read) {
        int length = -1;
        const auto image = LoadFirmwareImage(reader, path, length, read);
        ShowOutcome(read);
        EXPECT_EQ(reader.m_pImage, nullptr); // no pointer into a returned image is kept
        EXPECT_EQ(length, image ? static_cast<int>(image->size()) : length);
        EXPECT_EQ(testsupport::TakeBox(messages).toStdString(), image ? "" : error);
        EXPECT_EQ(read.details.value(QStringLiteral("file")).toString(), path);
        return image;
    };
    for (const auto& c : cases) {
        const QString path = dir.filePath(QStringLiteral("image%1.s19").arg(files++));
        ASSERT_TRUE(testsupport::WriteFile(path, c.text)) << c.name;
        Outcome read;
        const auto image =
            load(path, "DELVOR RivivozUzuvod|Unable to read firmware file|0|E", read);
        const auto* expectedImage = std::get_if<std::vector<BYTE>>(&c.expected);
        ASSERT_EQ(image.has_value(), expectedImage != nullptr) << c.name << ": " << Refusal(read);
        EXPECT_TRUE(!image || *image == *expectedImage) << c.name; // no dump of a 16 MiB image
        EXPECT_EQ(Refusal(read), image ? "" : std::get<const char*>(c.expected)) << c.name;
    }
    for (const QString& path : {dir.filePath(QStringLiteral("missing.s19")), dir.path()}) {
        Outcome read;
        EXPECT_FALSE(load(path, "DELVOR RivivozUzuvod|Unable to open file|0|E", read).has_value());
    }
    // A file that gives fewer bytes than its size says (a kernel file: 4096 bytes, a few read).
    const QString shortRead = QStringLiteral("/sys/devices/system/cpu/online");
    if (QFileInfo(shortRead).size() > 4) {
        Outcome read;
        EXPECT_FALSE(
            load(shortRead, "DELVOR RivivozUzuvod|Unable to read firmware file|0|E", read));
        EXPECT_EQ(Refusal(read), "the file cannot be read");
    }
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// With too little memory for the image the file is refused, and the program goes on. Run in a
// child process whose address space is capped a few MiB above what it uses.
TEST(SRecordFileDeathTest, AnImageWithoutMemoryIsRefused) {
    // The child starts afresh rather than as a fork of a process that runs other threads.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("large.s19"));
    ASSERT_TRUE(testsupport::WriteFile(
        path, "S306000000005A9F\nS30600FFFFFFA557\nS70500000000FA\n")); // a 16 MiB image
    const auto refusedForMemory = [&] {
        QFile statm(QStringLiteral("/proc/self/statm"));
        if (!statm.open(QIODevice::ReadOnly))
            std::exit(2);
        const rlim_t used = statm.readAll().split(' ').front().toULongLong() * 4096;
        const rlimit cap{used + 4 * 1024 * 1024, used + 4 * 1024 * 1024};
        if (setrlimit(RLIMIT_AS, &cap) != 0)
            std::exit(3);
        CSRecordReader reader{};
        Outcome read;
        int length = -1;
        const bool refused = !LoadFirmwareImage(reader, path, length, read).has_value();
        std::exit(refused && Refusal(read) == "line 2: not enough memory for the image" ? 0 : 1);
    };
    EXPECT_EXIT(refusedForMemory(), ::testing::ExitedWithCode(0), "");
}
#endif

} // namespace
