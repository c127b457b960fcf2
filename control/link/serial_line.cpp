#include "control/link/serial_line.h"

#include "control/protocol/deadline.h"
#include "control/link/linux_termios2.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace palvex {

bool CSerialLine::Open(const std::string& path, unsigned baud, const char* name) {
    Close();
    // O_NONBLOCK: the open must not wait for carrier, and every later wait is
    // done in poll() against a deadline instead of inside read() or write().
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    // Exclusive use: TIOCEXCL refuses later opens of the terminal, but not to
    // a privileged process; the flock also stops root and a second control in
    // this process (flock locks belong to the open file description).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        // Busy: the holder's exclusive flag is left alone.
        ::close(fd);
        return false;
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        ::close(fd);
        return false;
    }
    if (!SetRaw8N1(fd, baud)) {
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_nBaud = baud;
    m_strName = name;
    ::tcflush(m_fd, TCIOFLUSH);
    return true;
}

void CSerialLine::Close() {
    if (m_fd < 0) return;
    // Give the terminal back: the exclusive flag outlives this descriptor when
    // another process (a simulated card, a monitor) keeps the device open.
    ::ioctl(m_fd, TIOCNXCL);
    ::close(m_fd);
    m_fd = -1;
}

void CSerialLine::Purge() {
    if (m_fd < 0) return;
    ::tcflush(m_fd, TCOFLUSH);
    ::tcflush(m_fd, TCIFLUSH);
}

bool CSerialLine::Write(const std::uint8_t* data, std::size_t n) {
    if (m_fd < 0) return false;
    // Twice the wire time of the frame plus a second: ample for a working
    // line, and a bound when flow control or a lost device holds the output.
    const std::int64_t wireMs = m_nBaud ? static_cast<std::int64_t>(n) * 10 * 1000 / m_nBaud : 0;
    CDeadline deadline(2 * wireMs + 1000);
    std::size_t done = 0;
    while (done < n) {
        const ssize_t w = ::write(m_fd, data + done, n - done);
        if (w > 0) {
            done += static_cast<std::size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno != EAGAIN) return false;
        pollfd p{m_fd, POLLOUT, 0};
        const int r = ::poll(&p, 1, deadline.RemainingMs());
        if (r == 0) return false;
        if (r < 0 && errno != EINTR) return false;
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return false;
    }
    // Like flushing a file: return once the bytes have left the driver.
    ::tcdrain(m_fd);
    return true;
}

std::size_t CSerialLine::ReadExact(std::uint8_t* buf, std::size_t n, const CDeadline& deadline) {
    if (m_fd < 0) return 0;
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = ::read(m_fd, buf + got, n - got);
        if (r > 0) {
            got += static_cast<std::size_t>(r);
            continue;
        }
        // End of file on a terminal means the device went away (the other
        // side of a pty closed, an adapter unplugged): no reply can come.
        if (r == 0) return got;
        if (errno == EINTR) continue;
        if (errno != EAGAIN) return got;
        const int left = deadline.RemainingMs();
        if (left == 0) return got;
        pollfd p{m_fd, POLLIN, 0};
        const int pr = ::poll(&p, 1, left);
        if (pr == 0) return got;
        if (pr < 0) {
            if (errno == EINTR) continue;
            return got;
        }
        // A hang-up with no data pending is the device gone.
        if ((p.revents & POLLIN) == 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) return got;
    }
    return got;
}

} // namespace palvex
