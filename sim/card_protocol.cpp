#include "sim/card_protocol.h"

#include <array>

namespace cardsim {

namespace {

constexpr std::size_t kAckPayloadOffset = 9; // after 0x1B "$QK", address, "W", length

// The CRC of each byte value shifted through the polynomial bit by bit, made
// at compile time.
constexpr std::array<std::uint16_t, 256> MakeCrcTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned b = 0; b < 256; ++b) {
        unsigned crc = b << 8;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1;
        table[b] = static_cast<std::uint16_t>(crc);
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> kCrcTable = MakeCrcTable();

} // namespace

std::uint16_t Crc16Xmodem(const std::uint8_t* data, std::size_t n) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < n; ++i)
        crc = static_cast<std::uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ data[i]) & 0xFF]);
    return crc;
}

bool AnswersWithData(std::uint8_t letter) {
    switch (letter) {
    case 'A':
    case 'E':
    case 'U':
    case 'V':
    case 'W':
    case 'Y': return true;
    default: return false;
    }
}

int ReplyDataCount(std::uint8_t letter, int screenHeight) {
    switch (letter) {
    case 'A': return 13;  // the property block
    case 'E': return 6;   // the clock
    case 'U': return 1;   // one test result
    case 'V': return 128; // the power check table
    case 'W': return screenHeight;
    case 'Y': return 15;  // the status record
    default: return 5;    // an acknowledgement
    }
}

void AcknowledgementFor(const std::uint8_t* frame, std::uint8_t out[5]) {
    out[0] = frame[kAckPayloadOffset];
    out[1] = frame[kAckPayloadOffset + 1];
    out[2] = frame[kAckPayloadOffset + 2];
    out[3] = 'O';
    out[4] = 'K';
}

} // namespace cardsim
