// Picture files for SendPicture: the control reads 128 rows of 512 one-byte
// pixel codes (65,536 bytes, row pitch 512). palvex fills that buffer from a
// file given on the command line:
//
//   - a file starting with the PNG signature is decoded as PNG;
//   - a file starting with "P5" or "P2" and a blank is read as PGM (binary or
//     plain, any maximum value up to 65535);
//   - any other file must be exactly 65,536 bytes and is used as it is.
//
// Images are converted pixel by pixel: their top-left 512 x 128 pixels land
// at the same row and column of the buffer, everything else in the buffer is
// zero. A grey pixel gives 1 when its value is at least half the image's
// maximum (128 of 255) and 0 otherwise; a colour pixel (RGB or palette) gives
// bit 0 red, bit 1 green, bit 2 blue, each set when that channel is at least
// 128 of 255. Transparency darkens: each channel is scaled by the pixel's
// opacity before the comparison, so fully transparent pixels give 0. All codes
// are 0..7, so they fit the four bits a screen taller than 64 rows has per
// pixel.
#pragma once

#include "control/palvex_facts.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace palvex::cli {

constexpr std::size_t kPictureColumns = card::kPictureRowPitch;
constexpr std::size_t kPictureRows = card::kPictureRows;
constexpr std::size_t kPictureBytes = kPictureColumns * kPictureRows;

// Fills `picture` with kPictureBytes bytes from the file at `path`. False with
// a message (naming the file) when the file cannot be read, is a damaged
// image, or is neither an image nor exactly kPictureBytes long.
bool LoadPictureFile(const std::string& path, std::vector<std::uint8_t>& picture,
                     std::string& error);

} // namespace palvex::cli
