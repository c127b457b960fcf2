#include "sim/option_number.h"

#include <cerrno>
#include <cstdlib>

namespace cardsim {

std::optional<long> ParseOptionNumber(const std::string& text, long lo, long hi, int base) {
    if (text.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, base);
    if (errno != 0 || *end != 0 || v < lo || v > hi) return std::nullopt;
    return v;
}

} // namespace cardsim
