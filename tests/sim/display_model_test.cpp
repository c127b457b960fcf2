// The card's display banks, picture memory, font library and text drawing,
// each on its own.
#include "sim/card_display.h"
#include "sim/font_library.h"
#include "sim/picture_memory.h"
#include "sim/text_drawing.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using cardsim::CCardDisplay;
using cardsim::CFontLibrary;
using cardsim::CPictureMemory;
using cardsim::Glyph;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes LibraryFile() {
    std::ifstream in(FONT_LIBRARY_PATH, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::size_t HanziOffset(std::uint8_t hi, std::uint8_t lo) {
    return 4096 + (static_cast<std::size_t>(hi - 0xA1) * 94 + (lo - 0xA1)) * 32;
}

// The whole generated library loaded the way "I" loads it, block by block.
CFontLibrary LoadedLibrary() {
    const Bytes file = LibraryFile();
    CFontLibrary lib;
    for (std::size_t at = 0; at < file.size(); at += 1024)
        lib.StoreBlock(static_cast<unsigned>(at / 256),
                       std::span(file).subspan(at, std::min<std::size_t>(1024, file.size() - at)));
    return lib;
}

int Lit(const CCardDisplay& d, int bank) {
    int n = 0;
    for (std::uint8_t c : d.Bank(bank))
        n += c != 0;
    return n;
}

} // namespace

TEST(SimCardDisplay, LinesIncludeBothEndsWhicheverWayTheyAreGiven) {
    CCardDisplay d(32, 16);
    d.DrawLine(0, 10, 5, 3, 5, 1);
    for (int x = 3; x <= 10; ++x)
        EXPECT_EQ(d.Pixel(0, x, 5), 1) << x;
    EXPECT_EQ(Lit(d, 0), 8);
    d.DrawLine(0, 20, 15, 20, 2, 4);
    EXPECT_EQ(d.Pixel(0, 20, 2), 4);
    EXPECT_EQ(d.Pixel(0, 20, 15), 4);
    EXPECT_EQ(Lit(d, 0), 8 + 14);
    d.DrawLine(1, 7, 7, 7, 7, 3); // a single point, in the other bank
    EXPECT_EQ(Lit(d, 1), 1);
    EXPECT_EQ(d.Pixel(1, 7, 7), 3);
}

TEST(SimCardDisplay, LinesAreCutAtTheScreenEdges) {
    CCardDisplay d(16, 8);
    d.DrawLine(0, -5, 2, 300, 2, 2);
    d.DrawLine(0, 3, -100, 3, 100, 2);
    EXPECT_EQ(Lit(d, 0), 16 + 8 - 1);
    EXPECT_EQ(d.Pixel(0, 15, 2), 2);
    EXPECT_EQ(d.Pixel(0, 3, 7), 2);
}

TEST(SimCardDisplay, BankCommandsCountOnlyTheLowestBitOfTheBank) {
    CCardDisplay d(8, 4);
    d.Set(0, 1, 1, 5);
    d.CopyFromOther(3); // bank 1 becomes bank 0
    EXPECT_EQ(d.Bank(1), d.Bank(0));
    d.Switch(5);
    EXPECT_EQ(d.Displayed(), 1);
    d.Clear(2); // bank 0
    EXPECT_EQ(Lit(d, 0), 0);
    EXPECT_EQ(Lit(d, 1), 1);
    d.Reset();
    EXPECT_EQ(d.Displayed(), 0);
    EXPECT_EQ(Lit(d, 1), 0);
}

TEST(SimCardDisplay, ANewScreenSizeKeepsWhatBothSizesShare) {
    CCardDisplay d(8, 4);
    d.Set(0, 2, 1, 6);
    d.Set(0, 7, 3, 6);
    d.Resize(4, 8);
    EXPECT_EQ(d.Pixel(0, 2, 1), 6);
    EXPECT_EQ(Lit(d, 0), 1);
    EXPECT_EQ(d.Bank(0).size(), 32u);
}

TEST(SimPictureMemory, AScreenOfAtMost64RowsTakesEveryByteWhole) {
    CPictureMemory m;
    const Bytes step = {0xA5, 0x07, 0x10};
    m.StoreStep(2, 31, step);
    const Bytes px = m.Unpack(2, 3, 32);
    EXPECT_EQ(Bytes(px.begin() + 31 * 3, px.end()), step);
    EXPECT_EQ(std::count(px.begin(), px.begin() + 31 * 3, 0), 31 * 3); // steps never sent
}

TEST(SimPictureMemory, ATallScreenCarriesTwoRowsPerStepWhereTheLowerRowExists) {
    CPictureMemory m;
    m.StoreStep(0, 0, Bytes{0x21, 0x7F});  // rows 0 and 64
    m.StoreStep(0, 35, Bytes{0x43, 0x00}); // rows 35 and 99
    m.StoreStep(0, 40, Bytes{0x35, 0xA5}); // row 40 alone: 104 is off the screen
    const int w = 2, h = 100;
    const Bytes px = m.Unpack(0, w, h);
    EXPECT_EQ(px[0 * w], 0x1);
    EXPECT_EQ(px[64 * w], 0x2);
    EXPECT_EQ(px[0 * w + 1], 0xF);
    EXPECT_EQ(px[64 * w + 1], 0x7);
    EXPECT_EQ(px[35 * w], 0x3);
    EXPECT_EQ(px[99 * w], 0x4);
    EXPECT_EQ(px[40 * w], 0x35);
    EXPECT_EQ(px[40 * w + 1], 0xA5);
}

TEST(SimPictureMemory, PageNumbersWrapAtSixtyFour) {
    CPictureMemory m;
    m.StoreStep(64 + 5, 0, Bytes{1});
    EXPECT_TRUE(m.HasPage(5));
    EXPECT_EQ(m.StepsReceived(5), 1);
    EXPECT_EQ(m.PagesStored(), 1);
}

TEST(SimFontLibrary, TheGeneratedFileHoldsEachGlyphWhereTheLayoutSays) {
    const Bytes file = LibraryFile();
    ASSERT_EQ(file.size(), 4096u + 87 * 94 * 32);
    // 中 (D6 D0): one stroke down the middle through every row and a box
    // whose top and bottom rows are wide.
    const std::size_t zhong = HanziOffset(0xD6, 0xD0);
    int wideRows = 0;
    for (int r = 0; r < 16; ++r) {
        const unsigned row = file[zhong + 2 * r] << 8 | file[zhong + 2 * r + 1];
        EXPECT_TRUE(row & 0x0100) << "row " << r;
        wideRows += __builtin_popcount(row) >= 9;
    }
    EXPECT_EQ(wideRows, 2);
    // The ASCII table is the card's built-in one, and control codes are blank.
    for (std::uint8_t c : {'A', 'g', '0', '~'})
        for (int r = 0; r < 16; ++r)
            EXPECT_EQ(file[c * 16 + r] << 8, CFontLibrary::BuiltinAscii(c).rows[r]) << c;
    EXPECT_EQ(std::count(file.begin() + 16, file.begin() + 32 * 16, 0), 31 * 16);
    // Zone 10 holds no characters in GB2312.
    EXPECT_EQ(std::count(file.begin() + HanziOffset(0xAA, 0xA1),
                         file.begin() + HanziOffset(0xAB, 0xA1), 0),
              94 * 32);
}

TEST(SimFontLibrary, AGlyphComesFromTheLibraryOnlyOnceAllItsBytesArrived) {
    CFontLibrary lib;
    EXPECT_FALSE(lib.Present());
    const Bytes ones(1024, 0xFF);
    lib.StoreBlock(0, ones); // codes 0..63: 'A' (0x41) is in the next block
    EXPECT_FALSE(lib.Ascii('A').fromLibrary);
    EXPECT_TRUE(lib.Ascii('0').fromLibrary);
    EXPECT_EQ(lib.Ascii('0').rows[0], 0xFF00);
    lib.StoreBlock(4, Bytes(1024, 0x81)); // address counts 256-byte units
    EXPECT_TRUE(lib.Ascii('A').fromLibrary);
    EXPECT_EQ(lib.Ascii('A').rows[7], 0x8100);
    EXPECT_EQ(lib.BytesStored(), 2048u);
}

TEST(SimFontLibrary, DoubleByteCharactersSitByZoneAndPosition) {
    const Bytes file = LibraryFile();
    CFontLibrary lib;
    const std::size_t zhong = HanziOffset(0xD6, 0xD0);
    const std::size_t block = zhong / 1024;
    lib.StoreBlock(static_cast<unsigned>(block * 4), std::span(file).subspan(block * 1024, 1024));
    const Glyph g = lib.Hanzi(0xD6, 0xD0);
    ASSERT_TRUE(g.fromLibrary);
    EXPECT_EQ(g.width, 16);
    for (int r = 0; r < 16; ++r)
        EXPECT_EQ(g.rows[r], file[zhong + 2 * r] << 8 | file[zhong + 2 * r + 1]);
    // 文 (CE C4) lies in a block that has not come: a box stands in for it.
    const Glyph wen = lib.Hanzi(0xCE, 0xC4);
    EXPECT_FALSE(wen.fromLibrary);
    EXPECT_EQ(wen.rows, CFontLibrary::Box().rows);
}

TEST(SimFontLibrary, ALockedLibraryKeepsWhatItHas) {
    CFontLibrary lib;
    lib.StoreBlock(0, Bytes(1024, 1));
    lib.SetLocked(true);
    EXPECT_FALSE(lib.StoreBlock(0, Bytes(1024, 2)));
    EXPECT_FALSE(lib.StoreBlock(4, Bytes(1024, 2)));
    EXPECT_EQ(lib.Ascii(0).rows[0], 0x0100);
    EXPECT_EQ(lib.BytesStored(), 1024u);
    lib.SetLocked(false);
    EXPECT_TRUE(lib.StoreBlock(4, Bytes(1024, 2)));
}

TEST(SimTextDrawing, AsciiTakesEightDotsAndGb2312SixteenWithOnlyLitDotsDrawn) {
    const CFontLibrary lib = LoadedLibrary();
    CCardDisplay d(64, 24);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 64; ++x)
            d.Set(0, x, y, 4); // a blue picture underneath
    const Bytes text = {'A', 0xD6, 0xD0, 'b', 0};
    const auto drawn = cardsim::DrawText(d, 0, 2, 3, 3, text, lib);
    EXPECT_EQ(drawn.characters, 3);
    EXPECT_EQ(drawn.fromLibrary, 3);
    const struct {
        Glyph g;
        int x;
    } expected[] = {{lib.Ascii('A'), 2}, {lib.Hanzi(0xD6, 0xD0), 10}, {lib.Ascii('b'), 26}};
    for (const auto& e : expected)
        for (int r = 0; r < 16; ++r)
            for (int c = 0; c < e.g.width; ++c)
                ASSERT_EQ(d.Pixel(0, e.x + c, 3 + r), e.g.Dot(c, r) ? 3 : 4)
                    << e.x << "," << c << "," << r;
    EXPECT_EQ(d.Pixel(0, 34, 3), 4); // past the text
}

TEST(SimTextDrawing, ALineFeedStartsANewLineSixteenRowsDown) {
    const CFontLibrary lib = LoadedLibrary();
    CCardDisplay a(40, 40), b(40, 40);
    cardsim::DrawText(a, 0, 5, 2, 1, Bytes{'H', '\n', 'I', 0}, lib);
    cardsim::DrawText(b, 0, 5, 2, 1, Bytes{'H', 0}, lib);
    cardsim::DrawText(b, 0, 5, 18, 1, Bytes{'I', 0}, lib);
    EXPECT_EQ(a.Bank(0), b.Bank(0));
}

TEST(SimTextDrawing, WithoutALibraryAsciiIsBuiltInAndOtherCharactersAreBoxes) {
    const CFontLibrary none;
    CCardDisplay d(64, 16);
    // 中, then a GBK character outside GB2312 (81 40), then a lone 0xFF and 'x'.
    const auto drawn =
        cardsim::DrawText(d, 0, 0, 0, 2, Bytes{0xD6, 0xD0, 0x81, 0x40, 'x', 0}, none);
    EXPECT_EQ(drawn.characters, 3);
    EXPECT_EQ(drawn.fromLibrary, 0);
    const Glyph box = CFontLibrary::Box();
    const Glyph x = CFontLibrary::BuiltinAscii('x');
    for (int r = 0; r < 16; ++r) {
        for (int c = 0; c < 16; ++c) {
            ASSERT_EQ(d.Pixel(0, c, r), box.Dot(c, r) ? 2 : 0);
            ASSERT_EQ(d.Pixel(0, 16 + c, r), box.Dot(c, r) ? 2 : 0);
        }
        for (int c = 0; c < 8; ++c)
            ASSERT_EQ(d.Pixel(0, 32 + c, r), x.Dot(c, r) ? 2 : 0);
    }
}

TEST(SimTextDrawing, TextStopsAtItsZeroByteAndFallsOffTheScreenEdge) {
    const CFontLibrary none;
    CCardDisplay d(10, 10);
    const auto drawn = cardsim::DrawText(d, 0, -4, -8, 1, Bytes{'W', 'W', 0, 'W'}, none);
    EXPECT_EQ(drawn.characters, 2);
    const Glyph w = CFontLibrary::BuiltinAscii('W');
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(d.Pixel(0, x, y), w.Dot(x + 4, y + 8) ? 1 : 0);
}
