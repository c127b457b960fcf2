#include "sim/text_drawing.h"

namespace cardsim {

namespace {

void DrawGlyph(CCardDisplay& display, int bank, int x, int y, std::uint8_t code, const Glyph& g) {
    for (int row = 0; row < 16; ++row)
        for (int col = 0; col < g.width; ++col)
            if (g.Dot(col, row)) display.Set(bank, x + col, y + row, code);
}

bool IsTrailByte(std::uint8_t b) {
    return b >= 0x40 && b <= 0xFE && b != 0x7F;
}

} // namespace

TextDrawn DrawText(CCardDisplay& display, int bank, int x, int y, std::uint8_t code,
                   std::span<const std::uint8_t> text, const CFontLibrary& fonts) {
    TextDrawn drawn;
    int penX = x;
    for (std::size_t i = 0; i < text.size() && text[i] != 0; ++i) {
        const std::uint8_t b = text[i];
        if (b == '\n') {
            penX = x;
            y += 16;
            continue;
        }
        Glyph g;
        if (b >= 0x81 && b <= 0xFE && i + 1 < text.size() && IsTrailByte(text[i + 1])) {
            const std::uint8_t lo = text[++i];
            g = (b >= 0xA1 && lo >= 0xA1) ? fonts.Hanzi(b, lo) : CFontLibrary::Box();
        } else {
            g = fonts.Ascii(b);
        }
        DrawGlyph(display, bank, penX, y, code, g);
        penX += g.width;
        ++drawn.characters;
        drawn.fromLibrary += g.fromLibrary;
    }
    return drawn;
}

} // namespace cardsim
