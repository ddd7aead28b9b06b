// What the client relies on: the login answer, the record request being
// read whole, level bytes at the period, and each test behaviour.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "recorder_harness.h"
#include "session.h"

using rectest::Bytes;
using rectest::Client;
using rectest::NowMs;
using rectest::Recorder;

namespace {

int Signed(uint8_t b) { return static_cast<int8_t>(b); }

TEST(RecorderProtocol, AcceptsLoginLogsRequestsAndStreamsLevelsAtThePeriod) {
    Recorder rec;
    ASSERT_TRUE(rec.Start({"--user", "alice", "--password", "s3cret", "--level-ms", "50"}));
    Client c;
    ASSERT_TRUE(rectest::StartRecording(c, rec.Port(), "alice", "s3cret", 4, "F123"));

    // Collect a second of levels with their arrival times.
    std::vector<long long> times;
    Bytes levels;
    for (long long end = NowMs() + 1000; NowMs() < end;) {
        Bytes b = c.Recv(1, static_cast<int>(end - NowMs()));
        if (b.empty()) break;
        times.push_back(NowMs());
        levels.push_back(b[0]);
    }
    ASSERT_GE(levels.size(), 16u);
    EXPECT_LE(levels.size(), 22u);
    double meanGap = double(times.back() - times.front()) / double(times.size() - 1);
    EXPECT_NEAR(meanGap, 50.0, 8.0);
    for (uint8_t b : levels) {
        EXPECT_GE(Signed(b), -36);
        EXPECT_LE(Signed(b), 12);
    }
    c.Close();

    std::string reason;
    long long sent = rec.WaitForEnd(1, &reason);
    EXPECT_EQ(reason, "client-closed");
    EXPECT_GE(sent, static_cast<long long>(levels.size()));
    EXPECT_LE(sent, static_cast<long long>(levels.size()) + 2);
    std::string log = rec.Log();
    EXPECT_NE(log.find("qdxrecorder: listening on 127.0.0.1:" + std::to_string(rec.Port()) + "\n"),
              std::string::npos);
    EXPECT_NE(log.find("session 1 start peer 127.0.0.1:"), std::string::npos);
    EXPECT_NE(log.find("session 1 login user \"alice\" password-length 6 bytes "
                       "e2 00 05 06 61 6c 69 63 65 73 33 63 72 65 74\n"),
              std::string::npos);
    EXPECT_NE(log.find("session 1 reply ff 00 accepted\n"), std::string::npos);
    EXPECT_NE(log.find("session 1 record channel 4 data \"F123\" bytes 04 04 46 31 32 33\n"),
              std::string::npos);
    EXPECT_EQ(log.find("s3cret"), std::string::npos);
}

TEST(RecorderProtocol, LogEscapesTextsAndCanMaskThePassword) {
    Recorder rec;
    ASSERT_TRUE(rec.Start({"--user", "a\"b", "--password", "pw", "--mask-password"}));
    Client c;
    ASSERT_TRUE(rectest::StartRecording(c, rec.Port(), "a\"b", "pw", 31, std::string("x\\\x01", 3)));
    c.Close();
    std::string log = rec.WaitForLog("session 1 end ");
    EXPECT_NE(log.find("login user \"a\\\"b\" password-length 2 bytes e2 00 03 02 61 22 62 ** **\n"),
              std::string::npos) << log;
    EXPECT_NE(log.find("record channel 31 data \"x\\\\\\x01\" bytes 1f 03 78 5c 01\n"),
              std::string::npos) << log;
}

TEST(RecorderProtocol, RefusesOtherCredentialsAndAcceptsConfiguredOnes) {
    struct Case {
        std::vector<std::string> args;
        std::string user, password;
        Bytes reply;
    };
    const Case cases[] = {
        {{}, "qdx", "qdx", {0xFF, 0x00}},  // defaults
        {{}, "qdx", "qdy", {0x02, 0x00}},
        {{}, "qdy", "qdx", {0x02, 0x00}},
        {{}, "qdx", "", {0x02, 0x00}},
        {{"--user", "", "--password", ""}, "", "", {0xFF, 0x00}},  // E2 00 00 00
        {{"--user", "", "--password", ""}, "x", "", {0x02, 0x00}},
        {{"--password", std::string(255, 'p')}, "qdx", std::string(255, 'p'), {0xFF, 0x00}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.user + "/" + k.password);
        Recorder rec;
        ASSERT_TRUE(rec.Start(k.args));
        Client c;
        ASSERT_TRUE(c.Connect(rec.Port()));
        ASSERT_TRUE(c.Send(rectest::LoginRequest(k.user, k.password)));
        EXPECT_EQ(c.Recv(2, 2000), k.reply);
        std::string reason;
        if (k.reply[0] == 0x02) {
            // The server hangs up after a refusal, once the client has the reply.
            EXPECT_TRUE(c.ClosedWithin(2000));
            c.Close();
            EXPECT_EQ(rec.WaitForEnd(1, &reason), 0);
            EXPECT_EQ(reason, "refused");
            EXPECT_NE(rec.Log().find("session 1 reply 02 00 refused\n"), std::string::npos);
        } else {
            c.Close();
            rec.WaitForEnd(1, &reason);
            EXPECT_EQ(reason, "short-record");
        }
    }
}

TEST(RecorderProtocol, ForcedReplyCodesAndSecondByte) {
    struct Case {
        std::vector<std::string> args;
        std::string password;
        Bytes reply;
    };
    const Case cases[] = {
        {{"--reply-code", "1"}, "qdx", {0x01, 0x00}},
        {{"--reply-code", "2"}, "qdx", {0x02, 0x00}},
        {{"--reply-code", "0"}, "qdx", {0x00, 0x00}},
        {{"--reply-code", "7", "--reply-second-byte", "9"}, "qdx", {0x07, 0x09}},
        {{"--reply-second-byte", "255"}, "qdx", {0xFF, 0xFF}},
        {{"--reply-code", "255", "--levels", "05"}, "wrong", {0xFF, 0x00}},
        // Any bytes in place of the reply; the first decides what follows.
        {{"--reply-bytes", "ff,00,13,37", "--levels", "05"}, "wrong", {0xFF, 0x00, 0x13, 0x37}},
        {{"--reply-bytes", "05"}, "qdx", {0x05}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.args[0] + " " + k.args[1]);
        Recorder rec;
        ASSERT_TRUE(rec.Start(k.args));
        Client c;
        ASSERT_TRUE(c.Connect(rec.Port()));
        ASSERT_TRUE(c.Send(rectest::LoginRequest("qdx", k.password)));
        EXPECT_EQ(c.Recv(k.reply.size() + 1, 1000), k.reply);
        if (k.reply[0] == 0xFF) {
            // Accepted, even by force: the record request is read and levels follow.
            ASSERT_TRUE(c.Send(rectest::RecordRequest(0, "")));
            Bytes lv = c.Recv(1, 2000);
            ASSERT_EQ(lv.size(), 1u);
            if (k.args.size() > 2 && k.args[2] == "--levels") EXPECT_EQ(lv[0], 0x05);
        } else {
            EXPECT_TRUE(c.ClosedWithin(2000));
        }
    }
}

TEST(RecorderProtocol, LateAndBytewiseReplies) {
    {
        Recorder rec;
        ASSERT_TRUE(rec.Start({"--reply-delay-ms", "600"}));
        Client c;
        ASSERT_TRUE(c.Connect(rec.Port()));
        long long t0 = NowMs();
        ASSERT_TRUE(c.Send(rectest::LoginRequest("qdx", "qdx")));
        EXPECT_EQ(c.Recv(2, 3000), (Bytes{0xFF, 0x00}));
        EXPECT_GE(NowMs() - t0, 550);
    }
    {
        Recorder rec;
        ASSERT_TRUE(rec.Start({"--reply-bytewise-ms", "400"}));
        Client c;
        ASSERT_TRUE(c.Connect(rec.Port()));
        ASSERT_TRUE(c.Send(rectest::LoginRequest("qdx", "qdx")));
        EXPECT_EQ(c.Recv(2, 250), Bytes{0xFF});  // only the first byte so far
        long long t0 = NowMs();
        EXPECT_EQ(c.Recv(1, 3000), Bytes{0x00});
        EXPECT_GE(NowMs() - t0, 100);
        ASSERT_TRUE(c.Send(rectest::RecordRequest(1, "A")));
        EXPECT_EQ(c.Recv(1, 2000).size(), 1u);
    }
}

TEST(RecorderProtocol, NoReplyKeepsTheConnectionOpenUntilTheClientCloses) {
    Recorder rec;
    // The read time-out limits requests only; a server told not to answer waits.
    ASSERT_TRUE(rec.Start({"--no-reply", "--read-timeout-ms", "200"}));
    Client c;
    ASSERT_TRUE(c.Connect(rec.Port()));
    ASSERT_TRUE(c.Send(rectest::LoginRequest("qdx", "qdx")));
    EXPECT_FALSE(c.ClosedWithin(800));
    c.Close();
    std::string reason;
    EXPECT_EQ(rec.WaitForEnd(1, &reason), 0);
    EXPECT_EQ(reason, "client-closed");
    EXPECT_EQ(rec.Log().find("session 1 reply"), std::string::npos);
}

TEST(RecorderProtocol, CloseAfterAndSilenceAfterCountLevelBytes) {
    {
        Recorder rec;
        ASSERT_TRUE(rec.Start({"--levels", "81,7f,00", "--close-after", "7", "--level-ms", "10"}));
        Client c;
        ASSERT_TRUE(rectest::StartRecording(c, rec.Port(), "qdx", "qdx"));
        EXPECT_EQ(c.Recv(100, 2000), (Bytes{0x81, 0x7F, 0x00, 0x81, 0x7F, 0x00, 0x81}));
        EXPECT_TRUE(c.ClosedWithin(500));
        std::string reason;
        EXPECT_EQ(rec.WaitForEnd(1, &reason), 7);
        EXPECT_EQ(reason, "close-after");
    }
    {
        Recorder rec;
        ASSERT_TRUE(rec.Start({"--silence-after", "3", "--level-ms", "10"}));
        Client c;
        ASSERT_TRUE(rectest::StartRecording(c, rec.Port(), "qdx", "qdx"));
        EXPECT_EQ(c.Recv(100, 600).size(), 3u);
        EXPECT_FALSE(c.ClosedWithin(100));  // silent but still connected
        c.Close();
        std::string reason;
        EXPECT_EQ(rec.WaitForEnd(1, &reason), 3);
        EXPECT_EQ(reason, "client-closed");
        EXPECT_NE(rec.Log().find("session 1 silent after 3 levels\n"), std::string::npos);
    }
    {
        Recorder rec;  // a muted stretch from 200 to 500 ms: only the lowest level, then the levels again
        ASSERT_TRUE(rec.Start({"--levels", "04", "--level-ms", "20", "--mute-after-ms", "200", "--mute-for-ms", "300"}));
        Client c;
        ASSERT_TRUE(rectest::StartRecording(c, rec.Port(), "qdx", "qdx"));
        const Bytes b = c.Recv(40, 3000);
        ASSERT_EQ(b.size(), 40u);
        std::vector<std::pair<uint8_t, int>> runs;  // each run of equal bytes and its length
        for (uint8_t x : b) {
            if (runs.empty() || runs.back().first != x) runs.push_back({x, 0});
            ++runs.back().second;
        }
        ASSERT_EQ(runs.size(), 3u);
        EXPECT_EQ(runs[0].first, 0x04);
        EXPECT_EQ(runs[1].first, 0x81);
        EXPECT_EQ(runs[2].first, 0x04);
        EXPECT_NEAR(runs[1].second, 15, 3);  // 300 ms of 20 ms levels
        c.Close();
        EXPECT_GE(rec.WaitForEnd(1, nullptr), 40);
        const std::string log = rec.Log();
        EXPECT_NE(log.find("session 1 muted at ms "), std::string::npos);
        EXPECT_NE(log.find("session 1 sound again at ms "), std::string::npos);
        EXPECT_NE(log.find("session 1 recorded ms "), std::string::npos);
    }
    {
        Recorder rec;  // close at once, before any level
        ASSERT_TRUE(rec.Start({"--close-after", "0"}));
        Client c;
        ASSERT_TRUE(rectest::StartRecording(c, rec.Port(), "qdx", "qdx"));
        EXPECT_TRUE(c.ClosedWithin(1000));
    }
}

// The hostile endings: resets instead of closes, a server that reads nothing,
// one that never accepts. Each row's client script returns what it saw.
TEST(RecorderProtocol, ResetsUnreadRequestsAndUnacceptedConnections) {
    struct Case {
        std::vector<std::string> args;
        bool (*script)(Client& c, int port);
        const char* reason;  // the session's end reason; null: no session at all
        long long levels;    // level bytes sent; -1: any
    };
    // A reset may take bytes with it that the client had not read yet: the
    // count sent is the server's.
    const auto resetAfterRecordRequest = [](Client& c, int port) {
        return rectest::StartRecording(c, port, "qdx", "qdx") && c.ResetWithin(1000);
    };
    const Case cases[] = {
        {{"--reset-after", "3", "--level-ms", "10"}, resetAfterRecordRequest, "reset", 3},
        {{"--reset-after", "20000", "--flood"}, resetAfterRecordRequest, "reset", 20000},
        {{"--reset-after-reply"}, resetAfterRecordRequest, "reset", 0},
        {{"--no-read", "--levels", "11"},  // answers before any login
         [](Client& c, int port) {
             return c.Connect(port) && c.Recv(2, 1000) == Bytes{0xFF, 0x00} && c.Recv(1, 1000) == Bytes{0x11};
         },
         "client-closed", -1},
        {{"--no-read", "--silence-after", "0", "--read-timeout-ms", "300"},
         [](Client& c, int port) {
             long long t0 = NowMs();
             return rectest::StartRecording(c, port, "qdx", "qdx") && c.ClosedWithin(2000) && NowMs() - t0 >= 250;
         },
         "read-timeout", 0},
        {{"--no-accept"},  // the connect completes in the backlog, nobody answers
         [](Client& c, int port) {
             return c.Connect(port) && c.Send(rectest::LoginRequest("qdx", "qdx")) && c.Recv(1, 500).empty();
         },
         nullptr, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.args[0]);
        Recorder rec;
        ASSERT_TRUE(rec.Start(k.args));
        {
            Client c;
            EXPECT_TRUE(k.script(c, rec.Port()));
        }
        if (!k.reason) {
            EXPECT_EQ(rec.Log().find("session 1"), std::string::npos);
            continue;
        }
        std::string reason;
        long long levels = rec.WaitForEnd(1, &reason);
        EXPECT_EQ(reason, k.reason);
        if (k.levels >= 0) EXPECT_EQ(levels, k.levels);
    }
    {   // the no-read server never logged the login it did not read
        Recorder rec;
        ASSERT_TRUE(rec.Start({"--no-read", "--timestamps"}));
        Client c;
        ASSERT_TRUE(rectest::StartRecording(c, rec.Port(), "qdx", "qdx"));
        c.Close();
        std::string log = rec.WaitForLog("session 1 reply ff 00 accepted");
        EXPECT_EQ(log.find(" login "), std::string::npos) << log;
        // --timestamps: every line starts with the wall-clock microseconds.
        long long now = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::system_clock::now().time_since_epoch()).count();
        long long stamp = std::atoll(log.c_str());
        EXPECT_LT(now - stamp, 10000000LL) << log;
        EXPECT_EQ(log.substr(log.find(' ') + 1, 12), "qdxrecorder:") << log;
    }
}

TEST(RecorderProtocol, FloodSendsAsFastAsTheSocketTakesThem) {
    {
        Recorder rec;
        ASSERT_TRUE(rec.Start({"--flood"}));
        Client c;
        ASSERT_TRUE(rectest::StartRecording(c, rec.Port(), "qdx", "qdx"));
        long long t0 = NowMs();
        Bytes b = c.Recv(500000, 5000);
        ASSERT_EQ(b.size(), 500000u);
        EXPECT_LT(NowMs() - t0, 3000);
        EXPECT_TRUE(std::all_of(b.begin(), b.end(), [](uint8_t v) {
            return Signed(v) >= -36 && Signed(v) <= 12;
        }));
        c.Close();
        std::string reason;
        EXPECT_GE(rec.WaitForEnd(1, &reason), 500000);
        EXPECT_EQ(reason, "client-closed");
    }
    {
        Recorder rec;
        ASSERT_TRUE(rec.Start({"--flood", "--levels", "01,02", "--close-after", "10001"}));
        Client c;
        ASSERT_TRUE(rectest::StartRecording(c, rec.Port(), "qdx", "qdx"));
        Bytes b = c.Recv(20000, 3000);
        ASSERT_EQ(b.size(), 10001u);
        for (size_t i = 0; i < b.size(); ++i) ASSERT_EQ(b[i], i % 2 ? 0x02 : 0x01) << i;
        EXPECT_TRUE(c.ClosedWithin(1000));
        std::string reason;
        EXPECT_EQ(rec.WaitForEnd(1, &reason), 10001);
        EXPECT_EQ(reason, "close-after");
    }
}

TEST(RecorderCommandLine, HelpListsTheOptionsAndBadOptionsFail) {
    std::string out;
    ASSERT_EQ(rectest::RunToEnd({"--help"}, &out), 0);
    for (const char* opt : {"--listen", "--user", "--password", "--level-ms", "--reply-code",
                            "--reply-second-byte", "--reply-delay-ms", "--reply-bytewise-ms",
                            "--no-reply", "--levels", "--silence-after", "--close-after", "--flood",
                            "--max-sessions", "--port-file", "--log-file", "--reply-bytes",
                            "--reset-after", "--reset-after-reply", "--no-read", "--no-accept",
                            "--timestamps"})
        EXPECT_NE(out.find(opt), std::string::npos) << opt;
    const std::vector<std::vector<std::string>> bad = {
        {"--level-ms", "abc"}, {"--level-ms", "0"},      {"--reply-code", "256"},
        {"--listen", "nowhere"}, {"--listen", "1.2.3:5"}, {"--levels", "1g"},
        {"--levels", "81,,7f"},  {"--bogus"},             {"--user"},
        {"--reply-bytes", "1,zz"}, {"--reset-after", "-1"}, {"--no-read=1"},
    };
    for (const auto& args : bad) {
        EXPECT_EQ(rectest::RunToEnd(args, &out), 2) << args[0];
        EXPECT_NE(out.find("qdxrecorder:"), std::string::npos) << args[0];
    }
}

TEST(RecorderCommandLine, ExitsAfterMaxSessions) {
    Recorder rec;
    ASSERT_TRUE(rec.Start({"--max-sessions", "2"}));
    for (int i = 0; i < 2; ++i) {
        Client c;
        ASSERT_TRUE(c.Connect(rec.Port()));
        ASSERT_TRUE(c.Send(rectest::LoginRequest("qdx", "bad")));
        EXPECT_EQ(c.Recv(2, 2000), (Bytes{0x02, 0x00}));
    }
    EXPECT_EQ(rec.WaitExit(3000), 0);
    EXPECT_NE(rec.Log().find("session 2 end levels 0 reason refused\n"), std::string::npos);
}

TEST(SpeechEnvelope, StaysInRangeAndHasSyllablesAndPauses) {
    for (int step : {10, 100, 1000}) {
        SCOPED_TRACE(step);
        qdxrec::SpeechEnvelope env(7);
        std::vector<int> v;
        for (int t = 0; t < 120000; t += step) v.push_back(env.Next(step));
        EXPECT_GE(*std::min_element(v.begin(), v.end()), -36);
        EXPECT_LE(*std::max_element(v.begin(), v.end()), 12);
        EXPECT_GE(*std::max_element(v.begin(), v.end()), 0);  // loud syllables
        size_t loud = std::count_if(v.begin(), v.end(), [](int x) { return x > -20; });
        EXPECT_GT(loud, v.size() / 5);
        EXPECT_LT(loud, v.size() * 4 / 5);
        if (step <= 100) {
            // Pauses: at least 300 ms near the noise floor, more than once.
            int runs = 0, run = 0;
            for (int x : v) {
                run = x <= -30 ? run + 1 : 0;
                if (run == 300 / step) ++runs;
            }
            EXPECT_GE(runs, 10);
        }
    }
    qdxrec::SpeechEnvelope a(3), b(3), c(4);
    std::vector<int> va, vb, vc;
    for (int i = 0; i < 200; ++i) {
        va.push_back(a.Next(100));
        vb.push_back(b.Next(100));
        vc.push_back(c.Next(100));
    }
    EXPECT_EQ(va, vb);
    EXPECT_NE(va, vc);
}

}  // namespace
