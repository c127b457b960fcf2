// The Linux module's own string and variant functions: the system has no
// automation library, so the module makes and frees its strings itself.
#include "control/automation/oleauto.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

// A string is a 4-byte length (in bytes) followed by the characters and a zero
// character; the handle points at the first character.
extern "C" BSTR SysAllocStringLen(const OLECHAR* s, unsigned len) {
    const std::size_t bytes = sizeof(std::uint32_t) + (std::size_t{len} + 1) * sizeof(OLECHAR);
    auto* block = static_cast<unsigned char*>(std::malloc(bytes));
    if (block == nullptr) return nullptr;
    const std::uint32_t byteLen = len * static_cast<std::uint32_t>(sizeof(OLECHAR));
    std::memcpy(block, &byteLen, sizeof byteLen);
    auto* chars = reinterpret_cast<OLECHAR*>(block + sizeof(std::uint32_t));
    if (s != nullptr)
        std::memcpy(chars, s, len * sizeof(OLECHAR));
    else
        std::memset(chars, 0, len * sizeof(OLECHAR));
    chars[len] = 0;
    return chars;
}

extern "C" BSTR SysAllocString(const OLECHAR* s) {
    if (s == nullptr) return nullptr;
    unsigned n = 0;
    while (s[n] != 0)
        ++n;
    return SysAllocStringLen(s, n);
}

extern "C" void SysFreeString(BSTR s) {
    if (s == nullptr) return;
    std::free(reinterpret_cast<unsigned char*>(s) - sizeof(std::uint32_t));
}

extern "C" unsigned SysStringLen(BSTR s) {
    if (s == nullptr) return 0;
    std::uint32_t byteLen;
    std::memcpy(&byteLen, reinterpret_cast<unsigned char*>(s) - sizeof byteLen, sizeof byteLen);
    return byteLen / sizeof(OLECHAR);
}

extern "C" void VariantInit(VARIANT* v) {
    std::memset(v, 0, sizeof *v);
    v->vt = VT_EMPTY;
}

extern "C" HRESULT VariantClear(VARIANT* v) {
    if (v == nullptr) return E_POINTER;
    if (v->vt == VT_BSTR) SysFreeString(v->bstrVal);
    VariantInit(v);
    return S_OK;
}

