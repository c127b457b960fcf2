// A private configuration directory for one test: XDG_CONFIG_HOME points at
// a fresh directory under /tmp, removed with its contents afterwards, and
// the previous value comes back.
#pragma once

#include <optional>
#include <string>

namespace testsupport {

class CTempConfigHome {
public:
    CTempConfigHome();
    ~CTempConfigHome();
    CTempConfigHome(const CTempConfigHome&) = delete;
    CTempConfigHome& operator=(const CTempConfigHome&) = delete;

    const std::string& Path() const { return m_path; }
    // Where the store keeps HKEY_CURRENT_USER\<key> (backslashes as '/').
    std::string CurrentUserPath(const std::string& key) const;

private:
    std::string m_path;
    std::optional<std::string> m_previous;
};

// Whole contents of a file, or nullopt when it cannot be read.
std::optional<std::string> ReadFile(const std::string& path);
// Writes a file directly, bypassing the store (for planted or damaged data).
bool WriteFile(const std::string& path, const std::string& text);

} // namespace testsupport
