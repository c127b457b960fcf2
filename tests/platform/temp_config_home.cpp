#include "tests/platform/temp_config_home.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

CTempConfigHome::CTempConfigHome() {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) m_previous = old;
    std::string pattern = "/tmp/palvex-config-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
    ::setenv("XDG_CONFIG_HOME", m_path.c_str(), 1);
}

CTempConfigHome::~CTempConfigHome() {
    if (m_previous)
        ::setenv("XDG_CONFIG_HOME", m_previous->c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::string CTempConfigHome::CurrentUserPath(const std::string& key) const {
    std::string path = m_path + "/palvex-registry/HKEY_CURRENT_USER/" + key;
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool WriteFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

} // namespace testsupport
