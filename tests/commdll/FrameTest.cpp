#include "commdll/Frame.h"
#include "commdll/FrameReader.h"

#include "tests/commdll/RequestRunner.h"

#include <gtest/gtest.h>

using namespace commdll;
using testsupport::Hex;
using State = CFrameReader::State;

// Request flags: bit 0 the caller's flag, bits 1 and 2 the first- and last-block flags.
TEST(Frame, EncodesTheExactWireBytes) {
    const auto request = [](std::uint32_t sequence, BYTE code, BYTE flags, const QByteArray& data) {
        return Frame{FRAME_KIND_REQUEST, sequence, code, flags, data};
    };
    const std::pair<Frame, const char*> rows[] = {
        {request(0x00000001, 0x12, RequestFlags(false, 0x01), {}), "d50100000001120200001915"},
        {request(0xFFFFFFFF, 0x1A, RequestFlags(true, 0xFE), Hex("aabbcc")),
         "d501ffffffff1a050003aabbccca80"},
        {{FRAME_KIND_REPLY, 0x0000000A, 0x2A, 0x0B, {}}, "d5020000000a2a0b0000ef15"},
    };
    for (const auto& [frame, hex] : rows)
        EXPECT_EQ(EncodeFrame(frame).toHex(), QByteArray(hex));
    EXPECT_EQ(EncodeFrame(request(1, 0x1A, 0, QByteArray(512, 'x'))).size(), 524);
    EXPECT_TRUE(EncodeFrame(request(1, 0x1A, 0, QByteArray(513, 'x'))).isEmpty());
    EXPECT_EQ(BlockFlagsOf(0x03), 0x01);
    EXPECT_EQ(BlockFlagsOf(0x04), 0x02);
}

// Fed at once or byte by byte (as a slow network delivers them), the reader takes a whole frame
// and no byte of the next, and refuses a broken one as soon as it can.
TEST(FrameReader, TakesOneFrameAtATimeAndRefusesBrokenOnesAsSoonAsItCan) {
    const std::tuple<QByteArray, State, qsizetype> rows[] = {
        // bytes, state, bytes taken
        {Hex("d501cafef00d2a030005011300130a8a86d501"), State::Complete, 17}, // then the next
        {Hex("aa0100000001120000000000"), State::BadType, 10},                // not our magic
        {Hex("d50200000001120000000000"), State::BadType, 10}, // a reply where a request belongs
        // One byte too long: refused straight after the header, none of the rest is buffered.
        {Hex("d5010000000112000201") + QByteArray(600, 'x'), State::BadLength, 10},
        {Hex("d5010000000712000002090263ca"), State::BadChecksum, 14}, // payload changed
    };
    for (const auto& [bytes, state, wanted] : rows) {
        SCOPED_TRACE(bytes.left(14).toHex().toStdString());
        CFrameReader reader(FRAME_KIND_REQUEST);
        EXPECT_EQ(reader.Feed(bytes.constData(), bytes.size()), wanted);
        EXPECT_EQ(reader.GetState(), state);
        EXPECT_EQ(reader.Feed(bytes.constData(), bytes.size()), 0);
        reader.Reset();
        qsizetype taken = 0;
        for (qsizetype i = 0; i < bytes.size() && reader.GetState() == State::Incomplete; ++i) {
            taken += reader.Feed(bytes.constData() + i, 1);
            EXPECT_EQ(reader.HasPartialFrame(), reader.GetState() == State::Incomplete);
        }
        EXPECT_EQ(taken, wanted);
        EXPECT_EQ(reader.GetState(), state);
        if (state == State::Complete) {
            EXPECT_EQ(EncodeFrame(reader.TakeFrame()), bytes.left(wanted));
        }
    }
}
