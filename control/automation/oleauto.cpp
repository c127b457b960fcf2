#include "control/automation/oleauto.h"

#include <cstring>
#include <string>

BSTR BstrFromBytes(const char* text) {
    const std::size_t n = std::strlen(text);
    BSTR s = SysAllocStringLen(nullptr, static_cast<unsigned>(n));
    if (s == nullptr) return nullptr;
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<unsigned char>(text[i]);
    return s;
}

BSTR BstrFromUtf8(const char* text) {
    std::basic_string<OLECHAR> wide;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != 0) {
        unsigned code = *p;
        int more = code < 0x80 ? 0 : (code >> 5) == 6 ? 1 : (code >> 4) == 14 ? 2 : (code >> 3) == 30 ? 3 : -1;
        ++p;
        if (more < 0) {
            wide += 0xFFFD;
            continue;
        }
        if (more > 0) code &= 0x3F >> more;
        for (; more > 0; --more, ++p) {
            if ((*p & 0xC0) != 0x80) break;
            code = (code << 6) | (*p & 0x3F);
        }
        if (more > 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            wide += 0xFFFD;
        } else if (code >= 0x10000) {
            code -= 0x10000;
            wide += static_cast<OLECHAR>(0xD800 + (code >> 10));
            wide += static_cast<OLECHAR>(0xDC00 + (code & 0x3FF));
        } else {
            wide += static_cast<OLECHAR>(code);
        }
    }
    return SysAllocStringLen(wide.data(), static_cast<unsigned>(wide.size()));
}
