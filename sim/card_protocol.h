// The card's side of the command frame, as the card itself knows
// it: the CRC it checks, which letters it answers with data and how many data
// bytes each gets, and the acknowledgement it sends for the others. The
// simulator is an independent implementation of the card, so none of this is
// taken from the control.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cardsim {

// CRC-16/XMODEM: polynomial 0x1021, initial value 0, no reflection, no final
// XOR, over n bytes.
std::uint16_t Crc16Xmodem(const std::uint8_t* data, std::size_t n);

// True when the card answers a payload beginning with `letter` with data
// ("A", "E", "U", "V", "W", "Y") rather than an acknowledgement.
bool AnswersWithData(std::uint8_t letter);

// Number of data bytes the card sends after the count byte: 13 for "A", 6
// for "E", 1 for "U", 128 for "V", one per screen row for "W", 15 for "Y";
// 5 (an acknowledgement) for every other letter.
int ReplyDataCount(std::uint8_t letter, int screenHeight);

// The acknowledgement that follows the count byte 5: the three payload bytes
// at frame offsets 9, 10 and 11, then "OK".
void AcknowledgementFor(const std::uint8_t* frame, std::uint8_t out[5]);

} // namespace cardsim
