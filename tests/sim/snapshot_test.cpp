// The picture of the screen: LED dots in their colours, and the PNG file.
#include "sim/png_writer.h"
#include "sim/snapshot.h"

#include "png_reader.h"
#include "sim_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using cardsim::kSnapshotCell;
using cardsim::RenderScreen;
using cardsim::RgbImage;
using cardsim::ScreenLook;

namespace {

std::array<int, 3> At(const RgbImage& img, int x, int y) {
    const std::uint8_t* p = &img.rgb[(static_cast<std::size_t>(y) * img.width + x) * 3];
    return {p[0], p[1], p[2]};
}

} // namespace

TEST(SimSnapshot, EveryCodeLightsItsColourPartsAndZeroLeavesADimDot) {
    std::vector<std::uint8_t> codes = {0, 1, 2, 3, 4, 5, 6, 7, 0x0E};
    const RgbImage img = RenderScreen(9, 1, codes, ScreenLook{});
    ASSERT_EQ(img.width, 9 * kSnapshotCell);
    ASSERT_EQ(img.height, kSnapshotCell);
    EXPECT_EQ(simtest::LedCode(img, 0, 0), -1);
    EXPECT_EQ(At(img, 3, 3), (std::array<int, 3>{cardsim::kOffDotLevel, cardsim::kOffDotLevel,
                                                 cardsim::kOffDotLevel}));
    for (int code = 1; code < 8; ++code)
        EXPECT_EQ(simtest::LedCode(img, code, 0), code);
    EXPECT_EQ(simtest::LedCode(img, 8, 0), 6); // bit 3 lights nothing
    EXPECT_EQ(At(img, 1 * kSnapshotCell + 3, 3),
              (std::array<int, 3>{255, cardsim::kUnlitPart, cardsim::kUnlitPart}));
}

TEST(SimSnapshot, DotsAreRoundOnADarkBoard) {
    const RgbImage img = RenderScreen(1, 1, {7}, ScreenLook{});
    const int board = cardsim::kBoardLevel;
    EXPECT_EQ(At(img, 0, 0), (std::array<int, 3>{board, board, board}));
    EXPECT_EQ(At(img, 7, 7), (std::array<int, 3>{board, board, board}));
    EXPECT_EQ(At(img, 3, 0)[0], At(img, 0, 3)[0]); // top and left edges alike
    EXPECT_GT(At(img, 3, 0)[0], board);            // the dot reaches the edge midpoints
    EXPECT_EQ(At(img, 4, 4), (std::array<int, 3>{255, 255, 255}));
}

TEST(SimSnapshot, ADarkScreenAndDeadLedsShowOnlyOffDots) {
    ScreenLook dark;
    dark.lit = false;
    const RgbImage off = RenderScreen(2, 1, {1, 2}, dark);
    EXPECT_EQ(simtest::LedCode(off, 0, 0), -1);
    EXPECT_EQ(simtest::LedCode(off, 1, 0), -1);
    ScreenLook dead;
    dead.deadLeds = {{1, 0}, {50, 50}};
    const RgbImage img = RenderScreen(2, 1, {1, 2}, dead);
    EXPECT_EQ(simtest::LedCode(img, 0, 0), 1);
    EXPECT_EQ(simtest::LedCode(img, 1, 0), -1);
}

TEST(SimSnapshot, BrightnessDimsTheLitPartsWithoutPuttingThemOut) {
    ScreenLook dim;
    dim.brightness = 0;
    EXPECT_EQ(At(RenderScreen(1, 1, {2}, dim), 3, 3)[1], 80);
    dim.brightness = 128;
    EXPECT_EQ(At(RenderScreen(1, 1, {2}, dim), 3, 3)[1], 80 + 175 * 128 / 255);
}

TEST(SimSnapshot, APngFileReadsBackAsTheImage) {
    simtest::CTempDir dir;
    std::vector<std::uint8_t> codes(12 * 5);
    for (std::size_t i = 0; i < codes.size(); ++i)
        codes[i] = static_cast<std::uint8_t>(i % 8);
    const RgbImage img = RenderScreen(12, 5, codes, ScreenLook{});
    std::string error;
    ASSERT_TRUE(cardsim::WritePng(dir.File("screen.png"), img, error)) << error;
    EXPECT_FALSE(std::filesystem::exists(dir.File("screen.png.tmp")));
    const auto back = simtest::ReadPng(dir.File("screen.png"));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->width, img.width);
    EXPECT_EQ(back->height, img.height);
    EXPECT_TRUE(back->rgb == img.rgb);
}

TEST(SimSnapshot, AFileThatCannotBeWrittenIsReported) {
    simtest::CTempDir dir;
    std::string error;
    const RgbImage img = RenderScreen(1, 1, {1}, ScreenLook{});
    EXPECT_FALSE(cardsim::WritePng(dir.File("missing/screen.png"), img, error));
    EXPECT_NE(error.find("missing/screen.png"), std::string::npos) << error;
    EXPECT_FALSE(cardsim::WritePng(dir.File("empty.png"), RgbImage{}, error));
}
