#include "control/automation/oleauto.h"

#include <cstring>

BSTR BstrFromBytes(const char* text) {
    const std::size_t n = std::strlen(text);
    BSTR s = SysAllocStringLen(nullptr, static_cast<unsigned>(n));
    if (s == nullptr) return nullptr;
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<unsigned char>(text[i]);
    return s;
}
