#include "control/protocol/crc16.h"

namespace palvex {

void FillCrcTable(std::uint16_t table[256]) {
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t crc = static_cast<std::uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ kCrcPolynomial)
                                 : static_cast<std::uint16_t>(crc << 1);
        table[i] = crc;
    }
}

std::uint16_t CrcUpdate(const std::uint16_t table[256], std::uint16_t crc,
                        const std::uint8_t* data, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        crc = static_cast<std::uint16_t>(table[((crc >> 8) ^ data[i]) & 0xFF] ^ (crc << 8));
    return crc;
}

} // namespace palvex
