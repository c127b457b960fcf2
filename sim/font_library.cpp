#include "sim/font_library.h"

#include <algorithm>

namespace cardsim {

// Generated at build time from GNU Unifont (sim/fontgen).
extern const std::uint8_t kBuiltinAscii[4096];

namespace {

Glyph NarrowGlyph(const std::uint8_t* rows, bool fromLibrary) {
    Glyph g;
    g.width = 8;
    g.fromLibrary = fromLibrary;
    for (int r = 0; r < 16; ++r)
        g.rows[r] = static_cast<std::uint16_t>(rows[r] << 8);
    return g;
}

} // namespace

bool CFontLibrary::StoreBlock(unsigned address, std::span<const std::uint8_t> bytes) {
    if (m_locked) return false;
    const std::size_t at = static_cast<std::size_t>(address) * kAddressUnit;
    if (m_bytes.size() < at + bytes.size()) {
        m_bytes.resize(at + bytes.size(), 0);
        m_have.resize(at + bytes.size(), false);
    }
    std::copy(bytes.begin(), bytes.end(), m_bytes.begin() + static_cast<std::ptrdiff_t>(at));
    for (std::size_t i = at; i < at + bytes.size(); ++i) {
        if (!m_have[i]) ++m_stored;
        m_have[i] = true;
    }
    return true;
}

bool CFontLibrary::Covered(std::size_t offset, std::size_t n) const {
    if (offset + n > m_have.size()) return false;
    return std::all_of(m_have.begin() + static_cast<std::ptrdiff_t>(offset),
                       m_have.begin() + static_cast<std::ptrdiff_t>(offset + n),
                       [](bool b) { return b; });
}

Glyph CFontLibrary::Ascii(std::uint8_t code) const {
    const std::size_t at = static_cast<std::size_t>(code) * 16;
    if (Covered(at, 16)) return NarrowGlyph(m_bytes.data() + at, true);
    return BuiltinAscii(code);
}

Glyph CFontLibrary::Hanzi(std::uint8_t hi, std::uint8_t lo) const {
    const std::size_t index = static_cast<std::size_t>(hi - 0xA1) * 94 + (lo - 0xA1);
    const std::size_t at = kAsciiTableSize + index * kHanziSize;
    if (hi < 0xA1 || lo < 0xA1 || !Covered(at, kHanziSize)) return Box();
    Glyph g;
    g.width = 16;
    g.fromLibrary = true;
    for (int r = 0; r < 16; ++r)
        g.rows[r] = static_cast<std::uint16_t>(m_bytes[at + 2 * r] << 8 | m_bytes[at + 2 * r + 1]);
    return g;
}

Glyph CFontLibrary::BuiltinAscii(std::uint8_t code) {
    return NarrowGlyph(kBuiltinAscii + static_cast<std::size_t>(code) * 16, false);
}

Glyph CFontLibrary::Box() {
    // A hollow square one dot in from the cell's edges: the character is
    // there, its shape is not.
    Glyph g;
    g.width = 16;
    for (int r = 1; r <= 14; ++r)
        g.rows[r] = (r == 1 || r == 14) ? 0x7FFE : 0x4002;
    return g;
}

} // namespace cardsim
