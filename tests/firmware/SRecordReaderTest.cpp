// The reader's line parser and image builders, called one by one on in-memory lines.
#include "firmware/SRecordReader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct HexDigitCase {
    char digit;
    int value;
};

TEST(HexDigitValue, FollowsTheSingleRuleForEveryCharacter) {
    const HexDigitCase cases[] = {
        {'0', 0x0},     {'9', 0x9},  {'A', 0xA},         {'F', 0xF},         {'a', 0xA},
        {'f', 0xF},     {'G', 0x10}, {'Z', 35},          {'g', 0x10},        {' ', 32 - 87},
        {':', 58 - 87}, {'\0', -87}, {'\x7F', 127 - 87}, {'\xFF', 255 - 87},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HexDigitValue(c.digit), c.value) << "character code " << int(c.digit);
}

struct DataRecordCase {
    const char* line;
    DWORD address;
    BYTE dataCount;
    const char* data;
};

TEST(ParseSRecord, DataRecordsGiveAddressCountAndDataText) {
    const DataRecordCase cases[] = {
        {"S1078000DEADBEEF40", 0x8000, 4, "DEADBEEF"},
        {"S206123456A1B20A", 0x123456, 2, "A1B2"},
        {"S30689ABCDEFC346", 0x89ABCDEF, 1, "C3"},
        {"s105abcdfedca8", 0xABCD, 2, "fedc"},
        {"S1030000FC", 0x0000, 0, ""}, // no data bytes at all
    };
    for (const auto& c : cases) {
        CSRecordReader reader{};
        ASSERT_EQ(ParseSRecord(reader, c.line), SRecordData) << c.line;
        EXPECT_EQ(reader.m_dwRecordAddress, c.address) << c.line;
        EXPECT_EQ(reader.m_nDataCount, c.dataCount) << c.line;
        EXPECT_EQ(std::string(reader.m_szData, 2 * c.dataCount), c.data) << c.line;
    }
}

struct OtherLineCase {
    const char* line;
    SRecordLine result;
};

TEST(ParseSRecord, OtherLinesAreSkippedOrRefusedLeavingTheReaderAsItWas) {
    const std::string longest(4 + 2 * 0x7D, '0'); // 254 characters: the longest record line
    const std::string tooLong(4 + 2 * 0x7E, '0');
    const OtherLineCase cases[] = {
        {"S00600004844521B", SRecordSkipped},
        {"S9030000FC", SRecordSkipped},
        {"S70500001000EA", SRecordSkipped},
        {"S804001000EB", SRecordSkipped},
        {"S5030003F9", SRecordSkipped},
        {"S4", SRecordSkipped},
        {"S6", SRecordSkipped},
        {"SX0300", SRecordSkipped},
        {"", SRecordSkipped},
        {"  \t ", SRecordSkipped},
        {"S", SRecordDamaged},
        {":10010000214601360121470136007EFE09D21901", SRecordDamaged}, // Intel HEX
        {" S1030000FC", SRecordDamaged},                               // not at the line start
        {"S10520001122FD", SRecordDamaged},                            // wrong checksum
        {"S10520001122FE", SRecordDamaged},                            // off by one
        {"S1052000112GFC", SRecordDamaged},                            // 'G' in the data
        {"S1052 001122FC", SRecordDamaged},                            // blank in the address
        {"S1G52000112200", SRecordDamaged},                            // count not hex
        {"S105200011220Z", SRecordDamaged},                            // checksum not hex
        {"S1", SRecordDamaged},                                        // no byte count
        {"S103000", SRecordDamaged},      // line shorter than its count
        {"S1030000FC00", SRecordDamaged}, // line longer than its count
        {"S1030000F", SRecordDamaged},    // odd length
        {"S1020000", SRecordDamaged},     // count below address plus checksum
        {"S2030000000", SRecordDamaged},  // the same for a 24-bit address
        {"S30400000000", SRecordDamaged}, // and for a 32-bit address
        {"S1000", SRecordDamaged},        // count 0
        {"S1FF", SRecordDamaged},         // claims 252 data bytes
    };
    for (const auto& c : cases) {
        CSRecordReader reader{};
        reader.m_dwRecordAddress = 0x1234;
        reader.m_nDataCount = 7;
        std::memcpy(reader.m_szData, "ABCD", 4);
        EXPECT_EQ(ParseSRecord(reader, c.line), c.result) << c.line;
        EXPECT_EQ(reader.m_dwRecordAddress, 0x1234u) << c.line;
        EXPECT_EQ(reader.m_nDataCount, 7) << c.line;
        EXPECT_EQ(std::string(reader.m_szData, 4), "ABCD") << c.line;
    }
    CSRecordReader reader{};
    EXPECT_EQ(ParseSRecord(reader, "S17D" + longest.substr(4, longest.size() - 6) + "82"),
              SRecordData);
    EXPECT_EQ(reader.m_nDataCount, 122);
    EXPECT_EQ(ParseSRecord(reader, "S17E" + tooLong.substr(4)), SRecordDamaged);
    EXPECT_EQ(ParseSRecord(reader, "S384" + std::string(2 * 0x84, '0')), SRecordDamaged);
}

TEST(ParseSRecord, NeverReadsPastTheLineItIsGiven) {
    // The view ends inside a larger buffer: what follows it must not be taken as record text.
    const std::string text = "S1050000AABB00";
    CSRecordReader reader{};
    EXPECT_EQ(ParseSRecord(reader, std::string_view(text).substr(0, 9)), SRecordDamaged);
    EXPECT_EQ(ParseSRecord(reader, std::string_view(text).substr(0, 1)), SRecordDamaged);
}

class ImageBuilding : public ::testing::Test {
protected:
    void SetUp() override {
        m_image.assign(8, 0);
        m_reader.m_pImage = &m_image;
    }
    std::vector<BYTE> m_image;
    CSRecordReader m_reader{};
};

TEST_F(ImageBuilding, ForwardGapIsFilledWithFFAndCounted) {
    m_reader.m_nImageLength = 2;
    m_reader.m_dwNextAddress = 0x1002;
    m_reader.m_dwRecordAddress = 0x1005;
    ASSERT_TRUE(FillAddressGap(m_reader));
    EXPECT_EQ(m_reader.m_nImageLength, 5u);
    EXPECT_EQ(m_reader.m_dwNextAddress, 0x1005u);
    EXPECT_EQ(m_image, (std::vector<BYTE>{0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00}));
}

TEST_F(ImageBuilding, LowerOrOverlappingRecordMovesTheNextAddressOnly) {
    for (const DWORD address : {DWORD{0x1002}, DWORD{0x1001}, DWORD{0x0000}}) {
        m_reader.m_nImageLength = 2;
        m_reader.m_dwNextAddress = 0x1002;
        m_reader.m_dwRecordAddress = address;
        ASSERT_TRUE(FillAddressGap(m_reader));
        EXPECT_EQ(m_reader.m_nImageLength, 2u);
        EXPECT_EQ(m_reader.m_dwNextAddress, address);
        EXPECT_EQ(m_image, std::vector<BYTE>(8, 0x00));
    }
}

TEST_F(ImageBuilding, StoredDataIsAppendedAndTheBufferGrowsWhenFull) {
    m_reader.m_nImageLength = 6;
    m_reader.m_nDataCount = 4;
    std::memcpy(m_reader.m_szData, "0aFfG00 ", 8); // 'G' is 16 and ' ' is -55
    ASSERT_TRUE(StoreRecordData(m_reader));
    EXPECT_EQ(m_reader.m_nImageLength, 10u);
    ASSERT_GE(m_image.size(), 10u);
    EXPECT_EQ(std::vector<BYTE>(m_image.begin() + 6, m_image.begin() + 10),
              (std::vector<BYTE>{0x0A, 0xFF, 0x00, static_cast<BYTE>(-55)}));
}

TEST_F(ImageBuilding, RefusesWhatWouldPassTheImageLimitOrTheDataField) {
    m_reader.m_nImageLength = 4;
    m_reader.m_dwNextAddress = 0x10;
    m_reader.m_dwRecordAddress = 0x10 + static_cast<DWORD>(kMaxFirmwareImageSize) - 3;
    EXPECT_FALSE(FillAddressGap(m_reader));
    m_reader.m_dwRecordAddress = 0xFFFFFFFF; // a gap near 4 GiB must not wrap
    EXPECT_FALSE(FillAddressGap(m_reader));
    EXPECT_EQ(m_reader.m_nImageLength, 4u);

    m_reader.m_nDataCount = static_cast<BYTE>(kMaxRecordDataBytes + 1);
    EXPECT_FALSE(StoreRecordData(m_reader));
    m_reader.m_pImage = nullptr;
    m_reader.m_nDataCount = 1;
    EXPECT_FALSE(StoreRecordData(m_reader));
    EXPECT_EQ(m_reader.m_nImageLength, 4u);
}

} // namespace
