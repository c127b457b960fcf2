// The network link through Winsock. The socket does not block; every wait
// for it dispatches the calling thread's window messages, so a graphical
// host keeps painting and its timers keep running while the card answers.
#include "control/link/link_socket.h"

#include "control/link/win32_errors.h"
#include "control/protocol/deadline.h"

// winsock2.h includes windows.h, after its own declarations.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace palvex {

namespace {

// The network events one wait is for.
constexpr short kWaitRead = FD_READ | FD_CLOSE;
constexpr short kWaitWrite = FD_WRITE | FD_CONNECT | FD_CLOSE;

// Winsock is started once for the process and left running: the module may
// be asked for another link at any time while it is loaded.
bool WinsockReady() {
    static const bool ready = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ready;
}

// Dispatches every message waiting for this thread. A quit request is put
// back for the host's own message loop to see.
void PumpMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

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
    SOCKET socket = INVALID_SOCKET;
    WSAEVENT event = WSA_INVALID_EVENT; // signalled by the events selected
    long selected = 0;                  // the events the event stands for now
    ~SOpenSocket() {
        if (socket != INVALID_SOCKET) ::closesocket(socket);
        if (event != WSA_INVALID_EVENT) ::WSACloseEvent(event);
    }
};

void CLinkSocket::SOpenSocketDeleter::operator()(SOpenSocket* socket) const {
    delete socket;
}

CLinkSocket::CLinkSocket() = default;
CLinkSocket::~CLinkSocket() = default;

bool CLinkSocket::Create() {
    m_linkError = {};
    m_socket.reset();
    if (!WinsockReady()) {
        Note(LinkErrorFromWinsock(LinkOperation::Open, ::WSAGetLastError()));
        return false;
    }
    auto open = std::make_unique<SOpenSocket>();
    open->socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    open->event = ::WSACreateEvent();
    // Selecting events makes the socket non-blocking.
    if (open->socket == INVALID_SOCKET || open->event == WSA_INVALID_EVENT ||
        ::WSAEventSelect(open->socket, open->event, kWaitWrite) != 0) {
        Note(LinkErrorFromWinsock(LinkOperation::Open, ::WSAGetLastError()));
        return false;
    }
    open->selected = kWaitWrite;
    // Frames are small and answered one at a time: send each at once.
    const BOOL one = TRUE;
    ::setsockopt(open->socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one),
                 sizeof one);
    m_socket.reset(open.release());
    return true;
}

int CLinkSocket::Discard() {
    if (!m_socket || m_bBlocking) return 0;
    // Only what has arrived so far: a peer that keeps sending cannot hold
    // the call, since each read takes no more than was counted as waiting.
    u_long waiting = 0;
    if (::ioctlsocket(m_socket->socket, FIONREAD, &waiting) != 0 || waiting == 0) return 0;
    char scratch[512];
    u_long dropped = 0;
    while (dropped < waiting) {
        const int want = static_cast<int>(std::min<u_long>(sizeof scratch, waiting - dropped));
        const int r = ::recv(m_socket->socket, scratch, want, 0);
        if (r <= 0) break;
        dropped += static_cast<u_long>(r);
    }
    return static_cast<int>(dropped);
}

void CLinkSocket::Close() {
    m_socket.reset();
}

// One wait lasts until the socket signals one of `events` or `ms` have
// passed; the messages that arrive meanwhile are dispatched without ending
// it, so a busy window does not use up the waits of a receive.
bool CLinkSocket::WaitFor(short events, int ms, LinkOperation op) {
    const CDeadline wait(ms);
    for (;;) {
        PumpMessages();
        if (m_pfnIdle != nullptr) m_pfnIdle(m_pIdleContext);
        if (!m_socket) { // a message or the callback closed the link
            Note(LinkErrorFromErrno(op, ENOTCONN));
            return false;
        }
        SOpenSocket& s = *m_socket;
        // Selecting again signals at once when the event already holds.
        if (s.selected != events) {
            if (::WSAEventSelect(s.socket, s.event, events) != 0) {
                Note(LinkErrorFromWinsock(op, ::WSAGetLastError()));
                return false;
            }
            s.selected = events;
        }
        const DWORD r = ::MsgWaitForMultipleObjects(
            1, &s.event, FALSE, static_cast<DWORD>(wait.RemainingMs()), QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) {
            WSANETWORKEVENTS happened; // clears the event for the next wait
            ::WSAEnumNetworkEvents(s.socket, s.event, &happened);
            return true;
        }
        if (r == WAIT_TIMEOUT) return true;
        if (r == WAIT_OBJECT_0 + 1) {
            if (wait.Expired()) return true;
            continue;
        }
        Note(LinkErrorFromWin32(op, ::GetLastError()));
        return false;
    }
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
    sa.sin_port = htons(static_cast<u_short>(port));
    if (::inet_pton(AF_INET, address, &sa.sin_addr) != 1) {
        Note(LinkError{LinkErrorKind::Unreachable, EINVAL});
        return false;
    }
    if (::connect(m_socket->socket, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) return true;
    if (const int err = ::WSAGetLastError(); err != WSAEWOULDBLOCK) {
        m_nLastError = err;
        Note(LinkErrorFromWinsock(kOp, err));
        return false;
    }
    CBlockingScope busy(m_bBlocking);
    for (;;) {
        if (!WaitFor(kWaitWrite, kSocketWaitMs, kOp)) return false;
        // Windows reports a failed connect among the exceptions.
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(m_socket->socket, &writable);
        FD_SET(m_socket->socket, &failed);
        timeval now{0, 0};
        if (::select(0, nullptr, &writable, &failed, &now) <= 0) continue;
        if (FD_ISSET(m_socket->socket, &writable)) return true;
        int err = 0;
        int len = sizeof err;
        if (::getsockopt(m_socket->socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err),
                         &len) != 0)
            err = ::WSAGetLastError();
        m_nLastError = err;
        Note(LinkErrorFromWinsock(kOp, err));
        return false;
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
    const auto* p = static_cast<const char*>(buf);
    int done = 0;
    while (done < len) {
        const int w = ::send(m_socket->socket, p + done, len - done, 0);
        if (w > 0) {
            done += w;
            continue;
        }
        const int err = ::WSAGetLastError();
        if (err != WSAEWOULDBLOCK) {
            m_nLastError = err;
            Note(LinkErrorFromWinsock(LinkOperation::Write, err));
            return SOCKET_ERROR;
        }
        if (!WaitFor(kWaitWrite, kSocketWaitMs, LinkOperation::Write)) return SOCKET_ERROR;
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
    char scratch[512];
    for (;;) {
        if (total == nBufLen) return total;
        int r = ::recv(m_socket->socket, scratch, sizeof scratch, nFlags);
        while (r == SOCKET_ERROR) {
            if (waits == 0) {
                Note(LinkError{LinkErrorKind::TimedOut, 0});
                return 0;
            }
            if (const int err = ::WSAGetLastError(); err != WSAEWOULDBLOCK) {
                m_nLastError = err;
                Note(LinkErrorFromWinsock(kOp, err));
                return SOCKET_ERROR;
            }
            if (!WaitFor(kWaitRead, kSocketWaitMs, kOp)) return SOCKET_ERROR;
            --waits;
            r = ::recv(m_socket->socket, scratch, sizeof scratch, nFlags);
        }
        // The peer closed the connection: nothing more can arrive.
        if (r == 0) {
            Note(LinkError{LinkErrorKind::Disconnected, 0});
            return 0;
        }
        // Store only what fits; bytes beyond nBufLen still count, so a reply
        // longer than expected fails once the waits are used up.
        const int room = total < nBufLen ? nBufLen - total : 0;
        const int keep = r < room ? r : room;
        if (keep > 0) std::memcpy(out + total, scratch, static_cast<std::size_t>(keep));
        total += r;
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
