// Writing an RGBA image as a PNG file (libpng).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace palvex::cli {

// `rgba` holds width x height pixels of 4 bytes (R, G, B, A), rows packed.
// False with a message naming the file when it cannot be written.
bool WriteRgbaPng(const std::string& path, const std::vector<std::uint8_t>& rgba, unsigned width,
                  unsigned height, std::string& error);

} // namespace palvex::cli
