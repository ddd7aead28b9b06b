// Stream socket operations against real loopback peers made in the test.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "loopback.h"
#include "net/ipsocket.h"

using namespace loopback;

namespace {

// Connects a client with ProcessConnect and accepts it on the listener.
struct Pair {
    WinsockUser winsock;
    Listener listener;
    LSignalObject stop;
    qdx::UniqueSocket connection;
    SOCKET client = INVALID_SOCKET;  // the connection's socket
    Socket server;
    Pair() {
        EXPECT_EQ(ProcessConnect(stop, connection, "127.0.0.1", listener.port, 2000, true), kLinkDone);
        client = connection.Get();
        server.s = listener.Accept();
    }
};

}  // namespace

TEST(ProcessConnectWithPort, RefusedServerTextMakesNoSocket) {
    // A refused text makes no socket, and a socket the owner held is closed.
    LIPSocket link;
    LSignalObject stop;
    qdx::UniqueSocket s(::socket(AF_INET, SOCK_STREAM, 0));
    ASSERT_TRUE(s);
    EXPECT_EQ(ProcessConnectWithPort(stop, s, "127.0.0.1:65800", 264, 2000, true), kLinkFailed);
    EXPECT_FALSE(s);
}

TEST(ProcessConnect, FailuresThatNeedNoWait) {
    LIPSocket link;
    LSignalObject stop;
    struct Case {
        const char* host;
        unsigned short port;
    } cases[] = {
        {"no-such-host.invalid", 264},  // not resolvable
        {"", 264},                      // nothing configured: no lookup of this machine
        {"127.0.0.1", FreePort()},      // refused, reported through the exception set
    };
    for (const Case& c : cases) {
        DWORD start = GetTickCount();
        link.hSocket.Reset();
        EXPECT_EQ(ProcessConnect(stop, link.hSocket, c.host, c.port, 10000, true), kLinkFailed) << c.host;
        EXPECT_LT(Since(start), 1500u) << c.host;
        EXPECT_FALSE(link.hSocket) << c.host;
    }
}

TEST(ProcessConnect, ConnectsAndReplacesAnOldSocket) {
    WinsockUser winsock;
    Listener listener;
    LIPSocket link;
    LSignalObject stop;
    ASSERT_EQ(ProcessConnectWithPort(stop, link.hSocket, ("127.0.0.1:" + std::to_string(listener.port)).c_str(),
                                     264, 2000, true),
              kLinkDone);
    SOCKET first = link.hSocket.Get();
    ASSERT_NE(first, INVALID_SOCKET);
    Socket a(listener.Accept());
    ASSERT_EQ(ProcessConnect(stop, link.hSocket, "127.0.0.1", listener.port, 2000, false), kLinkDone);
    Socket b(listener.Accept());
    // The first connection was closed by the second connect: its peer reads the end.
    char c;
    u_long blocking = 0;
    ioctlsocket(a.s, FIONBIO, &blocking);
    EXPECT_EQ(recv(a.s, &c, 1, 0), 0);
}


TEST(ProcessConnect, UnansweredConnectRunsOutOfBudget) {
    DeafListener deaf;
    ASSERT_TRUE(deaf.Fill());
    LIPSocket link;
    LSignalObject stop;
    DWORD start = GetTickCount();
    EXPECT_EQ(ProcessConnect(stop, link.hSocket, "127.0.0.1", deaf.listener.port, 1000, true), kLinkFailed);
    DWORD took = Since(start);
    EXPECT_GE(took, 900u);   // five quiet slices
    EXPECT_LT(took, 1600u);
    EXPECT_FALSE(link.hSocket);
}

TEST(ProcessConnect, StopDuringTheWaitAborts) {
    DeafListener deaf;
    ASSERT_TRUE(deaf.Fill());
    LIPSocket link;
    LSignalObject stop;
    DWORD setAt = 0;
    std::thread stopper([&] {
        Sleep(500);
        setAt = GetTickCount();
        stop.Set();
    });
    int code = ProcessConnect(stop, link.hSocket, "127.0.0.1", deaf.listener.port, 10000, true);
    DWORD after = Since(setAt);
    stopper.join();
    EXPECT_EQ(code, kLinkAborted);
    EXPECT_LT(after, 50u);  // at once, not at the end of some wait
    EXPECT_FALSE(link.hSocket);
}

TEST(ProcessSend, StopAlreadySetSendsNothing) {
    Pair p;
    p.stop.Set();
    EXPECT_EQ(ProcessSend(p.stop, p.client, "abc", 3, 2000), kLinkAborted);
    EXPECT_EQ(ProcessSend(p.stop, p.client, "", 0, 2000), kLinkAborted);
    fd_set r;
    FD_ZERO(&r);
    FD_SET(p.server.s, &r);
    timeval t = {0, 300000};
    EXPECT_EQ(select(0, &r, nullptr, nullptr, &t), 0);  // nothing arrived
    p.stop.Reset();
    EXPECT_EQ(ProcessSend(p.stop, p.client, "", 0, 2000), kLinkDone);
}

TEST(ProcessSend, LargeSendArrivesWhole) {
    Pair p;
    std::vector<char> data(2500);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + 3);
    ASSERT_EQ(ProcessSend(p.stop, p.client, data.data(), static_cast<int>(data.size()), 2000), kLinkDone);
    std::vector<char> got(data.size());
    LSignalObject quiet;
    ASSERT_EQ(ProcessRecvBytes(quiet, p.server.s, got.data(), static_cast<unsigned>(got.size()), 2000), kLinkDone);
    EXPECT_EQ(got, data);
}

TEST(ProcessRecv, PeerCloseAndBadSocketFail) {
    Pair p;
    ASSERT_EQ(send(p.server.s, "xy", 2, 0), 2);
    char buffer[8];
    int received = -1;
    ASSERT_EQ(ProcessRecvReady(p.stop, p.client, buffer, 1, received, 2000), kLinkDone);
    EXPECT_EQ(received, 1);  // no more than asked for
    EXPECT_EQ(ProcessRecvBytes(p.stop, p.client, buffer, 0, 2000), kLinkDone);
    ASSERT_EQ(ProcessRecvReady(p.stop, p.client, buffer, sizeof buffer, received, 2000), kLinkDone);
    EXPECT_EQ(received, 1);
    EXPECT_EQ(buffer[0], 'y');
    p.server.Close();
    DWORD start = GetTickCount();
    EXPECT_EQ(ProcessRecvReady(p.stop, p.client, buffer, sizeof buffer, received, 5000), kLinkFailed);
    EXPECT_EQ(received, 0);
    EXPECT_LT(Since(start), 1000u);

    SOCKET none = INVALID_SOCKET;
    EXPECT_EQ(ProcessRecvReady(p.stop, none, buffer, sizeof buffer, received, 2000), kLinkFailed);
}

TEST(ProcessRecv, QuietWaitsAreChargedAndStopped) {
    Pair p;
    char buffer[2];
    DWORD start = GetTickCount();
    EXPECT_EQ(ProcessRecvBytes(p.stop, p.client, buffer, 2, 600), kLinkFailed);
    DWORD took = Since(start);
    EXPECT_GE(took, 550u);
    EXPECT_LT(took, 1000u);

    DWORD setAt = 0;
    std::thread stopper([&] {
        Sleep(300);
        setAt = GetTickCount();
        p.stop.Set();
    });
    EXPECT_EQ(ProcessRecvBytes(p.stop, p.client, buffer, 2, 5000), kLinkAborted);
    DWORD after = Since(setAt);
    stopper.join();
    EXPECT_LT(after, 50u);
}

// The budget limits each quiet period, not the whole transfer: two bytes 3 s
// apart fit a 5000 ms budget, 6 s apart do not. Both run at once.
TEST(ProcessRecv, BudgetAppliesPerQuietPeriod) {
    Pair quick, slow;
    int quickCode = -1, slowCode = -1;
    char quickBytes[2] = {}, slowBytes[2] = {};
    std::thread a([&] { quickCode = ProcessRecvBytes(quick.stop, quick.client, quickBytes, 2, 5000); });
    std::thread b([&] { slowCode = ProcessRecvBytes(slow.stop, slow.client, slowBytes, 2, 5000); });
    send(quick.server.s, "1", 1, 0);
    send(slow.server.s, "1", 1, 0);
    Sleep(3000);
    send(quick.server.s, "2", 1, 0);
    a.join();
    Sleep(3000);
    send(slow.server.s, "2", 1, 0);
    b.join();
    EXPECT_EQ(quickCode, kLinkDone);
    EXPECT_EQ(std::string(quickBytes, 2), "12");
    EXPECT_EQ(slowCode, kLinkFailed);
}

TEST(LIPSocket, StartupsArePaired) {
    {
        LIPSocket outer;
        {
            LIPSocket inner;
            inner.hSocket.Reset(socket(AF_INET, SOCK_STREAM, 0));
            EXPECT_TRUE(inner.hSocket);
        }
        // The inner object's clean-up left the outer start-up in place.
        SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
        EXPECT_NE(s, INVALID_SOCKET);
        closesocket(s);
    }
    // All start-ups are undone: Windows Sockets is shut down again.
    EXPECT_EQ(socket(AF_INET, SOCK_STREAM, 0), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}
