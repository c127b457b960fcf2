// Reading command-line words: decimal integers, dotted IPv4 addresses, hex
// digits, and the pieces of the messages that quote them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace palvex::cli::words {

// A whole word as a decimal integer (optional sign); false for anything else.
bool ParseDecimalWord(std::string_view word, std::int64_t& value);

// The word in double quotes, for messages.
std::string Quoted(std::string_view word);

// A dotted IPv4 address a.b.c.d as a<<24 | b<<16 | c<<8 | d.
bool ParseDottedAddress(std::string_view word, std::uint32_t& value);

// "1 entry", "3 entries".
std::string EntriesText(std::size_t n, const char* one, const char* many);

// Hex digits of either case.
bool IsHexDigit(char c);
unsigned HexValue(char c);

} // namespace palvex::cli::words
