// The harness itself: a Windows program runs under Wine, can make windows and
// can talk TCP to itself on loopback.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

TEST(Harness, WindowsAndLoopbackWork) {
    HWND w = CreateWindowExA(0, "STATIC", "probe", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(w, nullptr);
    DestroyWindow(w);

    WSADATA wsa;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
    SOCKET l = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(l, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(l, 1), 0);
    int len = sizeof a;
    getsockname(l, reinterpret_cast<sockaddr*>(&a), &len);
    SOCKET c = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    SOCKET s = accept(l, nullptr, nullptr);
    ASSERT_NE(s, INVALID_SOCKET);
    ASSERT_EQ(send(c, "x", 1, 0), 1);
    char b = 0;
    ASSERT_EQ(recv(s, &b, 1, 0), 1);
    EXPECT_EQ(b, 'x');
    closesocket(s);
    closesocket(c);
    closesocket(l);
    WSACleanup();
}
