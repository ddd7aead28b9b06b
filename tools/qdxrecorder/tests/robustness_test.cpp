// Misbehaving clients end their own session and never the server; many
// clients at once are served, and nothing leaks once they are gone.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "recorder_harness.h"

using rectest::Bytes;
using rectest::Client;
using rectest::NowMs;
using rectest::Recorder;

namespace {

// Each step is one session, in order; after every step a good client must
// still be served, so the server survived it.
TEST(RecorderRobustness, MalformedClientsEndOnlyTheirSession) {
    Recorder rec;
    ASSERT_TRUE(rec.Start({"--read-timeout-ms", "400", "--levels", "11", "--level-ms", "20"}));
    int session = 0;
    auto expectEnd = [&](const char* want) {
        std::string reason;
        rec.WaitForEnd(++session, &reason);
        EXPECT_EQ(reason, want) << "session " << session;
    };
    auto expectServed = [&]() {
        Client good;
        ASSERT_TRUE(rectest::StartRecording(good, rec.Port(), "qdx", "qdx", 2, "ok"));
        EXPECT_EQ(good.Recv(2, 1000), (Bytes{0x11, 0x11}));
        good.Close();
        expectEnd("client-closed");
    };

    {   // garbage: the first byte is no login request; the server hangs up at once
        Client c;
        ASSERT_TRUE(c.Connect(rec.Port()));
        std::string http = "GET / HTTP/1.0\r\n\r\n";
        ASSERT_TRUE(c.Send(Bytes(http.begin(), http.end())));
        long long t0 = NowMs();
        EXPECT_TRUE(c.ClosedWithin(2000));
        EXPECT_LT(NowMs() - t0, 300);
        expectEnd("malformed-login");
    }
    expectServed();
    {   // short login, then the client closes
        Client c;
        ASSERT_TRUE(c.Connect(rec.Port()));
        ASSERT_TRUE(c.Send({0xE2, 0x00, 0x05}));
        rec.WaitForLog("session " + std::to_string(session + 1) + " start");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        c.Close();
        expectEnd("short-login");
        EXPECT_NE(rec.Log().find("partial login-request 3 of 4 bytes e2 00 05\n"), std::string::npos);
    }
    expectServed();
    {   // lengths promising more than arrives: the read time-out ends it
        Client c;
        ASSERT_TRUE(c.Connect(rec.Port()));
        ASSERT_TRUE(c.Send({0xE2, 0x00, 0x05, 0x05, 'a', 'l'}));
        long long t0 = NowMs();
        EXPECT_TRUE(c.ClosedWithin(3000));
        EXPECT_GE(NowMs() - t0, 350);
        expectEnd("read-timeout");
        EXPECT_NE(rec.Log().find("partial login-request 6 of 14 bytes e2 00 05 05 61 6c\n"),
                  std::string::npos);
    }
    expectServed();
    {   // record request promising more data than arrives
        Client c;
        ASSERT_TRUE(c.Connect(rec.Port()));
        ASSERT_TRUE(c.Send(rectest::LoginRequest("qdx", "qdx")));
        EXPECT_EQ(c.Recv(2, 1000), (Bytes{0xFF, 0x00}));
        ASSERT_TRUE(c.Send({0x03, 0x10, 'a', 'b'}));
        EXPECT_TRUE(c.ClosedWithin(3000));
        expectEnd("read-timeout");
        EXPECT_NE(rec.Log().find("partial record-request 4 of 18 bytes 03 10 61 62\n"),
                  std::string::npos);
    }
    expectServed();
    {   // a client that vanishes (reset) in the middle of its login
        Client c;
        ASSERT_TRUE(c.Connect(rec.Port()));
        ASSERT_TRUE(c.Send({0xE2, 0x00, 0x03, 0x00, 'q'}));
        rec.WaitForLog("session " + std::to_string(session + 1) + " start");
        c.Reset();
        expectEnd("short-login");
    }
    expectServed();
    {   // a client that vanishes while levels flow: sending must not kill the server
        Client c;
        ASSERT_TRUE(rectest::StartRecording(c, rec.Port(), "qdx", "qdx"));
        EXPECT_EQ(c.Recv(1, 1000).size(), 1u);
        c.Reset();
        expectEnd("client-closed");
    }
    expectServed();
    {   // a client that connects and goes without a word
        Client c;
        ASSERT_TRUE(c.Connect(rec.Port()));
        c.Close();
        expectEnd("client-closed");
    }
    expectServed();
    {   // extra bytes after the record request are ignored, levels go on
        Client c;
        ASSERT_TRUE(rectest::StartRecording(c, rec.Port(), "qdx", "qdx"));
        ASSERT_TRUE(c.Send({0xDE, 0xAD}));
        EXPECT_EQ(c.Recv(3, 1000).size(), 3u);
        c.Close();
        expectEnd("client-closed");
        EXPECT_NE(rec.Log().find("unexpected 2 bytes from client (ignored) de ad\n"), std::string::npos);
    }
}

TEST(RecorderRobustness, ServesManySessionsAtOnceWithoutLeaks) {
    Recorder rec;
    ASSERT_TRUE(rec.Start({"--level-ms", "20"}));
    rec.WaitForLog("listening on");
    const int baseFds = rec.OpenFds();
    const int kClients = 40;
    std::vector<Client> clients(kClients);
    for (int i = 0; i < kClients; ++i)
        ASSERT_TRUE(rectest::StartRecording(clients[i], rec.Port(), "qdx", "qdx",
                                            static_cast<uint8_t>(i % 32), "c" + std::to_string(i)));
    // All of them receive levels at the same time.
    for (int i = 0; i < kClients; ++i) EXPECT_EQ(clients[i].Recv(5, 2000).size(), 5u) << i;
    EXPECT_EQ(rec.Threads(), 1 + kClients);
    for (int i = 0; i < kClients; ++i) {
        if (i % 2) clients[i].Reset(); else clients[i].Close();
    }
    for (int i = 1; i <= kClients; ++i) {
        std::string reason;
        rec.WaitForEnd(i, &reason);
        EXPECT_EQ(reason, "client-closed") << i;
    }
    // Threads and sockets are gone once the sessions ended.
    long long end = NowMs() + 2000;
    while ((rec.Threads() != 1 || rec.OpenFds() != baseFds) && NowMs() < end) {}
    EXPECT_EQ(rec.Threads(), 1);
    EXPECT_EQ(rec.OpenFds(), baseFds);
}

TEST(RecorderRobustness, ClosesConnectionsBeyondTheConcurrencyLimit) {
    Recorder rec;
    ASSERT_TRUE(rec.Start({"--max-concurrent", "3", "--level-ms", "20"}));
    std::vector<Client> held(3);
    for (Client& c : held) ASSERT_TRUE(rectest::StartRecording(c, rec.Port(), "qdx", "qdx"));
    {
        Client extra;
        ASSERT_TRUE(extra.Connect(rec.Port()));
        EXPECT_TRUE(extra.ClosedWithin(2000));
        rec.WaitForLog("too-many-sessions");
    }
    held[0].Close();
    rec.WaitForEnd(1, nullptr);
    Client again;
    EXPECT_TRUE(rectest::StartRecording(again, rec.Port(), "qdx", "qdx"));
    EXPECT_EQ(again.Recv(1, 1000).size(), 1u);
}

}  // namespace
