// Text as "J" draws it: GBK bytes into a display bank.
#pragma once

#include "sim/card_display.h"
#include "sim/font_library.h"

#include <cstdint>
#include <span>

namespace cardsim {

struct TextDrawn {
    int characters = 0;  // glyphs drawn (line breaks not counted)
    int fromLibrary = 0; // of them, taken from the sent font library
};

// Draws `text` (up to its first zero byte) with its first glyph's top left
// dot at (x, y). A byte below 0x80 is an ASCII character, 8 x 16 dots; a
// line feed starts a new line 16 rows down at x. A lead byte 0x81..0xFE with
// a second byte 0x40..0xFE is one double-byte character, 16 x 16 dots: from
// the library when both bytes are 0xA1 or more (GB2312), a box otherwise.
// Any other byte is drawn from the ASCII table. Only the lit dots of a glyph
// are drawn, in `code`; its dark dots leave the bank as it was, so text can
// stand on a picture. Whatever falls off the screen is left out.
TextDrawn DrawText(CCardDisplay& display, int bank, int x, int y, std::uint8_t code,
                   std::span<const std::uint8_t> text, const CFontLibrary& fonts);

} // namespace cardsim
