#include "sim/state_file.h"

#include "sim/unique_fd.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace cardsim {

namespace {

std::string Describe(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

} // namespace

StateLoad LoadStateFile(const std::string& path, PropertyBlock& block, std::string& error) {
    CUniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        if (errno == ENOENT) return StateLoad::Missing;
        error = Describe("cannot open", path);
        return StateLoad::Invalid;
    }
    // A block line is 26 characters; anything much longer is not one.
    char buf[128];
    std::size_t got = 0;
    while (got < sizeof buf) {
        const ssize_t r = ::read(fd.Get(), buf + got, sizeof buf - got);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            error = Describe("cannot read", path);
            return StateLoad::Invalid;
        }
        if (r == 0) break;
        got += static_cast<std::size_t>(r);
    }
    const auto parsed = BlockFromHex(std::string_view(buf, got));
    if (!parsed) {
        error = path + ": not a property block (26 hex digits expected)";
        return StateLoad::Invalid;
    }
    block = *parsed;
    return StateLoad::Loaded;
}

bool SaveStateFile(const std::string& path, const PropertyBlock& block, std::string& error) {
    const std::string tmp = path + ".tmp";
    const std::string line = BlockToHex(block) + "\n";
    {
        CUniqueFd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (!fd) {
            error = Describe("cannot create", tmp);
            return false;
        }
        std::size_t done = 0;
        while (done < line.size()) {
            const ssize_t w = ::write(fd.Get(), line.data() + done, line.size() - done);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                error = Describe("cannot write", tmp);
                ::unlink(tmp.c_str());
                return false;
            }
            done += static_cast<std::size_t>(w);
        }
        if (::fsync(fd.Get()) != 0) {
            error = Describe("cannot sync", tmp);
            ::unlink(tmp.c_str());
            return false;
        }
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        error = Describe("cannot rename onto", path);
        ::unlink(tmp.c_str());
        return false;
    }
    // Make the rename itself durable.
    CUniqueFd dir(::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) ::fsync(dir.Get());
    return true;
}

} // namespace cardsim
