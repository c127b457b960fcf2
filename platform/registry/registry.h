// A per-user key-value store shaped like the system registry: key paths use
// backslashes between names, as in "SOFTWARE\Tavrin\Sarnow", values are text
// (REG_SZ), and the default (unnamed) value of a key has the name "".
//
// Each operating system keeps it in its own way, in a file named for it:
//
// - Windows: the registry itself (registry_win32.cpp). Names compare
//   without regard to case, as the registry compares them; text is UTF-8 here
//   and UTF-16 in the registry.
// - Linux: files under the user's configuration directory
//   (registry_linux.cpp, store_path.h):
//
//     ${XDG_CONFIG_HOME:-$HOME/.config}/palvex-registry/<ROOT>/<key>/<key>/<value>
//
//   A key is a directory, a value is a file holding its text (without the
//   terminating zero of a REG_SZ value); the default value is the file "@".
//   Names are compared exactly (case matters). Every write replaces the value
//   file atomically: a temporary file in the same directory is written, synced
//   and renamed over the value, and the directory is synced, so a crash leaves
//   either the old or the new text.
//
// Both refuse the same names (registry_names.h), so that a name that works on
// one system works on the other: empty key names, "." and "..", names
// containing '/' (or '\' in a value name) or a zero byte, names longer than
// 255 bytes, the reserved value name "@" and names that begin with the
// Linux store's temporary-file prefix.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace palvex::reg {

// Status codes, numbered as the system registry numbers them.
using LSTATUS = long;
constexpr LSTATUS kSuccess = 0;
constexpr LSTATUS kFileNotFound = 2;     // no such key or value
constexpr LSTATUS kPathNotFound = 3;     // no configuration directory to keep the store in
constexpr LSTATUS kAccessDenied = 5;     // permissions, read-only file system
constexpr LSTATUS kInvalidHandle = 6;    // the key object holds no open key
constexpr LSTATUS kInvalidParameter = 87; // refused name or text
constexpr LSTATUS kMoreData = 234;       // value larger than the store accepts
constexpr LSTATUS kIoFailed = 1016;      // any other failure of the file system
constexpr LSTATUS kUnsupportedType = 1630; // a value that holds no text (Windows only)
// Windows passes on any other code of the registry as it comes.

// Largest value text the store writes or reads back.
constexpr std::size_t kMaxValueBytes = 1 << 20;

enum class Root { ClassesRoot, CurrentUser, LocalMachine };

// The name of a root: "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", ...
const char* RootName(Root root);

// One open key. Move-only; the key is closed with the object.
class CRegKey {
public:
    CRegKey();
    ~CRegKey();
    CRegKey(CRegKey&&) noexcept;
    CRegKey& operator=(CRegKey&&) noexcept;
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    // Opens root\subKey, creating it and any missing key above it. An empty
    // subKey opens the root itself. On success a key held before is closed;
    // on failure the object keeps what it held.
    LSTATUS Create(Root root, std::string_view subKey) {
        return OpenKey(root, nullptr, subKey, true);
    }
    // Opens root\subKey; kFileNotFound when it does not exist.
    LSTATUS Open(Root root, std::string_view subKey) {
        return OpenKey(root, nullptr, subKey, false);
    }
    // The same below an open key.
    LSTATUS Create(const CRegKey& parent, std::string_view subKey) {
        return parent.IsOpen() ? OpenKey(Root::CurrentUser, parent.m_key.get(), subKey, true)
                               : kInvalidHandle;
    }
    LSTATUS Open(const CRegKey& parent, std::string_view subKey) {
        return parent.IsOpen() ? OpenKey(Root::CurrentUser, parent.m_key.get(), subKey, false)
                               : kInvalidHandle;
    }

    // kSuccess, also when no key was open.
    LSTATUS Close();
    bool IsOpen() const { return m_key != nullptr; }

    // Values: name "" is the key's default value.
    LSTATUS SetStringValue(std::string_view name, std::string_view text);
    LSTATUS QueryStringValue(std::string_view name, std::string& text) const;
    LSTATUS DeleteValue(std::string_view name);

    // Removes subKey (a path below this key) with everything below it. An
    // empty subKey removes every value and subkey of this key but keeps it;
    // on Windows a root itself is never emptied so (kAccessDenied).
    LSTATUS DeleteSubKeyTree(std::string_view subKey);

    // Names in byte order; values list the default value as "".
    LSTATUS EnumSubKeys(std::vector<std::string>& names) const;
    LSTATUS EnumValues(std::vector<std::string>& names) const;

private:
    // The open key as the operating system holds it: a directory descriptor
    // on Linux, an HKEY on Windows. The file of each system defines it.
    struct SOpenKey;
    struct SOpenKeyDeleter {
        void operator()(SOpenKey* key) const;
    };

    // Opens subKey below `parent`, or below `root` when parent is null, and
    // with `create` makes what is missing. Defined by each system's file.
    LSTATUS OpenKey(Root root, const SOpenKey* parent, std::string_view subKey, bool create);

    std::unique_ptr<SOpenKey, SOpenKeyDeleter> m_key;
};

// Removes root\subKey and everything below it; subKey must not be empty.
LSTATUS DeleteKeyTree(Root root, std::string_view subKey);

} // namespace palvex::reg
