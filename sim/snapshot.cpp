#include "sim/snapshot.h"

#include <algorithm>
#include <array>

namespace cardsim {

namespace {

using DotMask = std::array<std::uint8_t, kSnapshotCell * kSnapshotCell>;

// How much of each cell pixel the round dot covers, 0..16, from 4 x 4
// samples per pixel: smooth edges without a graphics library.
DotMask MakeDotMask() {
    DotMask mask{};
    const double centre = 3.5;
    const double radius = 3.4;
    for (int py = 0; py < kSnapshotCell; ++py)
        for (int px = 0; px < kSnapshotCell; ++px) {
            int inside = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx) {
                    const double dx = px + (sx + 0.5) / 4 - 0.5 - centre;
                    const double dy = py + (sy + 0.5) / 4 - 0.5 - centre;
                    inside += dx * dx + dy * dy <= radius * radius;
                }
            mask[static_cast<std::size_t>(py * kSnapshotCell + px)] =
                static_cast<std::uint8_t>(inside);
        }
    return mask;
}

} // namespace

RgbImage RenderScreen(int width, int height, const std::vector<std::uint8_t>& codes,
                      const ScreenLook& look) {
    static const DotMask kMask = MakeDotMask();
    RgbImage img;
    img.width = std::max(width, 0) * kSnapshotCell;
    img.height = std::max(height, 0) * kSnapshotCell;
    img.rgb.assign(static_cast<std::size_t>(img.width) * img.height * 3, kBoardLevel);

    // The eight looks of a cell (code 0 is an LED that is off), drawn once
    // and copied row by row: a large screen renders in a few milliseconds.
    constexpr std::size_t kCellRow = kSnapshotCell * 3;
    std::array<std::array<std::uint8_t, kCellRow * kSnapshotCell>, 8> cells{};
    const int full = 80 + 175 * look.brightness / 255;
    for (int code = 0; code < 8; ++code) {
        std::array<int, 3> dot{kOffDotLevel, kOffDotLevel, kOffDotLevel};
        if (code != 0)
            for (int c = 0; c < 3; ++c)
                dot[c] = (code >> c) & 1 ? full : kUnlitPart;
        for (std::size_t p = 0; p < kMask.size(); ++p)
            for (int c = 0; c < 3; ++c)
                cells[code][3 * p + c] =
                    static_cast<std::uint8_t>(kBoardLevel + (dot[c] - kBoardLevel) * kMask[p] / 16);
    }
    std::vector<bool> dead(static_cast<std::size_t>(std::max(width, 0)) * std::max(height, 0),
                           false);
    for (const auto& [x, y] : look.deadLeds)
        if (x >= 0 && y >= 0 && x < width && y < height)
            dead[static_cast<std::size_t>(y) * width + x] = true;

    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * width + x;
            const int code = look.lit && !dead[i] && i < codes.size() ? codes[i] & 7 : 0;
            const std::uint8_t* cell = cells[code].data();
            for (int py = 0; py < kSnapshotCell; ++py)
                std::copy_n(cell + py * kCellRow, kCellRow,
                            &img.rgb[(static_cast<std::size_t>(y * kSnapshotCell + py) * img.width +
                                      x * kSnapshotCell) *
                                     3]);
        }
    return img;
}

} // namespace cardsim
