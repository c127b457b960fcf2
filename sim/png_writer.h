// RGB images as PNG files, through libpng.
#pragma once

#include "sim/snapshot.h"

#include <string>

namespace cardsim {

// Writes the image to `path` by way of a temporary file beside it, so that
// someone watching the file never reads half an image. False with `error`
// set when it cannot.
bool WritePng(const std::string& path, const RgbImage& image, std::string& error);

} // namespace cardsim
