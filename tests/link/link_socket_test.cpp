#include "control/link/palvex_ctrl.h"
#include "control/link/socket_calls_linux.h"
#include "control/protocol/deadline.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using Bytes = std::vector<unsigned char>;
using palvex::CLinkSocket;

namespace {

constexpr std::int32_t kLoopback = 0x7F000001;
const Bytes kZFrame = {0x1B, '$', 'Q', 'K', '0', '1', 'W', 0x00, 0x01, 'Z', 0xC8, 0x8E};
const Bytes kZAck = {0x05, 'Z', 0xC8, 0x8E, 'O', 'K'};

// A listener on 127.0.0.1 that accepts one connection for the test to play
// the card on.
class CLoopbackPeer {
  public:
    explicit CLoopbackPeer(unsigned port = 0) {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(static_cast<std::uint16_t>(port));
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_bound = ::bind(m_listen, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 &&
                  ::listen(m_listen, 4) == 0;
        socklen_t len = sizeof sa;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&sa), &len);
        m_port = ntohs(sa.sin_port);
    }
    ~CLoopbackPeer() {
        if (m_conn >= 0) ::close(m_conn);
        ::close(m_listen);
    }
    bool Bound() const { return m_bound; }
    unsigned Port() const { return m_port; }
    short PortArg() const { return static_cast<short>(static_cast<std::uint16_t>(m_port)); }
    void Accept() { m_conn = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC); }
    Bytes Read(std::size_t n, int ms) {
        Bytes out;
        palvex::CDeadline d(ms);
        while (out.size() < n) {
            pollfd p{m_conn, POLLIN, 0};
            if (::poll(&p, 1, d.RemainingMs()) <= 0) break;
            unsigned char buf[4096];
            const ssize_t r = ::recv(m_conn, buf, std::min(sizeof buf, n - out.size()), 0);
            if (r <= 0) break;
            out.insert(out.end(), buf, buf + r);
        }
        return out;
    }
    void Write(const Bytes& b) { ::send(m_conn, b.data(), b.size(), MSG_NOSIGNAL); }
    // Waits until the other end has acknowledged everything written, so
    // that it lies in the control's receive queue.
    bool WaitDelivered(int ms) {
        palvex::CDeadline d(ms);
        int unacked = 0;
        while (::ioctl(m_conn, TIOCOUTQ, &unacked) == 0 && unacked > 0) {
            if (d.Expired()) return false;
            ::poll(nullptr, 0, 1);
        }
        return unacked == 0;
    }
    void CloseConnection() {
        ::close(m_conn);
        m_conn = -1;
    }

  private:
    int m_listen = -1;
    int m_conn = -1;
    unsigned m_port = 0;
    bool m_bound = false;
};

} // namespace

TEST(NetworkLink, ConnectsToTheDottedFormOfTheAddress) {
    CLoopbackPeer peer;
    ASSERT_TRUE(peer.Bound());
    for (short localPort : {0, 5000}) {
        CPalvexCtrl c;
        EXPECT_TRUE(c.NetInitial(localPort, kLoopback, peer.PortArg(), 1000));
        peer.Accept();
        EXPECT_TRUE(c.IsLinkOpen());
        EXPECT_EQ(c.LinkKind(), 1);
        EXPECT_EQ(c.WaitTime(), 1000);
        peer.CloseConnection();
    }
}

TEST(NetworkLink, TakesTheRemotePortAsAnUnsignedSixteenBitNumber) {
    CLoopbackPeer peer(65535);
    if (!peer.Bound()) GTEST_SKIP() << "port 65535 is taken";
    CPalvexCtrl c;
    EXPECT_TRUE(c.NetInitial(0, kLoopback, -1, 100));
}

TEST(NetworkLink, ReportsARefusedConnectionAndStaysClosed) {
    unsigned freePort;
    {
        CLoopbackPeer probe;
        freePort = probe.Port();
    }
    CPalvexCtrl c;
    EXPECT_FALSE(c.NetInitial(0, kLoopback, static_cast<short>(freePort), 0));
    EXPECT_FALSE(c.IsLinkOpen());
    EXPECT_EQ(c.LinkKind(), 1);
    EXPECT_EQ(c.WaitTime(), 100);
}

TEST(NetworkLink, ExchangesAFrameAndAllowsFiftyWaitsForOneSecond) {
    CLoopbackPeer peer;
    CPalvexCtrl c;
    ASSERT_TRUE(c.NetInitial(0, kLoopback, peer.PortArg(), 1000));
    peer.Accept();
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    std::vector<std::int64_t> allowed;
    c.SetTraceSink(
        [](void* v, const palvex::TraceEvent& e) {
            if (!e.outgoing && !e.IsLinkError())
                static_cast<std::vector<std::int64_t>*>(v)->push_back(e.allowedMs);
        },
        &allowed);
    std::thread card([&] {
        EXPECT_EQ(peer.Read(kZFrame.size(), 2000), kZFrame);
        peer.Write(Bytes(kZAck.begin(), kZAck.begin() + 3));
        peer.Write(Bytes(kZAck.begin() + 3, kZAck.end()));
    });
    EXPECT_TRUE(c.ExecuteCommand('Z', nullptr, 0));
    card.join();
    // No time per byte on the network: the receive gets 1000 / 20 waits.
    EXPECT_EQ(allowed, std::vector<std::int64_t>{1000});
    EXPECT_EQ(allowed[0] / palvex::kSocketWaitMs, 50);
}

TEST(NetworkLink, DiscardsALateReplyBeforeTheNextFrame) {
    CLoopbackPeer peer;
    CPalvexCtrl c;
    ASSERT_TRUE(c.NetInitial(0, kLoopback, peer.PortArg(), 1000));
    peer.Accept();
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    // A clock reading that came after an earlier read gave up waits in the
    // socket: the next read must get the card's answer to its own frame.
    peer.Write({0x06, 0x06, 0x12, 0x07, 0x09, 0x30, 0x15});
    ASSERT_TRUE(peer.WaitDelivered(2000));
    std::thread card([&] {
        EXPECT_EQ(peer.Read(12, 2000).size(), 12u); // the "E" frame
        peer.Write({0x06, 0x26, 0x12, 0x19, 0x23, 0x47, 0x38});
    });
    short clock[6] = {};
    EXPECT_TRUE(c.GetTime(reinterpret_cast<LONG_PTR>(clock)));
    card.join();
    EXPECT_EQ(std::vector<short>(clock, clock + 6), (std::vector<short>{2026, 12, 19, 23, 47, 38}));
}

TEST(NetworkLink, FailsAllAttemptsWhenThePeerHasClosed) {
    CLoopbackPeer peer;
    CPalvexCtrl c;
    ASSERT_TRUE(c.NetInitial(0, kLoopback, peer.PortArg(), 2000));
    peer.Accept();
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    peer.CloseConnection();
    const auto start = palvex::CDeadline::NowNs();
    EXPECT_FALSE(c.ExecuteCommand('Z', nullptr, 0));
    EXPECT_LT((palvex::CDeadline::NowNs() - start) / 1000000, 2000);
    EXPECT_TRUE(c.IsLinkOpen()); // marked open until closed
    c.QKClose();
    EXPECT_FALSE(c.IsLinkOpen());
}

namespace {

struct ConnectedSocket {
    CLoopbackPeer peer;
    CLinkSocket socket;
    ConnectedSocket() {
        socket.Create();
        socket.Connect("127.0.0.1", peer.Port());
        peer.Accept();
    }
};

} // namespace

TEST(BoundedReceive, ReturnsNothingWhenNoWaitIsAllowed) {
    ConnectedSocket s;
    s.peer.Write({1, 2, 3});
    std::uint8_t buf[3];
    s.socket.m_nMaxWaits = 0;
    EXPECT_EQ(s.socket.Receive(buf, 3), 0);
}

TEST(BoundedReceive, NeverStoresMoreThanTheRequestedLength) {
    ConnectedSocket s;
    s.peer.Write(Bytes(100, 0xAB));
    std::uint8_t buf[8] = {};
    std::uint8_t guard[8];
    std::fill(std::begin(guard), std::end(guard), 0x5A);
    s.socket.m_nMaxWaits = 3;
    EXPECT_EQ(s.socket.Receive(buf, 4), 0);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(buf[i], 0xAB);
    for (int i = 4; i < 8; ++i)
        EXPECT_EQ(buf[i], 0);
    for (auto g : guard)
        EXPECT_EQ(g, 0x5A);
}

TEST(BoundedReceive, RefusesASecondReceiveWhileOneWaits) {
    ConnectedSocket s;
    struct Probe {
        CLinkSocket* socket;
        int inner = 99;
        int error = 0;
        int calls = 0;
    } probe{&s.socket};
    s.socket.SetIdleCallback(
        [](void* ctx) {
            auto* p = static_cast<Probe*>(ctx);
            if (p->calls++ > 0) return;
            std::uint8_t b[1];
            p->inner = p->socket->Receive(b, 1);
            p->error = p->socket->GetLastError();
        },
        &probe);
    std::uint8_t buf[4];
    s.socket.m_nMaxWaits = 3;
    EXPECT_EQ(s.socket.Receive(buf, 4), 0);
    EXPECT_EQ(probe.inner, 0);
    EXPECT_EQ(probe.error, palvex::kSocketErrorInProgress);
    EXPECT_EQ(probe.calls, 3); // the host's callback ran during every wait
}

TEST(BoundedReceive, LetsTheHostRunDuringANetworkExchange) {
    CLoopbackPeer peer;
    CPalvexCtrl c;
    ASSERT_TRUE(c.NetInitial(0, kLoopback, peer.PortArg(), 100));
    peer.Accept();
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    struct Host {
        CPalvexCtrl* control;
        int ticks = 0;
        BOOL nested = TRUE;
    } host{&c};
    c.SetIdleCallback(
        [](void* ctx) {
            auto* h = static_cast<Host*>(ctx);
            if (h->ticks++ == 0) h->nested = h->control->ExecuteCommand('X', nullptr, 0);
        },
        &host);
    const auto start = palvex::CDeadline::NowNs();
    EXPECT_FALSE(c.ExecuteCommand('Z', nullptr, 0)); // nobody answers
    EXPECT_FALSE(host.nested);                       // refused at once, without waiting
    EXPECT_GE(host.ticks, 5 * 5);
    EXPECT_LT((palvex::CDeadline::NowNs() - start) / 1000000, 3000);
    // The outer exchange kept sending its own frame on every attempt.
    const Bytes sent = peer.Read(5 * kZFrame.size(), 500);
    ASSERT_EQ(sent.size(), 5 * kZFrame.size());
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Bytes(sent.begin() + i * 12, sent.begin() + (i + 1) * 12), kZFrame);
}

// The system's calls under the socket, each on one end of a socket pair that
// blocks, with the other end left silent, sending, shut or closed.
TEST(SocketCalls, TellWhatThePeerDidWithoutEverBlocking) {
    using EState = palvex::SSocketResult::EState;
    using palvex::SocketWaitEnd;
    struct Case {
        const char* peerDid;
        void (*peer)(palvex::CUniqueFd& fd);
        int waiting;
        EState received;
        SocketWaitEnd readable;
        EState sent;
        int sendCode;
    };
    const Case cases[] = {
        {"nothing", [](palvex::CUniqueFd&) {}, 0, EState::WouldBlock, SocketWaitEnd::TimedOut,
         EState::Done, 0},
        {"send three bytes",
         [](palvex::CUniqueFd& fd) { ASSERT_EQ(::send(fd.Get(), "abc", 3, 0), 3); }, 3,
         EState::Done, SocketWaitEnd::Ready, EState::Done, 0},
        {"shut its sending side", [](palvex::CUniqueFd& fd) { ::shutdown(fd.Get(), SHUT_WR); }, 0,
         EState::Closed, SocketWaitEnd::Ready, EState::Done, 0},
        // No SIGPIPE: the test program would not live through it.
        {"close", [](palvex::CUniqueFd& fd) { fd.Reset(); }, 0, EState::Closed,
         SocketWaitEnd::Ready, EState::Failed, EPIPE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.peerDid);
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        palvex::SOpenSocket socket{palvex::CUniqueFd(fds[0])};
        palvex::CUniqueFd peer(fds[1]);
        c.peer(peer);
        EXPECT_EQ(palvex::BytesWaiting(socket), c.waiting);
        palvex::LinkError why;
        EXPECT_EQ(palvex::WaitForSocket(socket, palvex::SocketEvent::Readable, 0,
                                        palvex::LinkOperation::Read, why),
                  c.readable);
        char buf[16];
        const palvex::SSocketResult got = palvex::TryReceive(socket, buf, sizeof buf, 0);
        EXPECT_EQ(got.state, c.received);
        EXPECT_EQ(got.count, c.waiting);
        const palvex::SSocketResult sent = palvex::TrySend(socket, "x", 1);
        EXPECT_EQ(sent.state, c.sent);
        EXPECT_EQ(sent.code, c.sendCode);
    }
}
