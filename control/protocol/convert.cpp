#include "control/protocol/convert.h"

int DigitValue(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u >= '0' && u <= '9') return u - '0';
    return static_cast<int>(u) - 0x37;
}

std::uint8_t HexPairToByte(char c1, char c2) {
    return static_cast<std::uint8_t>((DigitValue(c1) << 4) + DigitValue(c2));
}

std::uint8_t ByteToBcd(std::uint8_t v) {
    return static_cast<std::uint8_t>((v / 10) * 16 + v % 10);
}

std::uint8_t DigitPairToNumber(char c1, char c2) {
    return static_cast<std::uint8_t>(DigitValue(c1) * 10 + DigitValue(c2));
}
