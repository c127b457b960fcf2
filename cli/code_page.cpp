#include "cli/code_page.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace palvex::cli {
namespace {

// Length of the well-formed UTF-8 sequence at the start of `s`, 0 when it
// is not one (a stray continuation byte, a cut or overlong sequence, a
// surrogate or a value above U+10FFFF).
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

class Converter {
  public:
    Converter() : m_cd(iconv_open(kCardCodePage, "UTF-8")) {}
    ~Converter() {
        if (Ok()) iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool Ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return m_cd; }

  private:
    iconv_t m_cd;
};

} // namespace

bool ToCardCodePage(std::string_view utf8, std::string& out, std::string& error) {
    out.clear();
    const Converter cd;
    if (!cd.Ok()) {
        error = std::string("this system cannot convert UTF-8 to ") + kCardCodePage + ": " +
                std::strerror(errno);
        return false;
    }
    std::vector<char> in(utf8.begin(), utf8.end());
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    // Two bytes per character at most, so one pass normally suffices.
    std::vector<char> buffer(2 * in.size() + 16);
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        const std::size_t r = iconv(cd.Get(), &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        if (r != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL: name the character where conversion stopped.
        const std::size_t at = static_cast<std::size_t>(inPtr - in.data());
        const std::size_t n = Utf8SequenceLength(utf8.substr(at));
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
    return true;
}

} // namespace palvex::cli
