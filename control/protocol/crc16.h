// CRC-16 with polynomial 0x1021, initial value 0, no reflection, no final XOR
// (the variant known as CRC-16/XMODEM), computed through a 256-entry table.
#pragma once

#include <cstddef>
#include <cstdint>

namespace palvex {

constexpr std::uint16_t kCrcPolynomial = 0x1021;

// Fills table[i] with the CRC of the single byte i shifted into the high half.
void FillCrcTable(std::uint16_t table[256]);

// Continues crc over n bytes: crc = table[(crc >> 8) ^ b] ^ (crc << 8).
std::uint16_t CrcUpdate(const std::uint16_t table[256], std::uint16_t crc,
                        const std::uint8_t* data, std::size_t n);

} // namespace palvex
