// The command frame the control sends and the reply it expects back.
//
//   0x1B '$' 'Q' 'K' <addr hi> <addr lo> 'W' <len hi> <len lo> <payload...> <crc hi> <crc lo>
//
// The address is the card number as two upper-case hex digits; the CRC covers
// the two length bytes and the payload. Everything here is pure: no I/O.
#pragma once

#include <cstddef>
#include <cstdint>

namespace palvex {

constexpr std::size_t kFrameOverhead = 11;      // header (9) + CRC (2)
constexpr std::size_t kPayloadOffset = 9;
constexpr std::size_t kLastFrameCapacity = 1600; // size of the stored frame copy
constexpr std::size_t kMaxPayload = kLastFrameCapacity - kFrameOverhead; // 1589
constexpr std::size_t kReplyBufferSize = 512;
constexpr int kAckCount = 5;

// Number of data bytes N the card answers a payload starting with `letter`
// (the reply on the wire is N + 1 bytes: a count byte and N data bytes).
int ExpectedReplyCount(std::uint8_t letter, int ledHeight);

// True when `letter` is answered with data (turned into hex text) rather than
// an acknowledgement. A "W" reply is data even when the screen is 5 rows high
// and its length equals an acknowledgement's.
bool IsDataReplyLetter(std::uint8_t letter);

// Writes the frame for `payload` (n bytes, 1 <= n <= kMaxPayload) addressed to
// card `ledNum` (0..31) into `out`, which must hold n + kFrameOverhead bytes.
// Returns the frame length.
std::size_t BuildFrame(const std::uint16_t crcTable[256], int ledNum, const std::uint8_t* payload,
                       std::size_t n, std::uint8_t* out);

// The acknowledgement that answers `frame`: 0x05, frame bytes 9..11, 'O', 'K'
// (the count byte is not part of `out`).
void ExpectedAck(const std::uint8_t* frame, std::uint8_t out[5]);

} // namespace palvex
