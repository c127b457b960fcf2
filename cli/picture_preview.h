// What a card shows for a picture, without a card: the picture cut into the
// steps SendPicture sends for a screen of the given size, taken apart again
// as the card's picture memory does, and drawn as the simulated card draws
// its screen (sim/snapshot.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace palvex::cli {

// The bytes step `step` of a page carries for a picture buffer (picture_file.h)
// on a screen of `width` x `height`: row `step`, and on a screen taller than
// 64 rows the row 64 further down in the high four bits, where there is one.
std::vector<std::uint8_t> PictureStep(const std::vector<std::uint8_t>& picture, int width,
                                      int height, int step);

// The pixel codes the screen shows once every step of the page arrived,
// width x height, row by row.
std::vector<std::uint8_t> PreviewCodes(const std::vector<std::uint8_t>& picture, int width,
                                       int height);

// Writes the screen as a PNG image like cardsim's snapshot. False with a
// message naming the file.
bool WritePreview(const std::string& path, const std::vector<std::uint8_t>& picture, int width,
                  int height, std::string& error);

} // namespace palvex::cli
