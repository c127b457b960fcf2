#include "platform/registry/store_path.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>

namespace palvex::reg {

namespace {

constexpr const char* kStoreName = "palvex-registry";

// mkdir -p for the store's own directories; existing ones are accepted.
bool MakeDirectories(const std::string& path) {
    for (std::size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos != path.size() && path[pos] != '/') continue;
        const std::string prefix = path.substr(0, pos);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
}

} // namespace

std::string StoreDirectory() {
    // A relative XDG_CONFIG_HOME is to be ignored, as the base-directory
    // convention says: it would move with the working directory.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/')
        return std::string(xdg) + "/" + kStoreName;
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
        return std::string(home) + "/.config/" + kStoreName;
    return {};
}

LSTATUS StatusFromErrno(int err) {
    switch (err) {
    case ENOENT: return kFileNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return kAccessDenied;
    case ENAMETOOLONG: return kInvalidParameter;
    case EFBIG: return kMoreData;
    default: return kIoFailed;
    }
}

CUniqueFd OpenRootDirectory(Root root, bool create, LSTATUS& status) {
    const std::string store = StoreDirectory();
    if (store.empty()) {
        status = kPathNotFound;
        return {};
    }
    const std::string path = store + "/" + RootName(root);
    if (create && !MakeDirectories(path)) {
        status = StatusFromErrno(errno);
        return {};
    }
    CUniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    status = fd.Valid() ? kSuccess : StatusFromErrno(errno);
    return fd;
}

} // namespace palvex::reg
