#include "platform/os/dynamic_library.h"

#include "platform/os/text_win32.h"

#include <windows.h>

namespace palvex::os {

namespace {

// The system's sentence for a failure, without its line end.
std::string SystemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (n > 0 && buffer != nullptr) Utf8FromWide(std::wstring_view(buffer, n), text);
    if (buffer != nullptr) ::LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text.empty() ? "error " + std::to_string(code) : text;
}

// The file a module was loaded from; the buffer grows for long paths.
std::string ModuleFile(HMODULE module) {
    std::wstring buffer(MAX_PATH, L'\0');
    while (buffer.size() <= 32768) {
        const DWORD n =
            ::GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) {
            std::string path;
            return Utf8FromWide(std::wstring_view(buffer.data(), n), path) ? path : std::string();
        }
        buffer.resize(buffer.size() * 2);
    }
    return {};
}

} // namespace

void* OpenLibrary(const std::string& path, std::string& error) {
    std::wstring wide;
    if (!WideFromUtf8(path, wide)) {
        error = "cannot load " + path + ": the name is not UTF-8";
        return nullptr;
    }
    HMODULE module = ::LoadLibraryW(wide.c_str());
    if (module == nullptr) error = path + ": " + SystemMessage(::GetLastError());
    return reinterpret_cast<void*>(module);
}

void* LibrarySymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseLibrary(void* library) {
    ::FreeLibrary(static_cast<HMODULE>(library));
}

std::string FileOfLoadedObject(const void* address) {
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCWSTR>(address), &module))
        return {};
    return ModuleFile(module);
}

std::string ProgramFile() {
    return ModuleFile(nullptr);
}

bool FileExists(const std::string& path) {
    std::wstring wide;
    return WideFromUtf8(path, wide) &&
           ::GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace palvex::os
