#include "sim/gbk_text.h"

#include "sim/iconv_handle.h"

#include <algorithm>

namespace cardsim {

std::string GbkToUtf8(std::span<const std::uint8_t> text) {
    const auto end = std::find(text.begin(), text.end(), std::uint8_t{0});
    std::string in(text.begin(), end);
    const CIconv cd("UTF-8", "GBK");
    if (!cd.Ok()) return in;
    std::string out(in.size() * 3 + 4, '\0');
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    while (inLeft > 0) {
        if (iconv(cd.Get(), &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1))
            break;
        if (outLeft == 0) break;
        // Not GBK (or cut short): mark it and carry on with the next byte.
        *outPtr++ = '?';
        --outLeft;
        ++inPtr;
        --inLeft;
        iconv(cd.Get(), nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(out.size() - outLeft);
    return out;
}

} // namespace cardsim
