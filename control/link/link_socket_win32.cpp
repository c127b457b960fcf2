// The network link's system calls on Windows: Winsock. The socket does not
// block; its network events signal an event that each wait shares with the
// thread's input, so that the wait wakes for the messages of a graphical host
// and the link's loops dispatch them while the card answers.
#include "control/link/socket_calls.h"

#include "control/link/win32_errors.h"

// winsock2.h includes windows.h, after its own declarations.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <memory>

namespace palvex {

namespace {

using EState = SSocketResult::EState;

// The network events one wait is for.
constexpr long kWaitRead = FD_READ | FD_CLOSE;
constexpr long kWaitWrite = FD_WRITE | FD_CONNECT | FD_CLOSE;

// Winsock is started once for the process and left running: the module may
// be asked for another link at any time while it is loaded.
bool WinsockReady() {
    static const bool ready = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ready;
}

SSocketResult Moved(int n) {
    if (n > 0) return {EState::Done, n, 0};
    if (n == 0) return {EState::Closed, 0, 0};
    const int err = ::WSAGetLastError();
    if (err == WSAEWOULDBLOCK) return {EState::WouldBlock, 0, 0};
    return {EState::Failed, 0, err};
}

} // namespace

struct SOpenSocket {
    SOCKET socket = INVALID_SOCKET;
    WSAEVENT event = WSA_INVALID_EVENT; // signalled by the events selected
    long selected = 0;                  // the events the event stands for now
    ~SOpenSocket() {
        if (socket != INVALID_SOCKET) ::closesocket(socket);
        if (event != WSA_INVALID_EVENT) ::WSACloseEvent(event);
    }
};

void SOpenSocketDeleter::operator()(SOpenSocket* socket) const {
    delete socket;
}

OpenSocketPtr OpenTcpSocket(LinkError& why) {
    if (!WinsockReady()) {
        why = LinkErrorFromWinsock(LinkOperation::Open, ::WSAGetLastError());
        return nullptr;
    }
    auto open = std::make_unique<SOpenSocket>();
    open->socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    open->event = ::WSACreateEvent();
    // Selecting events makes the socket non-blocking.
    if (open->socket == INVALID_SOCKET || open->event == WSA_INVALID_EVENT ||
        ::WSAEventSelect(open->socket, open->event, kWaitWrite) != 0) {
        why = LinkErrorFromWinsock(LinkOperation::Open, ::WSAGetLastError());
        return nullptr;
    }
    open->selected = kWaitWrite;
    const BOOL one = TRUE;
    ::setsockopt(open->socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one),
                 sizeof one);
    return OpenSocketPtr(open.release());
}

SSocketResult StartConnect(SOpenSocket& socket, const char* address, unsigned port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<u_short>(port));
    if (::inet_pton(AF_INET, address, &sa.sin_addr) != 1) return {EState::BadAddress, 0, 0};
    if (::connect(socket.socket, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0)
        return {EState::Done, 0, 0};
    const int err = ::WSAGetLastError();
    if (err == WSAEWOULDBLOCK) return {EState::WouldBlock, 0, 0};
    return {EState::Failed, 0, err};
}

SSocketResult PendingConnect(SOpenSocket& socket) {
    // Windows reports a failed connect among the exceptions.
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket.socket, &writable);
    FD_SET(socket.socket, &failed);
    timeval now{0, 0};
    if (::select(0, nullptr, &writable, &failed, &now) <= 0) return {EState::WouldBlock, 0, 0};
    if (FD_ISSET(socket.socket, &writable)) return {EState::Done, 0, 0};
    int err = 0;
    int len = sizeof err;
    if (::getsockopt(socket.socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0)
        err = ::WSAGetLastError();
    return {EState::Failed, 0, err};
}

SSocketResult TrySend(SOpenSocket& socket, const void* data, int n) {
    const int w = ::send(socket.socket, static_cast<const char*>(data), n, 0);
    // A send that took nothing is one to wait for, not a closed peer.
    if (w == 0) return {EState::WouldBlock, 0, 0};
    return Moved(w);
}

SSocketResult TryReceive(SOpenSocket& socket, void* buf, int n, int flags) {
    return Moved(::recv(socket.socket, static_cast<char*>(buf), n, flags));
}

int BytesWaiting(SOpenSocket& socket) {
    u_long waiting = 0;
    if (::ioctlsocket(socket.socket, FIONREAD, &waiting) != 0) return 0;
    return waiting > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(waiting);
}

SocketWaitEnd WaitForSocket(SOpenSocket& socket, SocketEvent event, int ms, LinkOperation op,
                            LinkError& why) {
    const long events = event == SocketEvent::Readable ? kWaitRead : kWaitWrite;
    // Selecting again signals at once when the event already holds.
    if (socket.selected != events) {
        if (::WSAEventSelect(socket.socket, socket.event, events) != 0) {
            why = LinkErrorFromWinsock(op, ::WSAGetLastError());
            return SocketWaitEnd::Failed;
        }
        socket.selected = events;
    }
    const DWORD r =
        ::MsgWaitForMultipleObjects(1, &socket.event, FALSE, static_cast<DWORD>(ms), QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) {
        WSANETWORKEVENTS happened; // clears the event for the next wait
        ::WSAEnumNetworkEvents(socket.socket, socket.event, &happened);
        return SocketWaitEnd::Ready;
    }
    if (r == WAIT_TIMEOUT) return SocketWaitEnd::TimedOut;
    if (r == WAIT_OBJECT_0 + 1) return SocketWaitEnd::Message;
    why = LinkErrorFromWin32(op, ::GetLastError());
    return SocketWaitEnd::Failed;
}

// A quit request is put back for the host's own message loop to see.
void PumpThreadMessages() {
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

LinkError SocketFailure(LinkOperation op, int code) {
    return LinkErrorFromWinsock(op, code);
}

} // namespace palvex
