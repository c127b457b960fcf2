// The card property text that QKGetProperty returns, read by character
// position: "DDDD7" and three version digits, the production date as BCD,
// width and height as two 3-digit hex numbers, and the flags byte.
#pragma once

#include "control/palvex_facts.h"
#include "control/automation/com_support.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace dravel {

// First characters of a D-type card's property text.
inline constexpr std::string_view kDTypeIdentification =
    palvex::card::property::kDTypeIdentification;

struct CardProperty {
    std::string version;      // "2.00": characters 5, 6 and 7
    std::uint16_t year = 0;   // BCD, 0x2006 for 2006
    std::uint8_t month = 0;   // BCD
    std::uint8_t day = 0;     // BCD
    std::uint16_t width = 0;  // characters 16-18
    std::uint16_t height = 0; // characters 19-21
    std::uint8_t color = 0;   // bit 0 of the flags byte: 0 = 8 x 8, 1 = 8 x 4
    std::uint8_t flags = 0;   // the flags byte with bit 0 cleared
};

// Each character's low byte: the control's text is 8-bit text widened. The
// length is read from the string's layout in the binary interface (the
// 4-byte byte count in front of the characters); the string stays the
// caller's to free.
std::string PropertyTextFromBstr(BSTR text);

// Byte of characters i and i+1: a digit gives its value, any other character
// its code minus 0x37 ('A' to 'F' give 10 to 15), kept to 8 bits.
std::uint8_t HexPairAt(std::string_view text, std::size_t i);

// True when the text is a D-type card's block: it begins with "DDDD7" and
// holds every character up to the flags byte (24 characters).
bool ParseCardProperty(std::string_view text, CardProperty& out);

} // namespace dravel
