#include "commdll/Crc16.h"

#include <array>

namespace commdll {

namespace {

constexpr WORD kPolynomial = 0x1021;

// Remainder of each possible top byte, so that data is processed a byte per table look-up.
constexpr std::array<WORD, 256> MakeCrcTable() {
    std::array<WORD, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        WORD remainder = static_cast<WORD>(byte << 8);
        for (int bit = 0; bit < 8; ++bit)
            remainder = (remainder & 0x8000) ? static_cast<WORD>((remainder << 1) ^ kPolynomial)
                                             : static_cast<WORD>(remainder << 1);
        table[byte] = remainder;
    }
    return table;
}

constexpr std::array<WORD, 256> kCrcTable = MakeCrcTable();

} // namespace

WORD Crc16Xmodem(QByteArrayView data, WORD crc) {
    for (const char byte : data)
        crc = static_cast<WORD>((crc << 8) ^
                                kCrcTable[((crc >> 8) ^ static_cast<BYTE>(byte)) & 0xFF]);
    return crc;
}

} // namespace commdll
