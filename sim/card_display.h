// The card's two display banks. Each bank holds one pixel code per LED of
// the width x height screen, row by row; one bank is on the screen at a
// time. A pixel code lights the LED's red (bit 0), green (bit 1) and blue
// (bit 2) parts: 0 off, 1 red, 2 green, 3 yellow, 4 blue, 5 magenta,
// 6 cyan, 7 white. Higher bits are kept but light nothing.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace cardsim {

class CCardDisplay {
  public:
    static constexpr int kBanks = 2;

    CCardDisplay(int width, int height);

    // A new screen size keeps what both sizes share, in both banks.
    void Resize(int width, int height);
    int Width() const { return m_width; }
    int Height() const { return m_height; }

    // Every bank number counts by its lowest bit: even is bank 0, odd bank 1.
    int Displayed() const { return m_displayed; }
    void Switch(int bank);
    void Clear(int bank);
    // Bank `dest` becomes a copy of the other bank.
    void CopyFromOther(int dest);
    // Both banks cleared, bank 0 on the screen.
    void Reset();

    // Points outside the screen are left out (Set) or read as 0 (Pixel).
    void Set(int bank, int x, int y, std::uint8_t code);
    std::uint8_t Pixel(int bank, int x, int y) const;
    // Every point from (x1, y1) to (x2, y2), both ends included.
    void DrawLine(int bank, int x1, int y1, int x2, int y2, std::uint8_t code);
    // Replaces the bank with width x height codes, row by row.
    void Fill(int bank, const std::vector<std::uint8_t>& codes);

    const std::vector<std::uint8_t>& Bank(int bank) const { return m_banks[bank & 1]; }

  private:
    int m_width;
    int m_height;
    int m_displayed = 0;
    std::array<std::vector<std::uint8_t>, kBanks> m_banks;
};

} // namespace cardsim
