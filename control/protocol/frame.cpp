#include "control/protocol/frame.h"

#include "control/protocol/crc16.h"

namespace palvex {

int ExpectedReplyCount(std::uint8_t letter, int ledHeight) {
    switch (letter) {
    case 'A': return 13;
    case 'E': return 6;
    case 'U': return 1;
    case 'V': return 128;
    case 'W': return ledHeight;
    case 'Y': return 15;
    default: return kAckCount;
    }
}

bool IsDataReplyLetter(std::uint8_t letter) {
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

std::size_t BuildFrame(const std::uint16_t crcTable[256], int ledNum, const std::uint8_t* payload,
                       std::size_t n, std::uint8_t* out) {
    static const char kHex[] = "0123456789ABCDEF";
    out[0] = 0x1B;
    out[1] = '$';
    out[2] = 'Q';
    out[3] = 'K';
    out[4] = static_cast<std::uint8_t>(kHex[(ledNum >> 4) & 0x0F]);
    out[5] = static_cast<std::uint8_t>(kHex[ledNum & 0x0F]);
    out[6] = 'W';
    out[7] = static_cast<std::uint8_t>(n >> 8);
    out[8] = static_cast<std::uint8_t>(n & 0xFF);
    for (std::size_t i = 0; i < n; ++i) out[kPayloadOffset + i] = payload[i];
    const std::uint16_t crc = CrcUpdate(crcTable, 0, out + 7, n + 2);
    out[kPayloadOffset + n] = static_cast<std::uint8_t>(crc >> 8);
    out[kPayloadOffset + n + 1] = static_cast<std::uint8_t>(crc & 0xFF);
    return n + kFrameOverhead;
}

void ExpectedAck(const std::uint8_t* frame, std::uint8_t out[5]) {
    out[0] = frame[9];
    out[1] = frame[10];
    out[2] = frame[11];
    out[3] = 'O';
    out[4] = 'K';
}

} // namespace palvex
