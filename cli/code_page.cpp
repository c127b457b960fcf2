#include "cli/code_page.h"

#include <algorithm>
#include <cstdio>

namespace palvex::cli {

std::size_t Utf8SequenceLength(std::string_view s) {
    if (s.empty()) return 0;
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned c = b(0);
    std::size_t n = 0;
    unsigned lowest = 0;
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        lowest = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        lowest = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (s.size() < n) return 0;
    unsigned value = c & (0x7Fu >> n);
    for (std::size_t i = 1; i < n; ++i) {
        if ((b(i) & 0xC0) != 0x80) return 0;
        value = (value << 6) | (b(i) & 0x3F);
    }
    if (value < lowest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    return n;
}

bool ToCardCodePage(std::string_view utf8, std::string& out, std::string& error) {
    out.clear();
    std::size_t at = 0;
    switch (ConvertToCardCodePage(utf8, out, at, error)) {
    case Conversion::Done:
        return true;
    case Conversion::Unavailable:
        out.clear();
        return false;
    case Conversion::Stopped:
        break;
    }
    // Name the character where conversion stopped.
    const std::size_t n = Utf8SequenceLength(utf8.substr(std::min(at, utf8.size())));
    char where[64];
    std::snprintf(where, sizeof where, " (byte %zu of the text)", at + 1);
    if (n == 0) {
        error = std::string("the text is not valid UTF-8") + where;
    } else {
        // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on
        // a literal + std::string chain here.
        error.assign(1, '"');
        error.append(utf8.substr(at, n)).append("\"").append(where);
        error.append(" has no code in ").append(kCardCodePage).append(", the card's code page");
    }
    out.clear();
    return false;
}

} // namespace palvex::cli
