// The TCP socket of the network link. Sends and connects block, and a receive
// waits a bounded number of short waits; while any of them waits, a callback
// of the host runs (and on Windows the calling thread's window messages are
// dispatched) so that a graphical host keeps painting.
#pragma once

#include "control/protocol/transport.h"

#include <cstdint>
#include <memory>

namespace palvex {

// What Send and Receive return when they failed.
constexpr int kSocketFailed = -1;
// GetLastError() after a call the socket refused itself, on every system the
// number Winsock gives the same condition: another call of this socket is
// waiting, or there is no socket.
constexpr int kSocketErrorInProgress = 10036;
constexpr int kSocketErrorNotConnected = 10057;
constexpr int kSocketWaitMs = 20; // one wait of the bounded receive

// The open socket as the system holds it: a descriptor on Linux, a SOCKET
// and its event on Windows. Each system's file defines it and closes it
// (socket_calls.h declares the calls over it).
struct SOpenSocket;
struct SOpenSocketDeleter {
    void operator()(SOpenSocket* socket) const;
};
using OpenSocketPtr = std::unique_ptr<SOpenSocket, SOpenSocketDeleter>;

using IdleCallback = void (*)(void* context);
// What one wait of the socket is for.
enum class SocketEvent : std::uint8_t { Readable, Writable };

class CLinkSocket {
  public:
    CLinkSocket();
    ~CLinkSocket();
    CLinkSocket(const CLinkSocket&) = delete;
    CLinkSocket& operator=(const CLinkSocket&) = delete;

    // A TCP socket on any local port. False when the system gives none.
    bool Create();
    // Connects to a dotted IPv4 address; waits (running the idle callback)
    // until the system reports success or failure.
    bool Connect(const char* address, unsigned port);
    // Sends all bytes; the count sent, or kSocketFailed.
    int Send(const void* buf, int len);
    // Gathers exactly nBufLen bytes within m_nMaxWaits waits of up to 20 ms;
    // returns nBufLen, 0 when they did not all arrive in time (or the peer
    // closed), or kSocketFailed. Never stores more than nBufLen bytes. The
    // first read comes after a wait, as the reply to a frame just sent is not
    // there yet: bytes already waiting end that wait at once, and it counts.
    int Receive(void* lpBuf, int nBufLen, int nFlags = 0);
    // Discards the input already waiting on the connection, without waiting
    // for more. Does nothing while another call of this socket is waiting:
    // that call owns the input. Returns the number of bytes discarded.
    int Discard();
    void Close();
    bool IsOpen() const { return m_socket != nullptr; }
    int GetLastError() const { return m_nLastError; }
    // Why the last Create, Connect, Send or Receive failed; none after a
    // success. A Receive refused because another call of this socket waits
    // leaves it as that call has it.
    const LinkError& LastLinkError() const { return m_linkError; }

    void SetIdleCallback(IdleCallback fn, void* context) {
        m_pfnIdle = fn;
        m_pIdleContext = context;
    }

    short m_nMaxWaits = 0;

  private:
    // One wait for `event`: dispatches the thread's messages (Windows) and
    // runs the host's callback, then waits for at most 20 ms. Messages that
    // arrive meanwhile are dispatched (and the callback runs again) without
    // ending the wait, so a busy window does not use up the waits of a
    // receive. Returns false, with the reason recorded for `op`, when the
    // wait itself failed or the host closed the socket.
    bool WaitFor(SocketEvent event, LinkOperation op);
    // Records the reason of the operation under way.
    void Note(LinkError why) { m_linkError = why; }
    // Records the system's error number `code` as the reason and as
    // GetLastError().
    void Fail(LinkOperation op, int code);

    OpenSocketPtr m_socket;
    int m_nLastError = 0;
    LinkError m_linkError;
    bool m_bBlocking = false; // inside a blocking call
    IdleCallback m_pfnIdle = nullptr;
    void* m_pIdleContext = nullptr;
};

// Frames over the socket: 5 attempts, the receive bounded by the control's
// wait time. Before each attempt the input already waiting is discarded, as
// a serial line is purged: a reply that came after its own attempt gave up
// must not pass for the answer to a later frame.
class CSocketTransport : public ILinkTransport {
  public:
    explicit CSocketTransport(CLinkSocket& socket) : m_socket(socket) {}
    void SetName(const char* name);
    int MaxAttempts() const override { return 5; }
    // The network adds no time per byte: the whole reply has the wait time.
    int PerByteMs() const override { return 0; }
    void Purge() override { m_socket.Discard(); }
    bool Write(const std::uint8_t* data, std::size_t n) override;
    // The bounded receive with as many 20 ms waits as fit before the deadline.
    std::size_t ReadExact(std::uint8_t* buf, std::size_t n, const CDeadline& deadline) override;
    const char* Describe() const override { return m_szName; }
    LinkError LastError() const override { return m_socket.LastLinkError(); }

  private:
    CLinkSocket& m_socket;
    char m_szName[32] = "tcp";
};

} // namespace palvex
