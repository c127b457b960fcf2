// Writing palvex's images as PNG files: the control's design-time picture
// (draw) and the preview of a screen. png_write.cpp writes with libpng
// (the preview through the simulated card's snapshot writer),
// png_write_win32.cpp with the Windows Imaging Component; the files' bytes
// differ, their pixels do not.
#pragma once

#include "sim/snapshot.h"

#include <cstdint>
#include <string>
#include <vector>

namespace palvex::cli {

// `rgba` holds width x height pixels of 4 bytes (R, G, B, A), rows packed.
// False with a message naming the file when it cannot be written.
bool WriteRgbaPng(const std::string& path, const std::vector<std::uint8_t>& rgba, unsigned width,
                  unsigned height, std::string& error);

// The screen as an RGB image, by way of a temporary file beside `path`, so
// that someone watching the file never reads half an image. False with a
// message naming the file.
bool WriteScreenPng(const std::string& path, const cardsim::RgbImage& image, std::string& error);

} // namespace palvex::cli
