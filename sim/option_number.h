// The whole numbers that cardsim's options take.
#pragma once

#include <optional>
#include <string>

namespace cardsim {

// All of `text` as a number from lo to hi, read as strtol reads it in `base`
// (0: decimal, 0x.. hex or 0.. octal); nothing for an empty text, a text
// with anything else in it, or a number out of range.
std::optional<long> ParseOptionNumber(const std::string& text, long lo, long hi, int base = 10);

} // namespace cardsim
