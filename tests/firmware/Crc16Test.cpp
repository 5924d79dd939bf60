#include "firmware/Crc16.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace {

std::vector<BYTE> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

// Reference values of CRC-16/XMODEM, and the same value when the data comes in two pieces.
TEST(Crc16, MatchesTheXmodemVariantWholeOrInPieces) {
    const std::pair<std::vector<BYTE>, WORD> cases[] = {
        {{}, 0x0000},
        {Bytes("123456789"), 0x31C3},
        {{0x00}, 0x0000},
        {{0x01}, 0x1021},
        {{0x80}, 0x9188},
        {{0xFF}, 0x1EF0},
        {{0xFF, 0xFF}, 0x1D0F},
        {Bytes("A"), 0x58E5},
        {std::vector<BYTE>(230, 0xFF), 0x865D},
    };
    for (const auto& [data, crc] : cases) {
        const std::span<const BYTE> all(data);
        for (std::size_t split = 0; split <= data.size(); ++split)
            EXPECT_EQ(ComputeCrc16(all.subspan(split), ComputeCrc16(all.first(split))), crc)
                << "length " << data.size() << " split " << split;
    }
}

} // namespace
