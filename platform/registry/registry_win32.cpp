#include "platform/registry/registry.h"

#include "platform/os/text_win32.h"
#include "platform/registry/registry_names.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace palvex::reg {

namespace {

constexpr REGSAM kAccess = KEY_READ | KEY_WRITE;
// A value's text may grow between asking its size and reading it.
constexpr int kReadAttempts = 4;

HKEY RootKey(Root root) {
    switch (root) {
    case Root::ClassesRoot:
        return HKEY_CLASSES_ROOT;
    case Root::CurrentUser:
        return HKEY_CURRENT_USER;
    case Root::LocalMachine:
        return HKEY_LOCAL_MACHINE;
    }
    return HKEY_CURRENT_USER;
}

// A key path checked by the same rules as on every system, in UTF-16.
LSTATUS KeyPath(std::string_view path, std::wstring& wide) {
    std::vector<std::string> names;
    if (!SplitKeyPath(path, names)) return kInvalidParameter;
    return os::WideFromUtf8(path, wide) ? kSuccess : kInvalidParameter;
}

LSTATUS ValueName(std::string_view name, std::wstring& wide) {
    if (!IsSafeValueName(name)) return kInvalidParameter;
    return os::WideFromUtf8(name, wide) ? kSuccess : kInvalidParameter;
}

LSTATUS OpenBelow(HKEY start, std::string_view subKey, bool create, HKEY& out) {
    std::wstring path;
    if (const LSTATUS rc = KeyPath(subKey, path); rc != kSuccess) return rc;
    if (create)
        return ::RegCreateKeyExW(start, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kAccess,
                                 nullptr, &out, nullptr);
    return ::RegOpenKeyExW(start, path.c_str(), 0, kAccess, &out);
}

// Sorted in byte order of their UTF-8 form, as on every system.
LSTATUS SortedNames(std::vector<std::wstring>& wide, std::vector<std::string>& names) {
    for (const std::wstring& w : wide) {
        std::string name;
        if (!os::Utf8FromWide(w, name)) return kInvalidParameter;
        names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    return kSuccess;
}

} // namespace

struct CRegKey::SOpenKey {
    HKEY key = nullptr;
    bool root = false; // one of the roots itself, opened with an empty path
    ~SOpenKey() {
        if (key != nullptr) ::RegCloseKey(key);
    }
};

void CRegKey::SOpenKeyDeleter::operator()(SOpenKey* key) const {
    delete key;
}

CRegKey::CRegKey() = default;
CRegKey::~CRegKey() = default;
CRegKey::CRegKey(CRegKey&&) noexcept = default;
CRegKey& CRegKey::operator=(CRegKey&&) noexcept = default;

// Each open takes the new handle only on success, so a failed open keeps the
// key held before.
LSTATUS CRegKey::OpenKey(Root root, const SOpenKey* parent, std::string_view subKey, bool create) {
    HKEY key = nullptr;
    const LSTATUS rc =
        OpenBelow(parent != nullptr ? parent->key : RootKey(root), subKey, create, key);
    if (rc == kSuccess) m_key.reset(new SOpenKey{key, parent == nullptr && subKey.empty()});
    return rc;
}

LSTATUS CRegKey::Close() {
    if (!m_key) return kSuccess;
    const LSTATUS rc = ::RegCloseKey(std::exchange(m_key->key, nullptr));
    m_key.reset();
    return rc;
}

LSTATUS CRegKey::SetStringValue(std::string_view name, std::string_view text) {
    if (!IsOpen()) return kInvalidHandle;
    std::wstring wideName, wideText;
    if (const LSTATUS rc = ValueName(name, wideName); rc != kSuccess) return rc;
    if (text.find('\0') != std::string_view::npos) return kInvalidParameter;
    if (text.size() > kMaxValueBytes) return kMoreData;
    // Text that is not UTF-8 is refused rather than stored altered.
    if (!os::WideFromUtf8(text, wideText)) return kInvalidParameter;
    const auto bytes = static_cast<DWORD>((wideText.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(m_key->key, wideName.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(wideText.c_str()), bytes);
}

LSTATUS CRegKey::QueryStringValue(std::string_view name, std::string& text) const {
    if (!IsOpen()) return kInvalidHandle;
    std::wstring wideName;
    if (const LSTATUS rc = ValueName(name, wideName); rc != kSuccess) return rc;
    // UTF-16 takes at most two bytes per UTF-8 byte; the terminator besides.
    constexpr DWORD kMaxBytes = 2 * kMaxValueBytes + 2;
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        DWORD type = 0, bytes = 0;
        LSTATUS rc =
            ::RegQueryValueExW(m_key->key, wideName.c_str(), nullptr, &type, nullptr, &bytes);
        if (rc != kSuccess) return rc;
        if (type != REG_SZ && type != REG_EXPAND_SZ) return kUnsupportedType;
        if (bytes > kMaxBytes) return kMoreData;
        std::wstring wide(bytes / sizeof(wchar_t) + 1, L'\0');
        rc = ::RegQueryValueExW(m_key->key, wideName.c_str(), nullptr, &type,
                                reinterpret_cast<BYTE*>(wide.data()), &bytes);
        if (rc == kMoreData) continue;
        if (rc != kSuccess) return rc;
        if (type != REG_SZ && type != REG_EXPAND_SZ) return kUnsupportedType;
        // Text ends at the first zero, stored or not.
        wide.resize(bytes / sizeof(wchar_t));
        if (const std::size_t nul = wide.find(L'\0'); nul != std::wstring::npos) wide.resize(nul);
        std::string utf8;
        if (!os::Utf8FromWide(wide, utf8)) return kInvalidParameter;
        if (utf8.size() > kMaxValueBytes) return kMoreData;
        text = std::move(utf8);
        return kSuccess;
    }
    return kMoreData;
}

LSTATUS CRegKey::DeleteValue(std::string_view name) {
    if (!IsOpen()) return kInvalidHandle;
    std::wstring wideName;
    if (const LSTATUS rc = ValueName(name, wideName); rc != kSuccess) return rc;
    return ::RegDeleteValueW(m_key->key, wideName.c_str());
}

LSTATUS CRegKey::DeleteSubKeyTree(std::string_view subKey) {
    if (!IsOpen()) return kInvalidHandle;
    if (subKey.empty()) {
        // Emptying a root would take the user's or the machine's whole
        // registry with it, not only this program's keys.
        if (m_key->root) return kAccessDenied;
        return ::RegDeleteTreeW(m_key->key, nullptr);
    }
    std::wstring path;
    if (const LSTATUS rc = KeyPath(subKey, path); rc != kSuccess) return rc;
    return ::RegDeleteTreeW(m_key->key, path.c_str());
}

LSTATUS CRegKey::EnumSubKeys(std::vector<std::string>& names) const {
    names.clear();
    if (!IsOpen()) return kInvalidHandle;
    std::vector<std::wstring> wide;
    // Key names are at most 255 characters.
    wchar_t buf[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(std::size(buf));
        const LSTATUS rc =
            ::RegEnumKeyExW(m_key->key, index, buf, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != kSuccess) return rc;
        wide.emplace_back(buf, length);
    }
    return SortedNames(wide, names);
}

LSTATUS CRegKey::EnumValues(std::vector<std::string>& names) const {
    names.clear();
    if (!IsOpen()) return kInvalidHandle;
    DWORD longest = 0;
    LSTATUS rc = ::RegQueryInfoKeyW(m_key->key, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, nullptr, &longest, nullptr, nullptr, nullptr);
    if (rc != kSuccess) return rc;
    std::vector<std::wstring> wide;
    std::wstring buf(longest + 1, L'\0');
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(buf.size());
        rc = ::RegEnumValueW(m_key->key, index, buf.data(), &length, nullptr, nullptr, nullptr,
                             nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc == kMoreData) { // a longer name came in since the count
            buf.resize(buf.size() * 2);
            --index;
            continue;
        }
        if (rc != kSuccess) return rc;
        wide.emplace_back(buf.data(), length);
    }
    return SortedNames(wide, names);
}

LSTATUS DeleteKeyTree(Root root, std::string_view subKey) {
    if (subKey.empty()) return kInvalidParameter;
    std::wstring path;
    if (const LSTATUS rc = KeyPath(subKey, path); rc != kSuccess) return rc;
    return ::RegDeleteTreeW(RootKey(root), path.c_str());
}

} // namespace palvex::reg
