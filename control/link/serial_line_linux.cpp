#include "control/link/serial_line.h"

#include "control/link/linux_termios2.h"
#include "control/link/port_diagnosis.h"
#include "control/protocol/deadline.h"
#include "platform/unique_fd.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <utility>

namespace palvex {

namespace {

// A terminal that has been hung up (a USB adapter unplugged, the other side
// of a pty closed) fails writes, and on some drivers reads, with EIO: on a
// serial line that is the device gone rather than a fault of the transfer.
LinkError TransferError(LinkOperation op, int err) {
    if (err == EIO) return LinkError{LinkErrorKind::Disconnected, err};
    return LinkErrorFromErrno(op, err);
}

} // namespace

struct CSerialLine::SOpenPort {
    CUniqueFd fd;
};

void CSerialLine::SOpenPortDeleter::operator()(SOpenPort* port) const {
    delete port;
}

int CSerialLine::Descriptor() const {
    return m_port ? m_port->fd.Get() : -1;
}

bool CSerialLine::FailOpen(const std::string& path, unsigned baud, LinkError why) {
    m_lastError = why;
    m_strErrorDetail = OpenFailureDetail(path, why, baud);
    return false;
}

bool CSerialLine::Open(const std::string& path, unsigned baud, const char* name) {
    Close();
    m_lastError = {};
    m_strErrorDetail.clear();
    // O_NONBLOCK: the open must not wait for carrier, and every later wait is
    // done in poll() against a deadline instead of inside read() or write().
    CUniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) return FailOpen(path, baud, LinkErrorFromErrno(LinkOperation::Open, errno));
    // Exclusive use: TIOCEXCL refuses later opens of the terminal, but not to
    // a privileged process; the flock also stops root and a second control in
    // this process (flock locks belong to the open file description).
    // Busy (EWOULDBLOCK): the holder's exclusive flag is left alone; the
    // detail names the holder when its lock tells.
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
        return FailOpen(path, baud, LinkErrorFromErrno(LinkOperation::Open, errno));
    // A file or a device other than a terminal fails here with ENOTTY.
    if (::ioctl(fd.Get(), TIOCEXCL) != 0)
        return FailOpen(path, baud, LinkErrorFromErrno(LinkOperation::Open, errno));
    // The settings as found, once the port is ours alone and before anything
    // changes them: Close, and every failure from here on, sets them back.
    SSavedLineSettings saved;
    if (!SaveLineSettings(fd.Get(), saved)) {
        const int err = errno;
        ::ioctl(fd.Get(), TIOCNXCL);
        return FailOpen(path, baud, LinkErrorFromErrno(LinkOperation::Open, err));
    }
    LinkError why;
    if (!SetRaw8N1(fd.Get(), baud, &why)) {
        RestoreLineSettings(fd.Get(), saved);
        ::ioctl(fd.Get(), TIOCNXCL);
        return FailOpen(path, baud, why);
    }
    m_port.reset(new SOpenPort{std::move(fd)});
    m_savedLine = saved;
    m_nBaud = baud;
    m_strName = name;
    ::tcflush(Descriptor(), TCIOFLUSH);
    return true;
}

void CSerialLine::Close() {
    if (!m_port) return;
    // Give the terminal back as it was found: its settings, then the
    // exclusive flag, which outlives this descriptor when another process (a
    // simulated card, a monitor) keeps the device open.
    RestoreLineSettings(Descriptor(), m_savedLine);
    m_savedLine = {};
    ::ioctl(Descriptor(), TIOCNXCL);
    m_port.reset();
}

void CSerialLine::Purge() {
    if (!m_port) return;
    ::tcflush(Descriptor(), TCOFLUSH);
    ::tcflush(Descriptor(), TCIFLUSH);
}

bool CSerialLine::Write(const std::uint8_t* data, std::size_t n) {
    m_lastError = {};
    if (!m_port) return Fail(LinkError{LinkErrorKind::Disconnected, EBADF});
    // Twice the wire time of the frame plus a second: ample for a working
    // line, and a bound when flow control or a lost device holds the output.
    const std::int64_t wireMs = m_nBaud ? static_cast<std::int64_t>(n) * 10 * 1000 / m_nBaud : 0;
    CDeadline deadline(2 * wireMs + 1000);
    std::size_t done = 0;
    while (done < n) {
        const ssize_t w = ::write(Descriptor(), data + done, n - done);
        if (w > 0) {
            done += static_cast<std::size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno != EAGAIN) return Fail(TransferError(LinkOperation::Write, errno));
        pollfd p{Descriptor(), POLLOUT, 0};
        const int r = ::poll(&p, 1, deadline.RemainingMs());
        if (r == 0) return Fail(LinkError{LinkErrorKind::TimedOut, 0});
        if (r < 0 && errno != EINTR) return Fail(LinkErrorFromErrno(LinkOperation::Write, errno));
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
            return Fail(LinkError{LinkErrorKind::Disconnected, 0});
    }
    // Like flushing a file: return once the bytes have left the driver.
    ::tcdrain(Descriptor());
    return true;
}

std::size_t CSerialLine::ReadExact(std::uint8_t* buf, std::size_t n, const CDeadline& deadline) {
    m_lastError = {};
    if (!m_port) {
        Fail(LinkError{LinkErrorKind::Disconnected, EBADF});
        return 0;
    }
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = ::read(Descriptor(), buf + got, n - got);
        if (r > 0) {
            got += static_cast<std::size_t>(r);
            continue;
        }
        // End of file on a terminal means the device went away (the other
        // side of a pty closed, an adapter unplugged): no reply can come.
        if (r == 0) return ShortRead(got, LinkError{LinkErrorKind::Disconnected, 0});
        if (errno == EINTR) continue;
        if (errno != EAGAIN) return ShortRead(got, TransferError(LinkOperation::Read, errno));
        const int left = deadline.RemainingMs();
        if (left == 0) return ShortRead(got, LinkError{LinkErrorKind::TimedOut, 0});
        pollfd p{Descriptor(), POLLIN, 0};
        const int pr = ::poll(&p, 1, left);
        if (pr == 0) return ShortRead(got, LinkError{LinkErrorKind::TimedOut, 0});
        if (pr < 0) {
            if (errno == EINTR) continue;
            return ShortRead(got, LinkErrorFromErrno(LinkOperation::Read, errno));
        }
        // A hang-up with no data pending is the device gone.
        if ((p.revents & POLLIN) == 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
            return ShortRead(got, LinkError{LinkErrorKind::Disconnected, 0});
    }
    return got;
}

} // namespace palvex
