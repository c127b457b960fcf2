// A text as the module's C entry points hand texts out (palvex_c.cpp on
// Linux, palvex_typelib_text of Palvex.ocx): at most capacity-1 characters
// and a zero into buffer (which may be null when capacity is 0), the full
// length returned; "" and 0 when the text cannot be made.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

namespace palvex {

template <class MakeText>
std::size_t CopyText(char* buffer, std::size_t capacity, MakeText make) noexcept {
    if (buffer != nullptr && capacity > 0) buffer[0] = '\0';
    try {
        const std::string text = make();
        if (buffer != nullptr && capacity > 0) {
            const std::size_t n = std::min(text.size(), capacity - 1);
            std::memcpy(buffer, text.data(), n);
            buffer[n] = '\0';
        }
        return text.size();
    } catch (...) {
        return 0;
    }
}

} // namespace palvex
