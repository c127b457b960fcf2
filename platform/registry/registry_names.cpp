#include "platform/registry/registry_names.h"

#include "platform/registry/registry.h"

namespace palvex::reg {

namespace {

constexpr std::size_t kMaxNameBytes = 255;

bool IsSafeName(std::string_view name, std::string_view forbidden) {
    if (name.empty() || name.size() > kMaxNameBytes) return false;
    if (name == "." || name == "..") return false;
    if (name.starts_with(kTempPrefix)) return false;
    return name.find_first_of(forbidden) == std::string_view::npos;
}

} // namespace

const char* RootName(Root root) {
    switch (root) {
    case Root::ClassesRoot:
        return "HKEY_CLASSES_ROOT";
    case Root::CurrentUser:
        return "HKEY_CURRENT_USER";
    case Root::LocalMachine:
        return "HKEY_LOCAL_MACHINE";
    }
    return "HKEY_CURRENT_USER";
}

bool IsSafeKeyName(std::string_view name) {
    return IsSafeName(name, std::string_view("/\0", 2));
}

bool IsSafeValueName(std::string_view name) {
    if (name.empty()) return true;
    return name != kDefaultValueFile && IsSafeName(name, std::string_view("/\\\0", 3));
}

bool SplitKeyPath(std::string_view path, std::vector<std::string>& names) {
    names.clear();
    if (path.empty()) return true;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = path.find('\\', start);
        const std::string_view name = path.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!IsSafeKeyName(name)) return false;
        names.emplace_back(name);
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
}

} // namespace palvex::reg
