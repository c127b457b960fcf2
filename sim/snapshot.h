// A picture of the screen as a person would see it: every LED a round dot
// in a square cell on a dark board, lit in its colour or dimly grey when off.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace cardsim {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb; // 3 bytes per pixel, row by row
};

// Each LED takes kSnapshotCell x kSnapshotCell image pixels; the dot's
// centre pixel is (column x cell + 3, row x cell + 3).
constexpr int kSnapshotCell = 8;

struct ScreenLook {
    bool lit = true;                           // false: power or schedule has the screen dark
    std::uint8_t brightness = 255;             // lit parts shine at 80 + 175 x brightness / 255
    std::vector<std::pair<int, int>> deadLeds; // (column, row) that stay dark
};

// Colours of the picture, per channel.
constexpr std::uint8_t kBoardLevel = 16;  // between the dots
constexpr std::uint8_t kOffDotLevel = 48; // an LED that is off
constexpr std::uint8_t kUnlitPart = 24;   // the dark parts of a lit LED

// `codes` holds width x height pixel codes, row by row.
RgbImage RenderScreen(int width, int height, const std::vector<std::uint8_t>& codes,
                      const ScreenLook& look);

} // namespace cardsim
