// The S-record reader: single lines, then whole files in a temporary folder as
// the upgrade handler reads them, with the messages recorded instead of shown.
#include "firmware/SRecordReader.h"

#include "MessageRecorder.h"
#include "SRecordFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Data lines are checked through the images they make (below).
TEST(ParseSRecord, LineIsSkippedOrDamaged) {
    CSRecordReader reader{};
    for (const char* line : {"S00600004844521B", "S9030000FC", "S70500001000EA", "S804001000EB",
                             "S5030003F9", "S4", "S6", "SX0300", "", "  \t "})
        EXPECT_EQ(ParseSRecord(reader, line), SRecordSkipped) << line;
    // Not a record (Intel HEX, not at the line start); wrong checksum; a character that is not
    // hexadecimal; a count that does not match the line, or is too small for the address.
    EXPECT_EQ(ParseSRecord(reader, "S17E" + std::string(248, '0') + "0000"), SRecordDamaged);
    for (const char* line :
         {"S", ":10010000214601360121470136007EFE09D21901", " S1030000FC", "S10520001122FD",
          "S10520001122FE", "S1052000112GFC", "S1052 001122FC", "S1G52000112200", "S105200011220Z",
          "S1078000DEADBEEF40 ", "S1", "S103000", "S1030000FC00", "S1030000F", "S1020000",
          "S2030000000", "S30400000000", "S1000", "S1FF"})
        EXPECT_EQ(ParseSRecord(reader, line), SRecordDamaged) << line;
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

struct FileCase {
    const char* name;
    QByteArray text;
    std::optional<std::vector<BYTE>> image; // none: "Unable to read firmware file"
};

TEST(SRecordFile, RecordsBecomeOneContiguousImageOrTheWholeFileIsRefused) {
    constexpr std::size_t kLargeImage = 32 * 68000; // its records fill nearly 5 MiB
    // 16 data bytes at 0x1000, a 16-byte hole, 16 data bytes.
    const QByteArray gapFile = "S00600004844521B\n"
                               "S113100000112233445566778899AABBCCDDEEFFE4\n"
                               "S11310200102030405060708090A0B0C0D0E0F1034\n"
                               "S9030000FC\n";
    const auto gapImage = Hex("00112233445566778899AABBCCDDEEFF FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
                              "0102030405060708090A0B0C0D0E0F10");
    std::vector<BYTE> largest(kMaxFirmwareImageSize, 0xFF);
    largest.front() = 0x5A;
    largest.back() = 0xA5;
    const FileCase cases[] = {
        // Damaged files first: the reader must serve the next read all the same.
        {"a CR that is not part of a line end", "S1078000DEADBEEF40\r\r\n", {}},
        {"damaged record after good ones",
         "S00600004844521B\nS113100000112233445566778899AABBCCDDEEFFE4\nS10F1010010203040506070809",
         {}},
        {"empty file", "", {}},
        {"one byte over 5 MiB", FileOfSize(kMaxFirmwareFileSize + 1, kLargeImage), {}},
        {"image one byte over 16 MiB", "S306000000005A9F\nS30601000000A553\n", {}},
        {"gap near 4 GiB does not wrap", "S306000000005A9F\nS306FFFFFFFFA553\n", {}},
        {"only a line end", "\n", std::nullopt},
        {"longest record", "S17D" + QByteArray(248, '0') + "82", std::vector<BYTE>(122, 0)},
        {"gap between 0x1000 and 0x1020", gapFile, gapImage},
        {"lower-case marks and digits", gapFile.toLower(), gapImage},
        {"CRLF line ends", QByteArray(gapFile).replace("\n", "\r\n"), gapImage},
        {"first record at 0x8000 has no fill before it", "S1078000DEADBEEF40\n", Hex("DEADBEEF")},
        {"lower record appended, next gap measured from its end",
         "S107200001020304CE\nS10510000506DF\nS104100407E0\n", Hex("01020304 0506 FFFF 07")},
        {"S9 in the middle does not end reading", "S1078000DEADBEEF40\nS9030000FC\nS1048004ABCC\n",
         Hex("DEADBEEF AB")},
        {"empty, blank and count records skipped, types 4 to 6 too",
         "\n  \nS5030003F9\nS1078000DEADBEEF40\n\r\nS70500001000EA\nS804001000EB\n"
         "S4030000FC\nS6030000FC\n",
         Hex("DEADBEEF")},
        {"last line without line end", "S1078000DEADBEEF40", Hex("DEADBEEF")},
        {"24- and 32-bit addresses", "S206123456A1B20A\nS3060012345AC396\n", Hex("A1B2 FFFF C3")},
        {"empty record at 0 fixes no address", "S1030000FC\nS1078000DEADBEEF40\n", Hex("DEADBEEF")},
        {"image of 16 MiB", "S306000000005A9F\nS30600FFFFFFA557\n", largest},
        {"file of 5 MiB", FileOfSize(kMaxFirmwareFileSize, kLargeImage),
         testsupport::TestImage(kLargeImage)},
    };
    QTemporaryDir dir;
    testsupport::MessageRecorder messages;
    CSRecordReader reader{}; // one reader for every read, as the handler keeps it
    int files = 0;
    // Reads `path`; a refused file shows the one box `error` (caption|text|help id|icon).
    const auto load = [&](const QString& path, const char* error) {
        int length = -1;
        Outcome read;
        const auto image = LoadFirmwareImage(reader, path, length, read);
        ShowOutcome(read);
        EXPECT_EQ(reader.m_pImage, nullptr); // no pointer into a returned image is kept
        EXPECT_EQ(length, image ? static_cast<int>(image->size()) : length);
        EXPECT_EQ(testsupport::TakeBox(messages).toStdString(), image ? "" : error);
        return image;
    };
    for (const auto& c : cases) {
        const QString path = dir.filePath(QStringLiteral("image%1.s19").arg(files++));
        ASSERT_TRUE(testsupport::WriteFile(path, c.text)) << c.name;
        const auto image = load(path, "DELVOR RivivozUzuvod|Unable to read firmware file|0|E");
        ASSERT_EQ(image.has_value(), c.image.has_value()) << c.name;
        EXPECT_TRUE(!image || *image == *c.image) << c.name; // no dump of a 16 MiB image
    }
    for (const QString& path : {dir.filePath(QStringLiteral("missing.s19")), dir.path()})
        EXPECT_FALSE(load(path, "DELVOR RivivozUzuvod|Unable to open file|0|E").has_value());
}

} // namespace
