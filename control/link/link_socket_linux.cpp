#include "control/link/link_socket.h"

#include "platform/unique_fd.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace palvex {

namespace {

// Marks the socket busy for the length of one blocking call.
class CBlockingScope {
  public:
    explicit CBlockingScope(bool& flag) : m_flag(flag) { m_flag = true; }
    ~CBlockingScope() { m_flag = false; }
    CBlockingScope(const CBlockingScope&) = delete;
    CBlockingScope& operator=(const CBlockingScope&) = delete;

  private:
    bool& m_flag;
};

} // namespace

struct CLinkSocket::SOpenSocket {
    CUniqueFd fd;
};

void CLinkSocket::SOpenSocketDeleter::operator()(SOpenSocket* socket) const {
    delete socket;
}

CLinkSocket::CLinkSocket() = default;
CLinkSocket::~CLinkSocket() = default;

bool CLinkSocket::Create() {
    m_linkError = {};
    m_socket.reset();
    CUniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd) {
        Note(LinkErrorFromErrno(LinkOperation::Open, errno));
        return false;
    }
    m_socket.reset(new SOpenSocket{std::move(fd)});
    // Frames are small and answered one at a time: send each at once.
    const int one = 1;
    ::setsockopt(m_socket->fd.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return true;
}

int CLinkSocket::Discard() {
    if (!m_socket || m_bBlocking) return 0;
    // Only what has arrived so far: a peer that keeps sending cannot hold
    // the call, since each read takes no more than was counted as waiting.
    int waiting = 0;
    if (::ioctl(m_socket->fd.Get(), FIONREAD, &waiting) != 0 || waiting <= 0) return 0;
    std::uint8_t scratch[512];
    int dropped = 0;
    while (dropped < waiting) {
        const std::size_t want =
            std::min<std::size_t>(sizeof scratch, static_cast<std::size_t>(waiting - dropped));
        const ssize_t r = ::recv(m_socket->fd.Get(), scratch, want, MSG_DONTWAIT);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        dropped += static_cast<int>(r);
    }
    return dropped;
}

void CLinkSocket::Close() {
    m_socket.reset();
}

bool CLinkSocket::WaitFor(short events, int ms, LinkOperation op) {
    if (m_pfnIdle != nullptr) m_pfnIdle(m_pIdleContext);
    if (!m_socket) { // the callback closed the link
        Note(LinkErrorFromErrno(op, ENOTCONN));
        return false;
    }
    pollfd p{m_socket->fd.Get(), events, 0};
    const int r = ::poll(&p, 1, ms);
    if (r >= 0 || errno == EINTR) return true;
    Note(LinkErrorFromErrno(op, errno));
    return false;
}

bool CLinkSocket::Connect(const char* address, unsigned port) {
    constexpr LinkOperation kOp = LinkOperation::Open;
    m_linkError = {};
    if (!m_socket) {
        Note(LinkErrorFromErrno(kOp, EBADF));
        return false;
    }
    if (m_bBlocking) {
        m_nLastError = WSAEINPROGRESS;
        return false;
    }
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::inet_pton(AF_INET, address, &sa.sin_addr) != 1) {
        Note(LinkError{LinkErrorKind::Unreachable, EINVAL});
        return false;
    }
    if (::connect(m_socket->fd.Get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0)
        return true;
    if (errno != EINPROGRESS) {
        Note(LinkErrorFromErrno(kOp, errno));
        return false;
    }
    CBlockingScope busy(m_bBlocking);
    for (;;) {
        if (!WaitFor(POLLOUT, kSocketWaitMs, kOp)) return false;
        pollfd p{m_socket->fd.Get(), POLLOUT, 0};
        if (::poll(&p, 1, 0) > 0) {
            int err = 0;
            socklen_t len = sizeof err;
            if (::getsockopt(m_socket->fd.Get(), SOL_SOCKET, SO_ERROR, &err, &len) != 0)
                err = errno;
            if (err != 0) Note(LinkErrorFromErrno(kOp, err));
            return err == 0;
        }
    }
}

int CLinkSocket::Send(const void* buf, int len) {
    m_linkError = {};
    if (!m_socket) {
        m_nLastError = WSAENOTCONN;
        Note(LinkErrorFromErrno(LinkOperation::Write, ENOTCONN));
        return SOCKET_ERROR;
    }
    if (m_bBlocking) {
        m_nLastError = WSAEINPROGRESS;
        return SOCKET_ERROR;
    }
    CBlockingScope busy(m_bBlocking);
    const auto* p = static_cast<const std::uint8_t*>(buf);
    int done = 0;
    while (done < len) {
        const ssize_t w = ::send(m_socket->fd.Get(), p + done, static_cast<std::size_t>(len - done),
                                 MSG_NOSIGNAL);
        if (w > 0) {
            done += static_cast<int>(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno != EAGAIN) {
            m_nLastError = errno;
            Note(LinkErrorFromErrno(LinkOperation::Write, errno));
            return SOCKET_ERROR;
        }
        if (!WaitFor(POLLOUT, kSocketWaitMs, LinkOperation::Write)) return SOCKET_ERROR;
    }
    return done;
}

int CLinkSocket::Receive(void* lpBuf, int nBufLen, int nFlags) {
    if (m_bBlocking) {
        m_nLastError = WSAEINPROGRESS;
        return 0;
    }
    constexpr LinkOperation kOp = LinkOperation::Read;
    m_linkError = {};
    if (!m_socket) {
        m_nLastError = WSAENOTCONN;
        Note(LinkErrorFromErrno(kOp, ENOTCONN));
        return SOCKET_ERROR;
    }
    CBlockingScope busy(m_bBlocking);
    int waits = m_nMaxWaits;
    int total = 0;
    if (waits <= 0) {
        Note(LinkError{LinkErrorKind::TimedOut, 0});
        return 0;
    }
    auto* out = static_cast<std::uint8_t*>(lpBuf);
    std::uint8_t scratch[512];
    for (;;) {
        if (total == nBufLen) return total;
        ssize_t r = ::recv(m_socket->fd.Get(), scratch, sizeof scratch, nFlags | MSG_DONTWAIT);
        while (r < 0) {
            if (waits == 0) {
                Note(LinkError{LinkErrorKind::TimedOut, 0});
                return 0;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                m_nLastError = errno;
                Note(LinkErrorFromErrno(kOp, errno));
                return SOCKET_ERROR;
            }
            if (!WaitFor(POLLIN, kSocketWaitMs, kOp)) return SOCKET_ERROR;
            --waits;
            r = ::recv(m_socket->fd.Get(), scratch, sizeof scratch, nFlags | MSG_DONTWAIT);
        }
        // The peer closed the connection: nothing more can arrive.
        if (r == 0) {
            Note(LinkError{LinkErrorKind::Disconnected, 0});
            return 0;
        }
        // Store only what fits; bytes beyond nBufLen still count, so a reply
        // longer than expected fails once the waits are used up.
        const int room = total < nBufLen ? nBufLen - total : 0;
        const int keep = static_cast<int>(r) < room ? static_cast<int>(r) : room;
        if (keep > 0) std::memcpy(out + total, scratch, static_cast<std::size_t>(keep));
        total += static_cast<int>(r);
        // Past the requested length the result is failure whatever follows;
        // count every further read as a wait so a peer that never stops
        // sending cannot hold the call beyond its bound.
        if (total > nBufLen) --waits;
        if (waits <= 0) {
            // Too long a reply is the card's fault, not the link's.
            if (total < nBufLen) Note(LinkError{LinkErrorKind::TimedOut, 0});
            return 0;
        }
    }
}

} // namespace palvex
