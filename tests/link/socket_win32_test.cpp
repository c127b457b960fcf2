// The network link's socket on Windows, under Wine, against listeners of the
// test's own.
#include "control/link/link_socket.h"

#include <gtest/gtest.h>

#include <winsock2.h>

namespace {

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

} // namespace
