#include "commdll/Frame.h"
#include "commdll/FrameReader.h"

#include "tests/commdll/RequestRunner.h"

#include <gtest/gtest.h>

using commdll::CFrameReader;
using commdll::Frame;
using testsupport::Hex;

namespace {

Frame Request(std::uint32_t sequence, BYTE code, BYTE flags, const QByteArray& payload) {
    return {commdll::FRAME_KIND_REQUEST, sequence, code, flags, payload};
}

// Feeds the bytes one at a time, as a slow network would deliver them.
CFrameReader::State FeedByteByByte(CFrameReader& reader, const QByteArray& bytes,
                                   qsizetype* taken = nullptr) {
    qsizetype total = 0;
    for (char byte : bytes) {
        if (reader.GetState() != CFrameReader::State::Incomplete)
            break;
        total += reader.Feed(&byte, 1);
    }
    if (taken != nullptr)
        *taken = total;
    return reader.GetState();
}

} // namespace

TEST(Frame, Crc16XmodemOfTheCheckString) {
    const QByteArray digits("123456789");
    EXPECT_EQ(commdll::Crc16Xmodem(digits.constData(), digits.size()), 0x31C3);
    EXPECT_EQ(commdll::Crc16Xmodem(nullptr, 0), 0x0000);
}

TEST(Frame, EncodesHeaderPayloadAndChecksum) {
    struct Row {
        const char* name;
        Frame frame;
        const char* hex; // everything before the two checksum bytes
    };
    const Row rows[] = {
        {"status request", Request(0x00000001, 0x12, 0x00, {}), "d5010000000112000000"},
        {"parameters request with flag", Request(0x12345678, 0x2B, 0x01, Hex("01")),
         "d501123456782b01000101"},
        {"last firmware block", Request(0xFFFFFFFF, 0x1A, 0x05, Hex("aabbcc")),
         "d501ffffffff1a050003aabbcc"},
        {"reply with device status",
         {commdll::FRAME_KIND_REPLY, 0x0000000A, 0x2A, 0x0B, {}},
         "d5020000000a2a0b0000"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QByteArray bytes = commdll::EncodeFrame(row.frame);
        const QByteArray body = Hex(row.hex);
        ASSERT_EQ(bytes.size(), body.size() + 2);
        EXPECT_EQ(bytes.left(body.size()).toHex(), body.toHex());
        const auto crc = commdll::Crc16Xmodem(body.constData(), body.size());
        EXPECT_EQ(static_cast<BYTE>(bytes[body.size()]), crc >> 8);
        EXPECT_EQ(static_cast<BYTE>(bytes[body.size() + 1]), crc & 0xFF);
    }
}

TEST(Frame, RefusesToEncodeAPayloadAboveTheMaximum) {
    EXPECT_FALSE(commdll::EncodeFrame(Request(1, 0x1A, 0, QByteArray(512, 'x'))).isEmpty());
    EXPECT_TRUE(commdll::EncodeFrame(Request(1, 0x1A, 0, QByteArray(513, 'x'))).isEmpty());
}

TEST(Frame, RequestFlagsCarryTheCallersFlagAndTheBlockFlags) {
    struct Row {
        bool flag;
        BYTE blockFlags;
        BYTE wire;
    };
    const Row rows[] = {{false, 0x00, 0x00}, {true, 0x00, 0x01}, {true, 0x01, 0x03},
                        {true, 0x02, 0x05},  {true, 0x03, 0x07}, {false, 0xFC, 0x00}};
    for (const auto& row : rows) {
        EXPECT_EQ(commdll::RequestFlags(row.flag, row.blockFlags), row.wire);
        EXPECT_EQ(commdll::BlockFlagsOf(row.wire), row.blockFlags & 0x03);
    }
}

TEST(FrameReader, ReadsAFrameDeliveredOneByteAtATime) {
    const Frame sent = Request(0xCAFEF00D, 0x2A, 0x01, Hex("0113001301"));
    CFrameReader reader(commdll::FRAME_KIND_REQUEST);
    ASSERT_EQ(FeedByteByByte(reader, commdll::EncodeFrame(sent)), CFrameReader::State::Complete);
    const Frame got = reader.TakeFrame();
    EXPECT_EQ(got.sequence, 0xCAFEF00Du);
    EXPECT_EQ(got.code, 0x2A);
    EXPECT_EQ(got.flagsOrStatus, 0x01);
    EXPECT_EQ(got.payload.toHex(), QByteArray("0113001301"));
    EXPECT_EQ(reader.GetState(), CFrameReader::State::Incomplete);
    EXPECT_FALSE(reader.HasPartialFrame());
}

TEST(FrameReader, TakesNoByteBeyondTheCurrentFrame) {
    const QByteArray first = commdll::EncodeFrame(Request(1, 0x12, 0, {}));
    const QByteArray second = commdll::EncodeFrame(Request(2, 0x2F, 0, {}));
    const QByteArray stream = first + second;
    CFrameReader reader(commdll::FRAME_KIND_REQUEST);
    EXPECT_EQ(reader.Feed(stream.constData(), stream.size()), first.size());
    EXPECT_EQ(reader.TakeFrame().sequence, 1u);
    EXPECT_EQ(reader.Feed(stream.constData() + first.size(), second.size()), second.size());
    EXPECT_EQ(reader.TakeFrame().sequence, 2u);
}

TEST(FrameReader, RefusesBrokenFrames) {
    QByteArray badChecksum = commdll::EncodeFrame(Request(7, 0x12, 0, Hex("0102")));
    badChecksum[badChecksum.size() - 1] = static_cast<char>(badChecksum.back() ^ 0x01);
    QByteArray corruptPayload = commdll::EncodeFrame(Request(7, 0x12, 0, Hex("0102")));
    corruptPayload[10] = 0x09;
    struct Row {
        const char* name;
        QByteArray bytes;
        CFrameReader::State state;
        qsizetype taken; // bytes the reader accepted before it decided
    };
    const Row rows[] = {
        {"not our magic", Hex("aa0100000001120000000000"), CFrameReader::State::BadType, 10},
        {"a reply where a request belongs", Hex("d50200000001120000000000"),
         CFrameReader::State::BadType, 10},
        // Refused straight after the header: none of the 65535 announced bytes is buffered.
        {"length far above the maximum", Hex("d5010000000112 00ffff") + QByteArray(600, 'x'),
         CFrameReader::State::BadLength, 10},
        {"length one above the maximum", Hex("d501000000011200 0201") + QByteArray(600, 'x'),
         CFrameReader::State::BadLength, 10},
        {"checksum wrong", badChecksum, CFrameReader::State::BadChecksum, badChecksum.size()},
        {"payload changed", corruptPayload, CFrameReader::State::BadChecksum,
         corruptPayload.size()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CFrameReader reader(commdll::FRAME_KIND_REQUEST);
        EXPECT_EQ(reader.Feed(row.bytes.constData(), row.bytes.size()), row.taken);
        EXPECT_EQ(reader.GetState(), row.state);
        EXPECT_EQ(reader.Feed(row.bytes.constData(), row.bytes.size()), 0);
        reader.Reset();
        qsizetype taken = 0;
        EXPECT_EQ(FeedByteByByte(reader, row.bytes, &taken), row.state);
        EXPECT_EQ(taken, row.taken);
    }
}

TEST(FrameReader, ReportsAPartialFrame) {
    const QByteArray bytes = commdll::EncodeFrame(Request(3, 0x12, 0, Hex("010203")));
    CFrameReader reader(commdll::FRAME_KIND_REQUEST);
    EXPECT_FALSE(reader.HasPartialFrame());
    reader.Feed(bytes.constData(), 4);
    EXPECT_TRUE(reader.HasPartialFrame());
    EXPECT_EQ(reader.BytesWanted(), 6);
    reader.Feed(bytes.constData() + 4, 6);
    EXPECT_EQ(reader.BytesWanted(), 5);
}
