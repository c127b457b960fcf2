// The system's calls under the network link's socket. CLinkSocket's connect,
// send, receive and discard (link_socket.cpp) are written once over them;
// each system's file defines them: link_socket_linux.cpp with BSD sockets and
// poll, link_socket_win32.cpp with Winsock and an event that a wait shares
// with the thread's messages. None of them blocks longer than it is told, and
// none runs the host's callback: the loops above them do.
#pragma once

#include "control/link/link_socket.h"
#include "control/protocol/link_error.h"

#include <cstdint>

namespace palvex {

// What one call that does not block gave.
struct SSocketResult {
    enum class EState : std::uint8_t {
        Done,       // count bytes moved, or the connect finished
        WouldBlock, // nothing can move now (a connect still under way)
        Closed,     // the peer closed the connection: nothing more arrives
        Failed,     // code is the system's error number
        BadAddress, // a connect to an address that is no dotted IPv4 form
    };
    EState state = EState::Failed;
    int count = 0;
    int code = 0;
};

// A TCP socket that does not block, with Nagle's delay off: frames are small
// and answered one at a time. Null, with `why`, when the system gives none.
OpenSocketPtr OpenTcpSocket(LinkError& why);

// Starts a connect to the dotted IPv4 address: Done when it is made at once,
// WouldBlock while it is under way (ask PendingConnect after each wait).
SSocketResult StartConnect(SOpenSocket& socket, const char* address, unsigned port);
// The connect under way: WouldBlock while it lasts, then Done or Failed.
SSocketResult PendingConnect(SOpenSocket& socket);

// Sends what the system takes at once of the n bytes, never raising a signal.
SSocketResult TrySend(SOpenSocket& socket, const void* data, int n);
// Receives what has arrived, up to n bytes, with the caller's recv flags.
SSocketResult TryReceive(SOpenSocket& socket, void* buf, int n, int flags);
// The bytes already received and not yet read; 0 when the system cannot tell.
int BytesWaiting(SOpenSocket& socket);

enum class SocketWaitEnd : std::uint8_t {
    Ready,    // the event holds, or the peer closed
    TimedOut, // `ms` passed
    Message,  // Windows: a message came for the thread before either
    Failed,   // `why` says why, for operation `op`
};
// Waits at most `ms` for `event` on the socket.
SocketWaitEnd WaitForSocket(SOpenSocket& socket, SocketEvent event, int ms, LinkOperation op,
                            LinkError& why);
// Windows: dispatches the messages waiting for the calling thread, so that a
// graphical host keeps painting while its card answers. Linux: nothing.
void PumpThreadMessages();

// The reason behind the system's error number `code` (errno on Linux,
// Winsock's on Windows) for operation `op`.
LinkError SocketFailure(LinkOperation op, int code);

} // namespace palvex
