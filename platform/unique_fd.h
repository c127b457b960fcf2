// Owns one file descriptor and closes it when it goes out of scope. The
// control, the settings store and the simulated card all use it; the close
// itself is the operating system's (platform/os, library palvex_os).
#pragma once

#include <utility>

namespace palvex {

class CUniqueFd {
public:
    CUniqueFd() = default;
    explicit CUniqueFd(int fd) : m_fd(fd) {}
    ~CUniqueFd() { Reset(); }
    CUniqueFd(CUniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    CUniqueFd& operator=(CUniqueFd&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.m_fd, -1));
        return *this;
    }
    CUniqueFd(const CUniqueFd&) = delete;
    CUniqueFd& operator=(const CUniqueFd&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    explicit operator bool() const { return Valid(); }
    // Gives up ownership without closing; the caller closes the result.
    int Release() { return std::exchange(m_fd, -1); }
    // Closes the held descriptor and takes `fd` instead; returns close()'s
    // result (0 when none was held), which matters when the close of a
    // written file is its last chance to report an error.
    int Reset(int fd = -1) {
        int rc = 0;
        if (m_fd >= 0) rc = Close(m_fd);
        m_fd = fd;
        return rc;
    }

private:
    static int Close(int fd);

    int m_fd = -1;
};

} // namespace palvex
