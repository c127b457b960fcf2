#include "platform/registry/registry.h"

#include "platform/registry/registry_names.h"
#include "platform/registry/store_path.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace palvex::reg {

namespace {

// File that holds a value: "" (the default value) is kept as "@", so "@"
// itself cannot name a value.
bool ValueFileName(std::string_view name, std::string& file) {
    if (!IsSafeValueName(name)) return false;
    file = name.empty() ? kDefaultValueFile : name;
    return true;
}

LSTATUS KeyStatus(int err) {
    // A file or link where a key directory was expected: not a key this
    // store may enter.
    if (err == ENOTDIR || err == ELOOP || err == EISDIR) return kAccessDenied;
    return StatusFromErrno(err);
}

CUniqueFd OpenDirAt(int dirFd, const char* name) {
    return CUniqueFd(::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

enum class EntryKind { Key, Value, Other };

EntryKind KindOf(int dirFd, const dirent& e) {
    unsigned char type = e.d_type;
    if (type == DT_UNKNOWN) {
        struct stat st {};
        if (::fstatat(dirFd, e.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return EntryKind::Other;
        type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
    }
    if (type == DT_DIR) return EntryKind::Key;
    if (type == DT_REG) return EntryKind::Value;
    return EntryKind::Other;
}

// Every entry of a key directory except "." and ".." with its kind.
LSTATUS ListEntries(int dirFd, std::vector<std::pair<std::string, EntryKind>>& out) {
    out.clear();
    CUniqueFd own(::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!own.Valid()) return KeyStatus(errno);
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(own.Get()));
    if (!dir) return KeyStatus(errno);
    own.Release(); // the DIR stream owns it now
    errno = 0;
    while (const dirent* e = ::readdir(dir.get())) {
        const std::string_view name = e->d_name;
        if (name != "." && name != "..") out.emplace_back(name, KindOf(dirFd, *e));
        errno = 0;
    }
    if (errno != 0) return KeyStatus(errno);
    std::sort(out.begin(), out.end());
    return kSuccess;
}

// Removes everything inside a directory, depth first, without following links.
LSTATUS RemoveContents(int dirFd) {
    std::vector<std::pair<std::string, EntryKind>> entries;
    if (const LSTATUS rc = ListEntries(dirFd, entries); rc != kSuccess) return rc;
    for (const auto& [name, kind] : entries) {
        if (kind == EntryKind::Key) {
            const CUniqueFd child = OpenDirAt(dirFd, name.c_str());
            if (!child.Valid()) return KeyStatus(errno);
            if (const LSTATUS rc = RemoveContents(child.Get()); rc != kSuccess) return rc;
            if (::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) != 0) return KeyStatus(errno);
        } else if (::unlinkat(dirFd, name.c_str(), 0) != 0) {
            return KeyStatus(errno);
        }
    }
    return ::fsync(dirFd) == 0 ? kSuccess : kIoFailed;
}

std::string TempName() {
    static std::atomic<unsigned> counter{0};
    static thread_local std::mt19937 rng{std::random_device{}()};
    return std::string(kTempPrefix) + std::to_string(::getpid()) + "." +
           std::to_string(counter.fetch_add(1)) + "." + std::to_string(rng());
}

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Opens startFd's key subKey (creating what is missing when `create` is set)
// into `out`; an empty subKey opens startFd's own key again.
LSTATUS Walk(int startFd, std::string_view subKey, bool create, CUniqueFd& out) {
    std::vector<std::string> names;
    if (!SplitKeyPath(subKey, names)) return kInvalidParameter;
    CUniqueFd fd(::fcntl(startFd, F_DUPFD_CLOEXEC, 0));
    if (!fd.Valid()) return StatusFromErrno(errno);
    for (const std::string& name : names) {
        if (create) {
            if (::mkdirat(fd.Get(), name.c_str(), 0700) == 0) {
                if (::fsync(fd.Get()) != 0) return kIoFailed;
            } else if (errno != EEXIST) {
                return KeyStatus(errno);
            }
        }
        CUniqueFd next = OpenDirAt(fd.Get(), name.c_str());
        if (!next.Valid()) return KeyStatus(errno);
        fd = std::move(next);
    }
    out = std::move(fd);
    return kSuccess;
}

LSTATUS WalkFromRoot(Root root, std::string_view subKey, bool create, CUniqueFd& out) {
    LSTATUS status = kSuccess;
    const CUniqueFd rootFd = OpenRootDirectory(root, create, status);
    return rootFd.Valid() ? Walk(rootFd.Get(), subKey, create, out) : status;
}

} // namespace

struct CRegKey::SOpenKey {
    CUniqueFd dir;
};

void CRegKey::SOpenKeyDeleter::operator()(SOpenKey* key) const { delete key; }

CRegKey::CRegKey() = default;
CRegKey::~CRegKey() = default;
CRegKey::CRegKey(CRegKey&&) noexcept = default;
CRegKey& CRegKey::operator=(CRegKey&&) noexcept = default;

// Each open walks into a descriptor of its own and takes it only on success,
// so a failed open keeps the key held before.
LSTATUS CRegKey::OpenKey(Root root, const SOpenKey* parent, std::string_view subKey, bool create) {
    CUniqueFd fd;
    const LSTATUS status = parent != nullptr ? Walk(parent->dir.Get(), subKey, create, fd)
                                             : WalkFromRoot(root, subKey, create, fd);
    if (status == kSuccess) m_key.reset(new SOpenKey{std::move(fd)});
    return status;
}

LSTATUS CRegKey::Close() {
    if (!m_key) return kSuccess;
    const int rc = m_key->dir.Reset();
    m_key.reset();
    return rc == 0 ? kSuccess : kIoFailed;
}

LSTATUS CRegKey::SetStringValue(std::string_view name, std::string_view text) {
    if (!IsOpen()) return kInvalidHandle;
    std::string file;
    if (!ValueFileName(name, file)) return kInvalidParameter;
    if (text.find('\0') != std::string_view::npos) return kInvalidParameter;
    if (text.size() > kMaxValueBytes) return kMoreData;

    std::string temp;
    CUniqueFd out;
    for (int attempt = 0; attempt < 8 && !out.Valid(); ++attempt) {
        temp = TempName();
        out.Reset(::openat(m_key->dir.Get(), temp.c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!out.Valid() && errno != EEXIST) return StatusFromErrno(errno);
    }
    if (!out.Valid()) return kIoFailed;

    LSTATUS rc = kSuccess;
    if (!WriteAll(out.Get(), text) || ::fsync(out.Get()) != 0) rc = StatusFromErrno(errno);
    if (out.Reset() != 0 && rc == kSuccess) rc = kIoFailed;
    if (rc == kSuccess && ::renameat(m_key->dir.Get(), temp.c_str(), m_key->dir.Get(), file.c_str()) != 0)
        rc = KeyStatus(errno);
    if (rc != kSuccess) {
        ::unlinkat(m_key->dir.Get(), temp.c_str(), 0);
        return rc;
    }
    return ::fsync(m_key->dir.Get()) == 0 ? kSuccess : kIoFailed;
}

LSTATUS CRegKey::QueryStringValue(std::string_view name, std::string& text) const {
    if (!IsOpen()) return kInvalidHandle;
    std::string file;
    if (!ValueFileName(name, file)) return kInvalidParameter;
    // O_NONBLOCK: a pipe planted under a value's name must not hang the reader.
    const CUniqueFd in(
        ::openat(m_key->dir.Get(), file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!in.Valid()) return errno == ELOOP ? kFileNotFound : StatusFromErrno(errno);
    struct stat st {};
    if (::fstat(in.Get(), &st) != 0) return StatusFromErrno(errno);
    if (!S_ISREG(st.st_mode)) return kFileNotFound; // a subkey, not a value
    if (static_cast<std::uint64_t>(st.st_size) > kMaxValueBytes) return kMoreData;

    std::string data;
    char buf[4096];
    while (true) {
        const ssize_t n = ::read(in.Get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return StatusFromErrno(errno);
        }
        if (n == 0) break;
        data.append(buf, static_cast<std::size_t>(n));
        if (data.size() > kMaxValueBytes) return kMoreData;
    }
    // Text ends at the first zero byte, as a REG_SZ value's does.
    if (const std::size_t nul = data.find('\0'); nul != std::string::npos) data.resize(nul);
    text = std::move(data);
    return kSuccess;
}

LSTATUS CRegKey::DeleteValue(std::string_view name) {
    if (!IsOpen()) return kInvalidHandle;
    std::string file;
    if (!ValueFileName(name, file)) return kInvalidParameter;
    struct stat st {};
    if (::fstatat(m_key->dir.Get(), file.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return StatusFromErrno(errno);
    if (!S_ISREG(st.st_mode)) return kFileNotFound;
    if (::unlinkat(m_key->dir.Get(), file.c_str(), 0) != 0) return StatusFromErrno(errno);
    return ::fsync(m_key->dir.Get()) == 0 ? kSuccess : kIoFailed;
}

LSTATUS CRegKey::DeleteSubKeyTree(std::string_view subKey) {
    if (!IsOpen()) return kInvalidHandle;
    if (subKey.empty()) return RemoveContents(m_key->dir.Get());
    std::vector<std::string> names;
    if (!SplitKeyPath(subKey, names)) return kInvalidParameter;
    const std::string last = names.back();
    const std::string_view parentPath =
        subKey.size() > last.size() ? subKey.substr(0, subKey.size() - last.size() - 1)
                                    : std::string_view{};
    CUniqueFd parent;
    if (const LSTATUS rc = Walk(m_key->dir.Get(), parentPath, false, parent); rc != kSuccess)
        return rc;
    const CUniqueFd target = OpenDirAt(parent.Get(), last.c_str());
    if (!target.Valid()) return errno == ENOTDIR || errno == ELOOP ? kFileNotFound : KeyStatus(errno);
    if (const LSTATUS rc = RemoveContents(target.Get()); rc != kSuccess) return rc;
    if (::unlinkat(parent.Get(), last.c_str(), AT_REMOVEDIR) != 0) return KeyStatus(errno);
    return ::fsync(parent.Get()) == 0 ? kSuccess : kIoFailed;
}

LSTATUS CRegKey::EnumSubKeys(std::vector<std::string>& names) const {
    names.clear();
    if (!IsOpen()) return kInvalidHandle;
    std::vector<std::pair<std::string, EntryKind>> entries;
    if (const LSTATUS rc = ListEntries(m_key->dir.Get(), entries); rc != kSuccess) return rc;
    for (auto& [name, kind] : entries)
        if (kind == EntryKind::Key && IsSafeKeyName(name)) names.push_back(std::move(name));
    return kSuccess;
}

LSTATUS CRegKey::EnumValues(std::vector<std::string>& names) const {
    names.clear();
    if (!IsOpen()) return kInvalidHandle;
    std::vector<std::pair<std::string, EntryKind>> entries;
    if (const LSTATUS rc = ListEntries(m_key->dir.Get(), entries); rc != kSuccess) return rc;
    for (auto& [name, kind] : entries) {
        if (kind != EntryKind::Value || name.starts_with(kTempPrefix)) continue;
        names.push_back(name == kDefaultValueFile ? std::string() : std::move(name));
    }
    std::sort(names.begin(), names.end());
    return kSuccess;
}

LSTATUS DeleteKeyTree(Root root, std::string_view subKey) {
    if (subKey.empty()) return kInvalidParameter;
    CRegKey top;
    if (const LSTATUS rc = top.Open(root, ""); rc != kSuccess) return rc;
    return top.DeleteSubKeyTree(subKey);
}

} // namespace palvex::reg
