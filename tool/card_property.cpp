#include "tool/card_property.h"

#include <cstring>

namespace dravel {

namespace {

namespace prop = palvex::card::property;

// Characters in a string of the binary interface: its byte count, kept in
// the 4 bytes before the first character, over the size of one.
unsigned StringLength(BSTR s) {
    std::uint32_t bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<const unsigned char*>(s) - sizeof bytes, sizeof bytes);
    return bytes / sizeof(OLECHAR);
}

int DigitValue(char c) {
    return c >= '0' && c <= '9' ? c - '0' : static_cast<unsigned char>(c) - 0x37;
}

} // namespace

std::string PropertyTextFromBstr(BSTR text) {
    std::string out;
    if (text == nullptr) return out;
    const unsigned n = StringLength(text);
    out.reserve(n);
    for (unsigned i = 0; i < n; ++i) out.push_back(static_cast<char>(text[i] & 0xFF));
    return out;
}

std::uint8_t HexPairAt(std::string_view text, std::size_t i) {
    return static_cast<std::uint8_t>(DigitValue(text[i]) * 16 + DigitValue(text[i + 1]));
}

bool ParseCardProperty(std::string_view text, CardProperty& out) {
    // A shorter text (capture mode gives an empty one) holds no block to
    // read: positions past its end are not the card's.
    if (text.size() < prop::kTextUsed || !text.starts_with(kDTypeIdentification)) return false;
    out.version = {text[prop::kVersionAt], '.', text[prop::kMinorVersionAt],
                   text[prop::kMinorVersionAt + 1]};
    out.year = static_cast<std::uint16_t>(HexPairAt(text, prop::kYearAt) * 256 +
                                          HexPairAt(text, prop::kYearAt + 2));
    out.month = HexPairAt(text, prop::kMonthAt);
    out.day = HexPairAt(text, prop::kDayAt);
    // Width is the first three digits of the size, height the last three:
    // the pair at kHeightAt - 1 holds the last width digit and the first
    // height digit.
    const unsigned mixed = HexPairAt(text, prop::kHeightAt - 1);
    out.width = static_cast<std::uint16_t>(HexPairAt(text, prop::kWidthAt) * 16 + mixed / 16);
    out.height =
        static_cast<std::uint16_t>((mixed % 16) * 256 + HexPairAt(text, prop::kHeightAt + 1));
    const std::uint8_t z = HexPairAt(text, prop::kFlagsAt);
    out.color = z & prop::kModuleTypeBit;
    out.flags = z & static_cast<std::uint8_t>(~prop::kModuleTypeBit);
    return true;
}

} // namespace dravel
