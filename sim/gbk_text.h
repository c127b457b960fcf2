// GBK text as a terminal shows it, for the card's log lines.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace cardsim {

// UTF-8 for the bytes up to the first zero; a byte that is not GBK becomes
// "?" and the conversion goes on after it.
std::string GbkToUtf8(std::span<const std::uint8_t> text);

} // namespace cardsim
