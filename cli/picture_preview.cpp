#include "cli/picture_preview.h"

#include "cli/picture_file.h"
#include "cli/png_write.h"
#include "control/palvex_facts.h"
#include "sim/picture_memory.h"
#include "sim/snapshot.h"

#include <algorithm>

namespace palvex::cli {

namespace {
// Rows one step sends on each pass: a screen higher than this is sent two
// rows a step.
constexpr int kRowsPerStep = card::kMaxSendSteps;
} // namespace

std::vector<std::uint8_t> PictureStep(const std::vector<std::uint8_t>& picture, int width,
                                      int height, int step) {
    std::vector<std::uint8_t> body(static_cast<std::size_t>(width));
    const bool twoRows = height > kRowsPerStep && step + kRowsPerStep < height;
    const std::uint8_t* row = picture.data() + static_cast<std::size_t>(step) * kPictureColumns;
    for (int j = 0; j < width; ++j) {
        unsigned b = row[j];
        if (twoRows) b |= static_cast<unsigned>(row[kRowsPerStep * kPictureColumns + j]) << 4;
        body[static_cast<std::size_t>(j)] = static_cast<std::uint8_t>(b);
    }
    return body;
}

std::vector<std::uint8_t> PreviewCodes(const std::vector<std::uint8_t>& picture, int width,
                                       int height) {
    cardsim::CPictureMemory memory;
    const int steps = std::min(height, kRowsPerStep);
    for (int s = 0; s < steps; ++s)
        memory.StoreStep(0, s, PictureStep(picture, width, height, s));
    return memory.Unpack(0, width, height);
}

bool WritePreview(const std::string& path, const std::vector<std::uint8_t>& picture, int width,
                  int height, std::string& error) {
    // A card lit at full brightness, every LED working.
    const cardsim::RgbImage image = cardsim::RenderScreen(
        width, height, PreviewCodes(picture, width, height), cardsim::ScreenLook{});
    return WriteScreenPng(path, image, error);
}

} // namespace palvex::cli
