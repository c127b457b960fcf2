// The network link's connect, send and bounded receive, written once over
// the system's calls of socket_calls.h.
#include "control/link/link_socket.h"

#include "control/link/socket_calls.h"
#include "control/protocol/deadline.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace palvex {

namespace {

using EState = SSocketResult::EState;

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

CLinkSocket::CLinkSocket() = default;
CLinkSocket::~CLinkSocket() = default;

void CLinkSocket::Fail(LinkOperation op, int code) {
    m_nLastError = code;
    Note(SocketFailure(op, code));
}

bool CLinkSocket::Create() {
    m_linkError = {};
    m_socket.reset();
    m_socket = OpenTcpSocket(m_linkError);
    return m_socket != nullptr;
}

void CLinkSocket::Close() {
    m_socket.reset();
}

int CLinkSocket::Discard() {
    if (!m_socket || m_bBlocking) return 0;
    // Only what has arrived so far: a peer that keeps sending cannot hold
    // the call, since each read takes no more than was counted as waiting.
    const int waiting = BytesWaiting(*m_socket);
    std::uint8_t scratch[512];
    int dropped = 0;
    while (dropped < waiting) {
        const int want = std::min(static_cast<int>(sizeof scratch), waiting - dropped);
        const SSocketResult r = TryReceive(*m_socket, scratch, want, 0);
        if (r.state != EState::Done || r.count <= 0) break;
        dropped += r.count;
    }
    return dropped;
}

bool CLinkSocket::WaitFor(SocketEvent event, LinkOperation op) {
    // The host's turn: the thread's messages, then its callback, either of
    // which may close the link.
    const auto hostTurn = [&] {
        PumpThreadMessages();
        if (m_pfnIdle != nullptr) m_pfnIdle(m_pIdleContext);
        if (m_socket) return true;
        Note(LinkErrorFromErrno(op, ENOTCONN));
        return false;
    };
    if (!hostTurn()) return false;
    const CDeadline wait(kSocketWaitMs);
    for (;;) {
        LinkError why;
        switch (WaitForSocket(*m_socket, event, wait.RemainingMs(), op, why)) {
        case SocketWaitEnd::Ready:
        case SocketWaitEnd::TimedOut:
            return true;
        case SocketWaitEnd::Message:
            if (wait.Expired()) return true;
            if (!hostTurn()) return false;
            continue;
        case SocketWaitEnd::Failed:
            break;
        }
        Note(why);
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
        m_nLastError = kSocketErrorInProgress;
        return false;
    }
    SSocketResult r = StartConnect(*m_socket, address, port);
    if (r.state == EState::WouldBlock) {
        CBlockingScope busy(m_bBlocking);
        while (r.state == EState::WouldBlock) {
            if (!WaitFor(SocketEvent::Writable, kOp)) return false;
            r = PendingConnect(*m_socket);
        }
    }
    switch (r.state) {
    case EState::Done:
        return true;
    case EState::BadAddress:
        Note(LinkError{LinkErrorKind::Unreachable, EINVAL});
        return false;
    default:
        Fail(kOp, r.code);
        return false;
    }
}

int CLinkSocket::Send(const void* buf, int len) {
    m_linkError = {};
    if (!m_socket) {
        m_nLastError = kSocketErrorNotConnected;
        Note(LinkErrorFromErrno(LinkOperation::Write, ENOTCONN));
        return kSocketFailed;
    }
    if (m_bBlocking) {
        m_nLastError = kSocketErrorInProgress;
        return kSocketFailed;
    }
    CBlockingScope busy(m_bBlocking);
    const auto* p = static_cast<const std::uint8_t*>(buf);
    int done = 0;
    while (done < len) {
        const SSocketResult r = TrySend(*m_socket, p + done, len - done);
        if (r.state == EState::Done && r.count > 0) {
            done += r.count;
            continue;
        }
        if (r.state == EState::Failed) {
            Fail(LinkOperation::Write, r.code);
            return kSocketFailed;
        }
        if (!WaitFor(SocketEvent::Writable, LinkOperation::Write)) return kSocketFailed;
    }
    return done;
}

int CLinkSocket::Receive(void* lpBuf, int nBufLen, int nFlags) {
    if (m_bBlocking) {
        m_nLastError = kSocketErrorInProgress;
        return 0;
    }
    constexpr LinkOperation kOp = LinkOperation::Read;
    m_linkError = {};
    if (!m_socket) {
        m_nLastError = kSocketErrorNotConnected;
        Note(LinkErrorFromErrno(kOp, ENOTCONN));
        return kSocketFailed;
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
    // A read is tried before any wait only when bytes may be waiting: not at
    // the start, when the reply to the frame just sent has had no time to
    // come, nor after a read that took less than it could, which emptied the
    // queue. Either would find nothing and cost a system call each time; the
    // wait returns at once for bytes that did come.
    bool mayBeWaiting = false;
    for (;;) {
        if (total == nBufLen) return total;
        SSocketResult r{EState::WouldBlock};
        if (mayBeWaiting) r = TryReceive(*m_socket, scratch, sizeof scratch, nFlags);
        while (r.state == EState::WouldBlock || r.state == EState::Failed) {
            if (waits == 0) {
                Note(LinkError{LinkErrorKind::TimedOut, 0});
                return 0;
            }
            if (r.state == EState::Failed) {
                Fail(kOp, r.code);
                return kSocketFailed;
            }
            if (!WaitFor(SocketEvent::Readable, kOp)) return kSocketFailed;
            --waits;
            r = TryReceive(*m_socket, scratch, sizeof scratch, nFlags);
        }
        // The peer closed the connection: nothing more can arrive.
        if (r.state == EState::Closed) {
            Note(LinkError{LinkErrorKind::Disconnected, 0});
            return 0;
        }
        // Store only what fits; bytes beyond nBufLen still count, so a reply
        // longer than expected fails once the waits are used up.
        const int room = total < nBufLen ? nBufLen - total : 0;
        const int keep = std::min(r.count, room);
        if (keep > 0) std::memcpy(out + total, scratch, static_cast<std::size_t>(keep));
        total += r.count;
        mayBeWaiting = r.count == static_cast<int>(sizeof scratch);
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

void CSocketTransport::SetName(const char* name) {
    std::snprintf(m_szName, sizeof m_szName, "%s", name);
}

bool CSocketTransport::Write(const std::uint8_t* data, std::size_t n) {
    const int sent = m_socket.Send(data, static_cast<int>(n));
    return sent > 0;
}

std::size_t CSocketTransport::ReadExact(std::uint8_t* buf, std::size_t n,
                                        const CDeadline& deadline) {
    // Counted from the span the attempt was given rather than from the time
    // left, so the count is the same however long the send took: wait / 20.
    const std::int64_t waits = deadline.AllowedMs() / kSocketWaitMs;
    m_socket.m_nMaxWaits = static_cast<short>(waits > 0x7FFF ? 0x7FFF : waits);
    const int got = m_socket.Receive(buf, static_cast<int>(n));
    return got == static_cast<int>(n) ? n : 0;
}

} // namespace palvex
