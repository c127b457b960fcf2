#include "platform/os/dynamic_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <filesystem>

namespace palvex::os {

void* OpenLibrary(const std::string& path, std::string& error) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        error = why != nullptr ? why : "cannot load " + path;
    }
    return handle;
}

void* LibrarySymbol(void* library, const char* name) { return dlsym(library, name); }

void CloseLibrary(void* library) { dlclose(library); }

std::string FileOfLoadedObject(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr || info.dli_fname[0] == '\0')
        return {};
    // The name it was loaded by, made absolute but with its links kept: a
    // registration of .../libpalvex.so.1 follows the library's updates.
    std::error_code ec;
    std::filesystem::path path = info.dli_fname;
    // A program started through PATH is known by its bare name.
    if (path.is_relative() && !path.has_parent_path())
        path = std::filesystem::read_symlink("/proc/self/exe", ec);
    else
        path = std::filesystem::absolute(path, ec).lexically_normal();
    return ec ? std::string() : path.string();
}

std::string ProgramFile() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    return std::string(buf, static_cast<std::size_t>(n));
}

bool FileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

} // namespace palvex::os
