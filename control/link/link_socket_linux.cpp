// The network link's system calls on Linux: BSD sockets and poll.
#include "control/link/socket_calls_linux.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <utility>

namespace palvex {

void SOpenSocketDeleter::operator()(SOpenSocket* socket) const {
    delete socket;
}

namespace {

using EState = SSocketResult::EState;

SSocketResult Moved(ssize_t n) {
    if (n > 0) return {EState::Done, static_cast<int>(n), 0};
    if (n == 0) return {EState::Closed, 0, 0};
    if (errno == EAGAIN || errno == EWOULDBLOCK) return {EState::WouldBlock, 0, 0};
    return {EState::Failed, 0, errno};
}

} // namespace

OpenSocketPtr OpenTcpSocket(LinkError& why) {
    CUniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd) {
        why = LinkErrorFromErrno(LinkOperation::Open, errno);
        return nullptr;
    }
    const int one = 1;
    ::setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return OpenSocketPtr(new SOpenSocket{std::move(fd)});
}

SSocketResult StartConnect(SOpenSocket& socket, const char* address, unsigned port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::inet_pton(AF_INET, address, &sa.sin_addr) != 1) return {EState::BadAddress, 0, 0};
    if (::connect(socket.fd.Get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0)
        return {EState::Done, 0, 0};
    if (errno == EINPROGRESS) return {EState::WouldBlock, 0, 0};
    return {EState::Failed, 0, errno};
}

SSocketResult PendingConnect(SOpenSocket& socket) {
    pollfd p{socket.fd.Get(), POLLOUT, 0};
    if (::poll(&p, 1, 0) <= 0) return {EState::WouldBlock, 0, 0};
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(socket.fd.Get(), SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
    if (err != 0) return {EState::Failed, 0, err};
    return {EState::Done, 0, 0};
}

SSocketResult TrySend(SOpenSocket& socket, const void* data, int n) {
    ssize_t w;
    do
        w = ::send(socket.fd.Get(), data, static_cast<std::size_t>(n), MSG_NOSIGNAL);
    while (w < 0 && errno == EINTR);
    // A send that took nothing is one to wait for, not a closed peer.
    if (w == 0) return {EState::WouldBlock, 0, 0};
    return Moved(w);
}

SSocketResult TryReceive(SOpenSocket& socket, void* buf, int n, int flags) {
    ssize_t r;
    do
        r = ::recv(socket.fd.Get(), buf, static_cast<std::size_t>(n), flags | MSG_DONTWAIT);
    while (r < 0 && errno == EINTR);
    return Moved(r);
}

int BytesWaiting(SOpenSocket& socket) {
    int waiting = 0;
    if (::ioctl(socket.fd.Get(), FIONREAD, &waiting) != 0 || waiting < 0) return 0;
    return waiting;
}

SocketWaitEnd WaitForSocket(SOpenSocket& socket, SocketEvent event, int ms, LinkOperation op,
                            LinkError& why) {
    const short events = event == SocketEvent::Readable ? POLLIN : POLLOUT;
    pollfd p{socket.fd.Get(), events, 0};
    const int r = ::poll(&p, 1, ms);
    if (r > 0) return SocketWaitEnd::Ready;
    // A signal ends the wait like its time.
    if (r == 0 || errno == EINTR) return SocketWaitEnd::TimedOut;
    why = LinkErrorFromErrno(op, errno);
    return SocketWaitEnd::Failed;
}

void PumpThreadMessages() {}

LinkError SocketFailure(LinkOperation op, int code) {
    return LinkErrorFromErrno(op, code);
}

} // namespace palvex
