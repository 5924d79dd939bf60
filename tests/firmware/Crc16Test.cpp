#include "firmware/Crc16.h"

#include <gtest/gtest.h>

#include <vector>

// Reference values of CRC-16/XMODEM, and the same value when the data comes in two pieces.
TEST(Crc16, MatchesTheXmodemVariantWholeOrInPieces) {
    const std::pair<std::vector<BYTE>, WORD> cases[] = {
        {{}, 0x0000},
        {{'1', '2', '3', '4', '5', '6', '7', '8', '9'}, 0x31C3},
        {{0x80}, 0x9188},
        {{0xFF, 0xFF}, 0x1D0F},
        {std::vector<BYTE>(230, 0xFF), 0x865D},
    };
    for (const auto& [data, crc] : cases) {
        const std::span<const BYTE> all(data);
        for (std::size_t split = 0; split <= data.size(); ++split)
            EXPECT_EQ(ComputeCrc16(all.subspan(split), ComputeCrc16(all.first(split))), crc)
                << "length " << data.size() << " split " << split;
    }
}
