#include "cli/arg_words.h"

#include <charconv>

namespace palvex::cli::words {

bool ParseDecimalWord(std::string_view word, std::int64_t& value) {
    if (word.starts_with('+')) {
        word.remove_prefix(1);
        if (word.starts_with('-')) return false;
    }
    const char* end = word.data() + word.size();
    const auto [p, ec] = std::from_chars(word.data(), end, value);
    return ec == std::errc{} && p == end;
}

std::string Quoted(std::string_view word) {
    std::string s = "\"";
    s.append(word);
    s += '"';
    return s;
}

bool ParseDottedAddress(std::string_view word, std::uint32_t& value) {
    value = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (word.empty() || word.front() != '.') return false;
            word.remove_prefix(1);
        }
        std::size_t digits = 0;
        while (digits < word.size() && digits < 4 && word[digits] >= '0' && word[digits] <= '9')
            ++digits;
        if (digits == 0 || digits > 3) return false;
        unsigned octet = 0;
        std::from_chars(word.data(), word.data() + digits, octet);
        if (octet > 255) return false;
        value = (value << 8) | octet;
        word.remove_prefix(digits);
    }
    return word.empty();
}

std::string EntriesText(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

unsigned HexValue(char c) {
    if (c <= '9') return static_cast<unsigned>(c - '0');
    return static_cast<unsigned>((c | 0x20) - 'a' + 10);
}

} // namespace palvex::cli::words
