#include "tests/link/pty_pair.h"

#include "control/protocol/deadline.h"
#include "control/link/linux_termios2.h"

#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <stdexcept>
#include <unistd.h>

namespace testing_support {

CPtyPair::CPtyPair() {
    m_master.Reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (!m_master || ::grantpt(m_master.Get()) != 0 || ::unlockpt(m_master.Get()) != 0)
        throw std::runtime_error("no pseudo-terminal");
    m_slavePath = ::ptsname(m_master.Get());
    m_slaveHold.Reset(::open(m_slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    palvex::MakeRawNoSpeedChange(m_slaveHold.Get());
}

CPtyPair::~CPtyPair() {
    if (!m_envName.empty()) ::unsetenv(m_envName.c_str());
}

void CPtyPair::MapToPort(int n) {
    m_envName = "PALVEX_COM" + std::to_string(n);
    ::setenv(m_envName.c_str(), m_slavePath.c_str(), 1);
}

unsigned CPtyPair::LineSpeed() const {
    unsigned baud = 0;
    palvex::GetLineSpeed(m_master.Get(), &baud);
    return baud;
}

std::vector<unsigned char> CPtyPair::ReadMaster(std::size_t n, int ms) const {
    std::vector<unsigned char> out;
    palvex::CDeadline deadline(ms);
    while (out.size() < n) {
        pollfd p{m_master.Get(), POLLIN, 0};
        if (::poll(&p, 1, deadline.RemainingMs()) <= 0) break;
        unsigned char buf[2048];
        const std::size_t want = n - out.size() < sizeof buf ? n - out.size() : sizeof buf;
        const ssize_t r = ::read(m_master.Get(), buf, want);
        if (r <= 0) break;
        out.insert(out.end(), buf, buf + r);
    }
    return out;
}

void CPtyPair::WriteMaster(const std::vector<unsigned char>& bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t w = ::write(m_master.Get(), bytes.data() + done, bytes.size() - done);
        if (w > 0) done += static_cast<std::size_t>(w);
        else {
            pollfd p{m_master.Get(), POLLOUT, 0};
            ::poll(&p, 1, 100);
        }
    }
}

bool CPtyPair::WaitSlaveInput(int n, int ms) const {
    palvex::CDeadline deadline(ms);
    for (;;) {
        int waiting = 0;
        if (::ioctl(m_slaveHold.Get(), FIONREAD, &waiting) != 0) return false;
        if (waiting >= n) return true;
        if (deadline.Expired()) return false;
        ::poll(nullptr, 0, 1); // the line discipline moves bytes on its own schedule
    }
}

void CPtyPair::CloseMaster() { m_master.Reset(); }

} // namespace testing_support
