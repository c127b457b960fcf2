// Reading a PNG picture file (picture_file.h): picture_png.cpp decodes with
// libpng, picture_png_win32.cpp with the Windows Imaging Component, to the
// same pixel codes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace palvex::cli {

// Widest image accepted. An interlaced PNG is only complete after its last
// pass, so its first 128 rows are kept whole until then: at most 32 MiB.
constexpr std::uint32_t kMaxImageWidth = 65536;

// Decodes the PNG image in `file`, whose 8-byte signature was read already,
// into `picture` (kPictureBytes bytes, zero-filled). False with the reason in
// `why`.
bool ReadPng(std::FILE* file, std::uint8_t* picture, std::string& why);

// The code of one pixel. `samples` holds one grey or three RGB values, each
// 0..maxValue; `alpha` is the opacity 0..maxValue (maxValue when opaque), by
// which every sample is scaled before the comparison.
std::uint8_t PixelCode(const unsigned* samples, bool colour, unsigned alpha, unsigned maxValue);

} // namespace palvex::cli
