// The network link's socket on Windows, under Wine, against listeners of the
// test's own.
#include "control/link/link_socket.h"

#include <gtest/gtest.h>

#include <winsock2.h>

#include <chrono>

namespace {

// A listener on a free loopback port, and the connection it accepts.
struct CLoopbackListener {
    SOCKET listener = INVALID_SOCKET;
    SOCKET accepted = INVALID_SOCKET;
    unsigned port = 0;
    CLoopbackListener() {
        WSADATA data;
        if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
        listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int len = sizeof sa;
        if (::bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 &&
            ::listen(listener, 1) == 0 &&
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&sa), &len) == 0)
            port = ntohs(sa.sin_port);
    }
    ~CLoopbackListener() {
        if (accepted != INVALID_SOCKET) ::closesocket(accepted);
        if (listener != INVALID_SOCKET) ::closesocket(listener);
    }
    bool Connect(palvex::CLinkSocket& socket) {
        if (port == 0 || !socket.Create() || !socket.Connect("127.0.0.1", port)) return false;
        accepted = ::accept(listener, nullptr, nullptr);
        return accepted != INVALID_SOCKET;
    }
};

TEST(WindowsSocket, ClosedLoopbackPortRefusesTheConnection) {
    // A port just released by a listener of our own has nobody behind it.
    WSADATA data;
    ASSERT_EQ(::WSAStartup(MAKEWORD(2, 2), &data), 0);
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof sa;
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    ASSERT_EQ(::getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len), 0);
    ::closesocket(s);
    palvex::CLinkSocket socket;
    ASSERT_TRUE(socket.Create());
    EXPECT_FALSE(socket.Connect("127.0.0.1", ntohs(sa.sin_port)));
    EXPECT_EQ(socket.LastLinkError().kind, palvex::LinkErrorKind::ConnectionRefused);
}

int g_nTicks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) {
    ++g_nTicks;
}

TEST(WindowsSocket, WindowMessagesRunWhileTheReceiveWaits) {
    // A listener that accepts nothing and sends nothing: the receive uses
    // all its waits, and the thread's timer keeps ticking meanwhile.
    WSADATA data;
    ASSERT_EQ(::WSAStartup(MAKEWORD(2, 2), &data), 0);
    SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof sa;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&sa), &len), 0);

    palvex::CLinkSocket socket;
    ASSERT_TRUE(socket.Create());
    ASSERT_TRUE(socket.Connect("127.0.0.1", ntohs(sa.sin_port)));
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 10, CountTick);
    g_nTicks = 0;
    socket.m_nMaxWaits = 10;
    std::uint8_t reply[6];
    EXPECT_EQ(socket.Receive(reply, sizeof reply), 0);
    EXPECT_EQ(socket.LastLinkError().kind, palvex::LinkErrorKind::TimedOut);
    ::KillTimer(nullptr, timer);
    EXPECT_GT(g_nTicks, 0);
    socket.Close();
    ::closesocket(listener);
}

TEST(WindowsSocket, TheReceiveTellsAReplyASilenceAndAClosedPeerApart) {
    struct Case {
        const char* peerDid;
        int sent; // bytes of the reply sent; -1: the connection closed
        int received;
        palvex::LinkErrorKind kind;
    };
    const Case cases[] = {
        {"the whole reply", 6, 6, palvex::LinkErrorKind::None},
        {"a part of it", 3, 0, palvex::LinkErrorKind::TimedOut},
        {"close", -1, 0, palvex::LinkErrorKind::Disconnected},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.peerDid);
        CLoopbackListener peer;
        palvex::CLinkSocket socket;
        ASSERT_TRUE(peer.Connect(socket));
        if (c.sent >= 0) {
            ASSERT_EQ(::send(peer.accepted, "\x05Z\xC8\x8EOK", c.sent, 0), c.sent);
        } else {
            ::closesocket(peer.accepted);
            peer.accepted = INVALID_SOCKET;
        }
        socket.m_nMaxWaits = 3;
        std::uint8_t reply[6];
        EXPECT_EQ(socket.Receive(reply, sizeof reply), c.received);
        EXPECT_EQ(socket.LastLinkError().kind, c.kind);
    }
}

TEST(WindowsSocket, ABusyWindowDoesNotUseUpTheWaits) {
    // Every turn of the host posts a message, so each wait is woken by one at
    // once: the waits must still last their 20 ms each.
    CLoopbackListener peer;
    palvex::CLinkSocket socket;
    ASSERT_TRUE(peer.Connect(socket));
    int turns = 0;
    socket.SetIdleCallback(
        [](void* ctx) {
            ++*static_cast<int*>(ctx);
            ::PostThreadMessageW(::GetCurrentThreadId(), WM_USER, 0, 0);
        },
        &turns);
    socket.m_nMaxWaits = 5;
    std::uint8_t reply[6];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(socket.Receive(reply, sizeof reply), 0);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    EXPECT_GE(ms, 5 * palvex::kSocketWaitMs - 5);
    EXPECT_GT(turns, 5);
    EXPECT_EQ(socket.LastLinkError().kind, palvex::LinkErrorKind::TimedOut);
}

} // namespace
