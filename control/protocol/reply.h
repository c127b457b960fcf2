// Checking a reply read from the card and turning data replies into text.
#pragma once

#include "control/protocol/types.h"

// count: bytes read (N + 1); reply: those bytes followed by a zero byte, in a
// buffer of at least 2 * count + 1 bytes. expected: the five acknowledgement
// bytes when an acknowledgement is due, or nullptr when a data reply is due.
//
// An acknowledgement passes when the count byte is 5 and the next five bytes
// match. A data reply passes when the count byte is count - 1; its N data bytes
// and the zero byte after them are then rewritten in place as "%02X" text
// (2N + 2 characters, ending in "00") followed by a terminator.
BOOL CheckReply(int count, std::uint8_t* reply, const std::uint8_t* expected);
