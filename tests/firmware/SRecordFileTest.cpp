// The reader as the upgrade handler uses it: real files in a temporary folder, messages
// recorded instead of shown.
#include "firmware/SRecordReader.h"

#include "MessageRecorder.h"
#include "res/Texts.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

std::vector<BYTE> Hex(const char* hex) {
    const QByteArray bytes = QByteArray::fromHex(QByteArray(hex)); // spaces are skipped
    return {bytes.begin(), bytes.end()};
}

std::vector<BYTE> Repeated(BYTE value, std::size_t count) {
    return std::vector<BYTE>(count, value);
}

std::vector<BYTE> Joined(std::initializer_list<std::vector<BYTE>> parts) {
    std::vector<BYTE> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// The 0x1000 / 0x1020 case: 16 data bytes, a 16-byte hole, 16 data bytes.
constexpr char kGapFile[] = "S00600004844521B\n"
                            "S113100000112233445566778899AABBCCDDEEFFE4\n"
                            "S11310200102030405060708090A0B0C0D0E0F1034\n"
                            "S9030000FC\n";

std::vector<BYTE> GapImage() {
    return Joined({Hex("00112233445566778899AABBCCDDEEFF"), Repeated(0xFF, 16),
                   Hex("0102030405060708090A0B0C0D0E0F10")});
}

class SRecordFile : public ::testing::Test {
protected:
    QString Write(const QByteArray& contents) {
        const QString path = m_dir.filePath(QStringLiteral("image%1.s19").arg(m_files++));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        EXPECT_EQ(file.write(contents), contents.size());
        return path;
    }

    std::optional<std::vector<BYTE>> Load(const QString& path) {
        m_length = -1;
        auto image = LoadFirmwareImage(m_reader, path, m_length);
        if (image) {
            EXPECT_EQ(static_cast<std::size_t>(m_length), image->size());
        }
        return image;
    }

    void ExpectOnlyMessage(QLatin1String text) {
        const auto messages = m_messages.messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text, QString(text));
        EXPECT_EQ(messages[0].icon, platform::MessageIcon::Error);
        m_messages.clear();
    }

    QTemporaryDir m_dir;
    testsupport::MessageRecorder m_messages;
    CSRecordReader m_reader{};
    int m_length = -1;
    int m_files = 0;
};

struct ReadCase {
    const char* name;
    QByteArray text;
    std::vector<BYTE> image;
};

TEST_F(SRecordFile, RecordsBecomeOneContiguousImage) {
    const ReadCase cases[] = {
        {"only header and end record", "S00600004844521B\nS9030000FC\n", {}},
        {"gap between 0x1000 and 0x1020", kGapFile, GapImage()},
        {"first record at 0x8000 has no fill before it", "S1078000DEADBEEF40\n", Hex("DEADBEEF")},
        {"lower record appended, next gap measured from its end",
         "S107200001020304CE\nS10510000506DF\nS104100407E0\n", Hex("01020304 0506 FFFF 07")},
        {"lower-case marks and digits", QByteArray(kGapFile).toLower(), GapImage()},
        {"CRLF line ends", QByteArray(kGapFile).replace("\n", "\r\n"), GapImage()},
        {"S9 in the middle does not end reading", "S1078000DEADBEEF40\nS9030000FC\nS1048004ABCC\n",
         Hex("DEADBEEF AB")},
        {"empty, blank and count records skipped, types 4 to 6 too",
         "\n  \nS5030003F9\nS1078000DEADBEEF40\n\r\nS70500001000EA\nS804001000EB\n"
         "S4030000FC\nS6030000FC\n",
         Hex("DEADBEEF")},
        {"last line without line end", "S1078000DEADBEEF40", Hex("DEADBEEF")},
        {"24- and 32-bit addresses", "S206123456A1B20A\nS3060012345AC396\n", Hex("A1B2 FFFF C3")},
        {"empty record at 0 fixes no address", "S1030000FC\nS1078000DEADBEEF40\n", Hex("DEADBEEF")},
    };
    for (const auto& c : cases) {
        const auto image = Load(Write(c.text));
        ASSERT_TRUE(image.has_value()) << c.name;
        EXPECT_EQ(*image, c.image) << c.name;
        EXPECT_EQ(m_messages.count(), 0u) << c.name;
    }
}

TEST_F(SRecordFile, DamagedDataRecordsRefuseTheWholeFile) {
    const std::pair<const char*, QByteArray> cases[] = {
        {"byte count below address and checksum", "S1020000\n"},
        {"more than 128 data bytes", "S384" + QByteArray(2 * 0x84, '0') + "\n"},
        {"damaged record after good ones", "S1078000DEADBEEF40\nS10780DEADBEEF40\n"},
        {"trailing space", "S1078000DEADBEEF40 \n"},
        {"a CR that is not part of a line end", "S1078000DEADBEEF40\r\r\n"},
        {"record cut short at end of file", "S1078000DEADBE"},
    };
    for (const auto& [name, text] : cases) {
        EXPECT_FALSE(Load(Write(text)).has_value()) << name;
        ExpectOnlyMessage(res::text::UnableToReadFirmwareFile);
    }
}

TEST_F(SRecordFile, DefectFixturesAreRefused) {
    for (const char* name : {"BrokenCount.s19", "LineTooLong.s19"}) {
        EXPECT_FALSE(Load(QStringLiteral(FIRMWARE_TEST_DATA_DIR "/") + QLatin1String(name)))
            << name;
        ExpectOnlyMessage(res::text::UnableToReadFirmwareFile);
    }
}

TEST_F(SRecordFile, GapAbove64KIsFilledExactly) {
    const auto image = Load(QStringLiteral(FIRMWARE_TEST_DATA_DIR "/GapAbove64K.s19"));
    ASSERT_TRUE(image.has_value());
    std::vector<BYTE> first(16), second(16), third(16);
    for (BYTE i = 0; i < 16; ++i) {
        first[i] = i;
        second[i] = static_cast<BYTE>(16 + i);
        third[i] = static_cast<BYTE>(32 + i);
    }
    // 0x1FFF0 bytes up to 0x20000, then 0xFFF0 more once the image is past 64 KiB.
    EXPECT_EQ(*image,
              Joined({first, Repeated(0xFF, 0x1FFF0), second, Repeated(0xFF, 0xFFF0), third}));
    EXPECT_EQ(m_length, 0x30010);
}

TEST_F(SRecordFile, ImageMayGrowTo16MiBAndNoFurther) {
    // One byte at 0, one byte at the last address that keeps the image within the limit.
    const auto image = Load(Write("S306000000005A9F\nS30600FFFFFFA557\n"));
    ASSERT_TRUE(image.has_value());
    ASSERT_EQ(image->size(), kMaxFirmwareImageSize);
    EXPECT_EQ(image->front(), 0x5A);
    EXPECT_EQ(image->back(), 0xA5);
    EXPECT_TRUE(
        std::all_of(image->begin() + 1, image->end() - 1, [](BYTE b) { return b == 0xFF; }));
    EXPECT_EQ(m_messages.count(), 0u);

    EXPECT_FALSE(Load(Write("S306000000005A9F\nS30601000000A553\n")).has_value());
    ExpectOnlyMessage(res::text::UnableToReadFirmwareFile);
    EXPECT_FALSE(Load(Write("S306000000005A9F\nS306FFFFFFFFA553\n")).has_value());
    ExpectOnlyMessage(res::text::UnableToReadFirmwareFile);
}

// A file of exactly `size` bytes: 32-byte S3 records at consecutive addresses, padded with one
// header record to the size. `image` receives what the records hold.
QByteArray RecordFileOfSize(qsizetype size, std::vector<BYTE>& image) {
    QByteArray text;
    text.reserve(size);
    DWORD address = 0;
    const qsizetype lineLength = 4 + 2 * (4 + 32 + 1) + 1;
    while (size - text.size() >= lineLength + 4) {
        QByteArray data(32, '\0');
        for (int i = 0; i < 32; ++i)
            data[i] = static_cast<char>((address + i) * 7);
        image.insert(image.end(), data.begin(), data.end());
        const QByteArray body = QByteArray::fromHex(
            "25" + QByteArray::number(address, 16).rightJustified(8, '0') + data.toHex());
        int sum = 0;
        for (const char byte : body)
            sum += static_cast<BYTE>(byte);
        text += "S3" + (body + char(~sum & 0xFF)).toHex().toUpper() + "\n";
        address += 32;
    }
    text += "S0" + QByteArray(size - text.size() - 3, '0') + "\n";
    return text;
}

TEST_F(SRecordFile, FileSizeMustBeFrom1ByteTo5MiB) {
    std::vector<BYTE> expected;
    const QByteArray largest = RecordFileOfSize(kMaxFirmwareFileSize, expected);
    ASSERT_EQ(static_cast<std::size_t>(largest.size()), kMaxFirmwareFileSize);
    const auto image = Load(Write(largest));
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(*image, expected);
    EXPECT_EQ(m_messages.count(), 0u);

    EXPECT_FALSE(Load(Write(largest + "\n")).has_value());
    ExpectOnlyMessage(res::text::UnableToReadFirmwareFile);
    EXPECT_FALSE(Load(Write(QByteArray())).has_value());
    ExpectOnlyMessage(res::text::UnableToReadFirmwareFile);

    const auto oneByte = Load(Write("\n"));
    ASSERT_TRUE(oneByte.has_value());
    EXPECT_TRUE(oneByte->empty());
}

TEST_F(SRecordFile, MissingFileOrFolderCannotBeOpened) {
    EXPECT_FALSE(Load(m_dir.filePath(QStringLiteral("missing.s19"))).has_value());
    ExpectOnlyMessage(res::text::UnableToOpenFile);
    EXPECT_FALSE(Load(m_dir.path()).has_value());
    ExpectOnlyMessage(res::text::UnableToOpenFile);
}

TEST_F(SRecordFile, OneReaderServesReadAfterRead) {
    const auto damaged = Load(Write("S1078000DEADBEEF40\nS1020000\n"));
    EXPECT_FALSE(damaged.has_value());
    m_messages.clear();
    const auto first = Load(Write(kGapFile));
    const auto second = Load(Write("S1078000DEADBEEF40\n"));
    ASSERT_TRUE(first && second);
    EXPECT_EQ(*first, GapImage());
    EXPECT_EQ(*second, Hex("DEADBEEF"));
    EXPECT_EQ(m_reader.m_pImage, nullptr); // the reader keeps no pointer into a returned image
}

} // namespace
