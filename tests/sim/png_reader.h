// Reads a PNG file back as 8-bit RGB, for checking what the card wrote.
#pragma once

#include "sim/snapshot.h"

#include <optional>
#include <string>

namespace simtest {

std::optional<cardsim::RgbImage> ReadPng(const std::string& path);

// The colour code (bit 0 red, 1 green, 2 blue) a person would name for the
// LED at (column, row) of a snapshot, read at the centre of its dot; -1 for
// an LED that is off (its dot dim grey).
int LedCode(const cardsim::RgbImage& image, int column, int row);

} // namespace simtest
