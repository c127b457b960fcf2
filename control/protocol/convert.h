// The three small conversions the command families use to encode values for
// the card and to decode the hexadecimal reply text.
#pragma once

#include <cstdint>

// Value of one digit character: '0'..'9' give 0..9, any other character its
// code minus 0x37 ('A'..'F' give 10..15). Lower-case is deliberately not
// special-cased: the card's text is always upper-case.
int DigitValue(char c);

// (value(c1) << 4) + value(c2), kept to 8 bits.
std::uint8_t HexPairToByte(char c1, char c2);

// v as an unsigned byte to packed BCD: (v / 10) * 16 + v % 10.
std::uint8_t ByteToBcd(std::uint8_t v);

// value(c1) * 10 + value(c2), kept to 8 bits: two decimal digits to 0..99.
std::uint8_t DigitPairToNumber(char c1, char c2);
