// Texts handed across COM by the control's Windows objects: a string
// resource of the module copied into task memory, which the caller frees
// with CoTaskMemFree.
#pragma once

#include <windows.h>

#include <objbase.h>

#include <cstring>

namespace palvex::win32 {

// *text is the string resource `id` of `module`, or null with the reason
// when the module has no such string.
inline HRESULT LoadTaskString(HMODULE module, UINT id, LPOLESTR* text) {
    *text = nullptr;
    const wchar_t* resource = nullptr;
    // With no buffer, LoadStringW gives the resource's own read-only text,
    // which is not terminated.
    const int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&resource), 0);
    if (length <= 0 || resource == nullptr) {
        const DWORD error = GetLastError();
        return HRESULT_FROM_WIN32(error != ERROR_SUCCESS ? error : ERROR_RESOURCE_NAME_NOT_FOUND);
    }
    const std::size_t bytes = (static_cast<std::size_t>(length) + 1) * sizeof(wchar_t);
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (copy == nullptr) return E_OUTOFMEMORY;
    std::memcpy(copy, resource, bytes - sizeof(wchar_t));
    copy[length] = L'\0';
    *text = copy;
    return S_OK;
}

} // namespace palvex::win32
