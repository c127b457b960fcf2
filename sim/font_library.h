// The character font library that "I" loads block by block, and the glyphs
// the card draws text with.
//
// Library layout (the file the control sends, block n at byte n x 1024):
//   bytes 0 .. 4095   ASCII: 256 glyphs of 8 x 16 dots, 16 bytes each (one
//                     byte per row, top first, bit 7 the leftmost dot);
//   from byte 4096    GB2312: 16 x 16 dots, 32 bytes each (two bytes per
//                     row, left byte first), the character with the bytes
//                     (hi, lo) at 4096 + ((hi - 0xA1) x 94 + (lo - 0xA1)) x 32,
//                     so zone 1 position 1 comes first.
// A glyph is taken from the library when every byte of it has arrived;
// otherwise an ASCII character falls back to the card's built-in 8 x 16
// glyphs and a double-byte character to a hollow 16 x 16 box.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace cardsim {

struct Glyph {
    int width = 8;                        // 8 or 16 dots; always 16 rows
    std::array<std::uint16_t, 16> rows{}; // bit 15 is the leftmost dot
    bool fromLibrary = false;
    bool Dot(int x, int y) const { return (rows[y] >> (15 - x)) & 1; }
};

class CFontLibrary {
  public:
    static constexpr std::size_t kAsciiTableSize = 4096;
    static constexpr std::size_t kHanziSize = 32;
    // "I" gives a block's place in units of 256 bytes.
    static constexpr std::size_t kAddressUnit = 256;

    // Stores bytes at address x 256. Refused (false) while the library is
    // locked: a locked library keeps what it has.
    bool StoreBlock(unsigned address, std::span<const std::uint8_t> bytes);
    void SetLocked(bool locked) { m_locked = locked; }
    bool Locked() const { return m_locked; }
    bool Present() const { return m_stored > 0; }
    // Distinct bytes received so far.
    std::size_t BytesStored() const { return m_stored; }

    Glyph Ascii(std::uint8_t code) const;
    // hi and lo are the two bytes of a double-byte character, both 0xA1 or more.
    Glyph Hanzi(std::uint8_t hi, std::uint8_t lo) const;
    static Glyph BuiltinAscii(std::uint8_t code);
    static Glyph Box();

  private:
    bool Covered(std::size_t offset, std::size_t n) const;

    std::vector<std::uint8_t> m_bytes;
    std::vector<bool> m_have; // one flag per byte of m_bytes
    std::size_t m_stored = 0;
    bool m_locked = false;
};

} // namespace cardsim
