#include "platform/os/text_win32.h"

#include <windows.h>

#include <climits>

namespace palvex::os {

bool WideFromUtf8(std::string_view text, std::wstring& wide) {
    wide.clear();
    if (text.empty()) return true;
    if (text.size() > INT_MAX) return false;
    const int n = static_cast<int>(text.size());
    const int length =
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), n, nullptr, 0);
    if (length <= 0) return false;
    wide.resize(static_cast<std::size_t>(length));
    return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), n, wide.data(),
                                 length) == length;
}

bool Utf8FromWide(std::wstring_view wide, std::string& text) {
    text.clear();
    if (wide.empty()) return true;
    if (wide.size() > INT_MAX / 3) return false;
    const int n = static_cast<int>(wide.size());
    const int length = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), n, nullptr,
                                             0, nullptr, nullptr);
    if (length <= 0) return false;
    text.resize(static_cast<std::size_t>(length));
    return ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), n, text.data(), length,
                                 nullptr, nullptr) == length;
}

std::wstring WideOf(std::string_view text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    const int n = static_cast<int>(text.size());
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), n, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) ::MultiByteToWideChar(CP_UTF8, 0, text.data(), n, wide.data(), length);
    return wide;
}

std::string Utf8Of(std::wstring_view wide) {
    if (wide.empty() || wide.size() > INT_MAX / 3) return {};
    const int n = static_cast<int>(wide.size());
    const int length =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, text.data(), length, nullptr, nullptr);
    return text;
}

} // namespace palvex::os
