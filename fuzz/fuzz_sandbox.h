// A private directory under /tmp for a fuzz target's files, removed with
// everything in it when the target exits normally (a crashing run leaves it
// for inspection).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fuzzing {

inline std::string& SandboxPath() {
    static std::string path;
    return path;
}

// Makes the directory (named after `name`) and, with `enter`, makes it the
// working directory. Aborts when it cannot.
inline const std::string& MakeSandbox(const char* name, bool enter) {
    std::string pattern = std::string("/tmp/palvex-") + name + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    SandboxPath() = pattern;
    if (enter && ::chdir(pattern.c_str()) != 0) std::abort();
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(SandboxPath(), ec);
    });
    return SandboxPath();
}

} // namespace fuzzing
