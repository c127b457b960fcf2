#include "bench/channels.h"

#include "control/protocol/deadline.h"
#include "control/link/linux_termios2.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace bench {

const unsigned char kZFrame[kFrameLen] = {0x1B, '$', 'Q', 'K', '0', '1', 'W', 0, 1, 'Z', 0xC8, 0x8E};
const unsigned char kZAck[kReplyLen] = {5, 'Z', 0xC8, 0x8E, 'O', 'K'};

bool ReadAll(int fd, unsigned char* buf, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = ::read(fd, buf + got, n - got);
        if (r > 0) {
            got += static_cast<std::size_t>(r);
            continue;
        }
        if (r == 0) return false;
        if (errno != EAGAIN && errno != EINTR) return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0) return false;
    }
    return true;
}

bool WriteAll(int fd, const unsigned char* buf, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t w = ::write(fd, buf + done, n - done);
        if (w > 0) {
            done += static_cast<std::size_t>(w);
            continue;
        }
        if (w < 0 && errno != EAGAIN && errno != EINTR) return false;
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, 1000);
    }
    return true;
}

CEchoPeer::CEchoPeer(int fd) : m_fd(fd), m_thread([this] { Loop(); }) {}

CEchoPeer::~CEchoPeer() {
    m_stop = true;
    m_thread.join();
}

void CEchoPeer::Loop() {
    unsigned char frame[kFrameLen];
    while (!m_stop) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        if (!ReadAll(m_fd, frame, kFrameLen)) return;
        WriteAll(m_fd, kZAck, kReplyLen);
    }
}

FdPair::~FdPair() {
    if (a >= 0) ::close(a);
    if (b >= 0) ::close(b);
}

bool OpenPtyPair(FdPair& pair, unsigned baud) {
    pair.b = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (pair.b < 0 || ::grantpt(pair.b) != 0 || ::unlockpt(pair.b) != 0) return false;
    pair.a = ::open(::ptsname(pair.b), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (pair.a < 0) return false;
    palvex::MakeRawNoSpeedChange(pair.b);
    return palvex::SetRaw8N1(pair.a, baud);
}

int ListenLoopback(unsigned* port) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        ::listen(listener, 1) != 0) {
        ::close(listener);
        return -1;
    }
    socklen_t len = sizeof sa;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&sa), &len);
    *port = ntohs(sa.sin_port);
    return listener;
}

bool OpenTcpPair(FdPair& pair) {
    unsigned port = 0;
    const int listener = ListenLoopback(&port);
    if (listener < 0) return false;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(static_cast<std::uint16_t>(port));
    pair.a = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool ok = ::connect(pair.a, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    pair.b = ok ? ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC) : -1;
    ::close(listener);
    const int one = 1;
    for (int fd : {pair.a, pair.b}) ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return ok && pair.b >= 0;
}

double RawRoundTripsPerSecond(FdPair& pair, double seconds) {
    CEchoPeer peer(pair.b);
    unsigned char reply[kReplyLen];
    long trips = 0;
    const auto start = palvex::CDeadline::NowNs();
    const auto end = start + static_cast<std::int64_t>(seconds * 1e9);
    while (palvex::CDeadline::NowNs() < end) {
        if (!WriteAll(pair.a, kZFrame, kFrameLen) || !ReadAll(pair.a, reply, kReplyLen)) return 0;
        ++trips;
    }
    return trips / ((palvex::CDeadline::NowNs() - start) / 1e9);
}

} // namespace bench
