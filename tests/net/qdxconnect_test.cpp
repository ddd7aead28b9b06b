// The connection worker end to end: a real worker thread, the substitute
// recorder on loopback, and a message-only window that takes the messages.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "link_window.h"
#include "loopback.h"
#include "net/qdxconnect.h"
#include "recorder_process.h"
#include "settings/settings.h"

using Texts = std::vector<std::string>;
using loopback::Since;

namespace {

void SetServer(const std::string& server) { WriteSetting(kSectionSettings, kSettingServer, server.c_str()); }

void DeleteSetting(const char* name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Tallowind\\QDXRemote\\Settings", 0, KEY_SET_VALUE, &key) ==
        ERROR_SUCCESS) {
        RegDeleteValueA(key, name);
        RegCloseKey(key);
    }
}

void SetCredentials(const std::string& user, const std::string& password, int channel = 0) {
    WriteSetting(kSectionSettings, kSettingUserName, user.c_str());
    WriteSetting(kSectionSettings, kSettingPassword, password.c_str());
    WriteSettingInt(kSectionSettings, kSettingRecordChannel, channel);
}

// One worker reporting to its own window.
struct Link {
    LinkWindow window;
    QDXConnect worker;
    std::string server;
    // Starts a run against server; returns once the run has read the setting
    // (its first text arrived), so the next link may set another server.
    void Start(const std::string& serverText, const char* data = "") {
        server = serverText;
        SetServer(server);
        worker.RecordStart(window.Handle(), data);
        EXPECT_TRUE(window.PumpUntilText("Connecting to", 3000));
    }
};

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty()) out += ' ';
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string Bytes(const char* bytes, std::size_t n) { return std::string(bytes, n); }

// Every run begins with WM_LINK_STARTED and ends with WM_LINK_ENDED, each once.
void ExpectOneWholeRun(const LinkWindow& w) {
    const std::vector<LinkEvent>& e = w.Events();
    ASSERT_FALSE(e.empty());
    EXPECT_EQ(e.front().msg, WM_LINK_STARTED);
    EXPECT_EQ(e.back().msg, WM_LINK_ENDED);
    EXPECT_EQ(w.Count(WM_LINK_STARTED), 1);
    EXPECT_EQ(w.Count(WM_LINK_ENDED), 1);
}

class Worker : public ::testing::Test {
protected:
    void SetUp() override { SetCredentials("qdx", "qdx", 0); }
};

}  // namespace

// Texts are heap copies posted with the message: a window that is busy for a
// while still gets every text, whole, in order, and the worker never waited.
TEST_F(Worker, UnreachableServerWithBusyWindow) {
    Link link;
    std::string server = "127.0.0.1:" + std::to_string(loopback::FreePort());
    SetServer(server);
    link.worker.RecordStart(link.window.Handle(), "");
    Sleep(1500);  // the window does not pump; the run ends meanwhile
    EXPECT_FALSE(link.worker.Running());
    ASSERT_TRUE(link.window.PumpUntilEnded(1, 5000));
    EXPECT_EQ(link.window.Texts(), (Texts{"Connecting to " + server, "!Unable to connect to " + server + "!"}));
    EXPECT_EQ(link.window.Outline(), "STTE");
    for (const LinkEvent& e : link.window.Events()) EXPECT_TRUE(e.msg != WM_LINK_STATUS || e.hadText);

    // No server stored: an empty host, no lookup, and nothing in place of %s.
    LinkWindow second;
    DeleteSetting(kSettingServer);
    DWORD start = GetTickCount();
    link.worker.RecordStart(second.Handle(), "");
    ASSERT_TRUE(second.PumpUntilEnded(1, 5000));
    EXPECT_LT(Since(start), 1500u);
    EXPECT_EQ(second.Texts(), (Texts{"Connecting to ", "!Unable to connect to !"}));
    ExpectOneWholeRun(second);
}

// A port that would wrap around (or is followed by more text) reaches no
// port at all: the alert, and the recorder sees no connection.
TEST_F(Worker, PortOutOfRangeConnectsNowhere) {
    RecorderProcess recorder;
    ASSERT_TRUE(recorder.Started()) << recorder.Error();
    for (const std::string& port : {std::to_string(recorder.Port() + 65536), std::to_string(recorder.Port()) + "x"}) {
        Link link;
        link.Start("127.0.0.1:" + port);
        ASSERT_TRUE(link.window.PumpUntilEnded(1, 5000));
        EXPECT_EQ(link.window.Texts(),
                  (Texts{"Connecting to " + link.server, "!Unable to connect to " + link.server + "!"}));
    }
    Sleep(300);
    for (const std::string& line : recorder.Lines()) EXPECT_EQ(line.find("session"), std::string::npos) << line;
}

TEST_F(Worker, StopWhileConnecting) {
    loopback::DeafListener deaf;
    ASSERT_TRUE(deaf.Fill());
    Link link;
    link.Start("127.0.0.1:" + std::to_string(deaf.listener.port));
    link.window.PumpFor(400);
    DWORD stopAt = GetTickCount();
    link.worker.RecordStop();
    ASSERT_TRUE(link.window.PumpUntilEnded(1, 5000));
    EXPECT_LT(Since(stopAt), 100u);
    EXPECT_EQ(link.window.Texts(), (Texts{"Connecting to " + link.server, "Connection aborted."}));
    ExpectOneWholeRun(link.window);
}

TEST_F(Worker, StopRightAfterStartIsAPlainAbortBeforeTheRecordRequest) {
    RecorderProcess recorder;
    ASSERT_TRUE(recorder.Started()) << recorder.Error();
    Link link;
    SetServer(recorder.Address());
    link.worker.RecordStart(link.window.Handle(), "");
    link.worker.RecordStop();
    ASSERT_TRUE(link.window.PumpUntilEnded(1, 5000));
    ExpectOneWholeRun(link.window);
    Texts texts = link.window.Texts();
    // Stopped in the connect, or just after it: either way a plain abort, no alert.
    Texts aborted = {"Connecting to " + recorder.Address(), "Connection aborted."};
    Texts abortedAfterConnect = aborted;
    abortedAfterConnect.push_back("Disconnecting from " + recorder.Address());
    EXPECT_TRUE(texts == aborted || texts == abortedAfterConnect) << ::testing::PrintToString(texts);
    Sleep(300);
    // A stop seen in the connect sends nothing. One seen only after the connect
    // may have come after the login went out (the test cannot set it before the
    // worker gets that far: its thread runs on while this one wakes), but it
    // always ends the run before the record request.
    for (const std::string& line : recorder.Lines()) {
        if (texts == aborted) {
            EXPECT_EQ(line.find(" login "), std::string::npos) << line;
        }
        EXPECT_EQ(line.find(" record "), std::string::npos) << line;
    }
}

TEST_F(Worker, LoginRefusals) {
    struct Case {
        std::vector<std::string> options;
        std::string alert;
    } cases[] = {
        {{"--reply-code", "1"}, "!Server does not support this QDX Remote control version!"},
        {{"--reply-code", "2"}, "!Username or Password not accepted!"},
        {{"--reply-code", "7"}, "!Server gave invalid reply!"},
        {{"--reply-code", "0", "--reply-second-byte", "255"}, "!Server gave invalid reply!"},
    };
    // One after the other: each run ends within a second, and a single worker
    // at a time is what the program itself ever has.
    for (const Case& c : cases) {
        RecorderProcess recorder(c.options);
        ASSERT_TRUE(recorder.Started()) << recorder.Error();
        Link l;
        l.Start(recorder.Address());
        ASSERT_TRUE(l.window.PumpUntilEnded(1, 15000)) << c.alert;
        EXPECT_EQ(l.window.Texts(), (Texts{"Connecting to " + l.server, c.alert, "Disconnecting from " + l.server}))
            << ::testing::PrintToString(recorder.Lines());
        ExpectOneWholeRun(l.window);
    }
}

// The waits that run out of budget, side by side: no login reply (10 s), and
// a server that goes quiet after two level bytes (5 s), or closes after three.
TEST_F(Worker, SilentAndClosingServers) {
    RecorderProcess noReply({"--no-reply"});
    RecorderProcess silent({"--silence-after", "2", "--level-ms", "50"});
    RecorderProcess closing({"--close-after", "3", "--level-ms", "50"});
    ASSERT_TRUE(noReply.Started() && silent.Started() && closing.Started());
    Link a, b, c;
    DWORD start = GetTickCount();
    a.Start(noReply.Address());
    b.Start(silent.Address());
    c.Start(closing.Address());
    ASSERT_TRUE(c.window.PumpUntilEnded(1, 4000));
    ASSERT_TRUE(b.window.PumpUntilEnded(1, 9000));
    ASSERT_TRUE(a.window.PumpUntilEnded(1, 13000));
    EXPECT_GE(Since(start), 9500u);

    EXPECT_EQ(a.window.Texts(), (Texts{"Connecting to " + a.server, "!Server " + a.server + " failed to respond!",
                                       "Disconnecting from " + a.server}));
    Texts broken = {"Connecting to " + b.server, "Connected to " + b.server, "!Connection to server broken",
                    "Disconnecting from " + b.server};
    EXPECT_EQ(b.window.Texts(), broken);
    EXPECT_EQ(b.window.Levels().size(), 2u);
    broken = {"Connecting to " + c.server, "Connected to " + c.server, "!Connection to server broken",
              "Disconnecting from " + c.server};
    EXPECT_EQ(c.window.Texts(), broken);
    EXPECT_EQ(c.window.Levels().size(), 3u);
    for (Link* l : {&a, &b, &c}) ExpectOneWholeRun(l->window);
}

// A user's stop ends the run cleanly and at once, also in a slow server's
// quiet time or while the login reply is awaited: that is no broken
// connection, so no alert.
TEST_F(Worker, StopWhileRecording) {
    RecorderProcess fast({"--levels", "81,7f,00", "--level-ms", "50"});
    RecorderProcess slow({"--level-ms", "3000"});
    RecorderProcess mute({"--no-reply"});
    ASSERT_TRUE(fast.Started() && slow.Started() && mute.Started());
    Link a, b, c;
    a.Start(fast.Address());
    b.Start(slow.Address());
    c.Start(mute.Address());
    ASSERT_TRUE(a.window.PumpUntilLevels(4, 3000));
    ASSERT_TRUE(b.window.PumpUntilLevels(1, 5000));
    ASSERT_TRUE(mute.WaitForLine("no-reply", 3000));
    b.window.PumpFor(500);  // now inside the slow server's quiet time
    DWORD stopAt = GetTickCount();
    a.worker.RecordStop();
    b.worker.RecordStop();
    c.worker.RecordStop();
    ASSERT_TRUE(a.window.PumpUntilEnded(1, 1000));
    ASSERT_TRUE(b.window.PumpUntilEnded(1, 1000));
    ASSERT_TRUE(c.window.PumpUntilEnded(1, 1000));
    EXPECT_LT(Since(stopAt), 100u);
    for (Link* l : {&a, &b}) {
        EXPECT_EQ(l->window.Texts(),
                  (Texts{"Connecting to " + l->server, "Connected to " + l->server, "Disconnecting from " + l->server}));
        ExpectOneWholeRun(l->window);
    }
    EXPECT_EQ(c.window.Texts(),
              (Texts{"Connecting to " + c.server, "Connection aborted.", "Disconnecting from " + c.server}));
    ExpectOneWholeRun(c.window);
    // Level bytes are signed: 0x81 is -127, 0x7F is 127.
    std::vector<int> levels = a.window.Levels();
    ASSERT_GE(levels.size(), 4u);
    EXPECT_EQ(std::vector<int>(levels.begin(), levels.begin() + 4), (std::vector<int>{-127, 127, 0, -127}));
    EXPECT_TRUE(fast.WaitForLine("session 1 end", 3000));
    EXPECT_TRUE(slow.WaitForLine("reason client-closed", 3000));
}

TEST_F(Worker, SecondStartEndsTheFirstRun) {
    RecorderProcess recorder({"--level-ms", "50"});
    ASSERT_TRUE(recorder.Started()) << recorder.Error();
    Link link;
    link.Start(recorder.Address(), "first");
    ASSERT_TRUE(link.window.PumpUntilLevels(2, 3000));
    DWORD start = GetTickCount();
    link.worker.RecordStart(link.window.Handle(), "second");
    EXPECT_LT(Since(start), 1000u);
    ASSERT_TRUE(link.window.PumpUntilText("Connected to", 3000));
    ASSERT_TRUE(recorder.WaitForLine("session 2 record", 3000));
    link.worker.RecordStop();
    ASSERT_TRUE(link.window.PumpUntilEnded(2, 5000));
    // Each run records from the server's yes (after "Connected to") until its end.
    EXPECT_EQ(link.window.Outline(), "STTRTESTTRTE");
    std::string line;
    ASSERT_TRUE(recorder.WaitForLine("session 1 end", 2000, &line));
    EXPECT_NE(line.find("client-closed"), std::string::npos) << line;
    EXPECT_TRUE(recorder.WaitForLine("session 1 record channel 0 data \"first\"", 100));
    EXPECT_TRUE(recorder.WaitForLine("session 2 record channel 0 data \"second\"", 100));
}

// The bytes as the server received them; settings are read afresh by every run.
TEST_F(Worker, RequestBytesOnTheWire) {
    RecorderProcess recorder({"--reply-code", "255", "--reply-second-byte", "7", "--reply-bytewise-ms", "300"});
    ASSERT_TRUE(recorder.Started()) << recorder.Error();
    std::string longUser(258, 'u');
    std::string longData(259, 'd');
    struct Case {
        std::string user, password;
        int channel;
        std::string data;
        std::string login, record;  // expected bytes
    } cases[] = {
        {"", "", 40, "", Bytes("\xE2\x00\x00\x00", 4), Bytes("\x1F\x00", 2)},
        {longUser, "pw", -1, "F-1", Bytes("\xE2\x00\xFF\x02", 4) + std::string(255, 'u') + "pw",
         Bytes("\x00\x03", 2) + "F-1"},
        {"al", std::string(258, 'p'), 7, longData, Bytes("\xE2\x00\x02\xFF", 4) + "al" + std::string(255, 'p'),
         "\x07\xFF" + std::string(255, 'd')},
    };
    int session = 0;
    for (const Case& c : cases) {
        ++session;
        SetCredentials(c.user, c.password, c.channel);
        Link link;
        link.Start(recorder.Address(), c.data.c_str());
        ASSERT_TRUE(link.window.PumpUntilText("Connected to", 3000)) << session;
        std::string prefix = "session " + std::to_string(session) + " ";
        std::string line;
        ASSERT_TRUE(recorder.WaitForLine(prefix + "record", 3000, &line)) << session;
        EXPECT_EQ(line.substr(line.find(" bytes ") + 7), Hex(c.record)) << session;
        ASSERT_TRUE(recorder.WaitForLine(prefix + "login", 100, &line));
        EXPECT_EQ(line.substr(line.find(" bytes ") + 7), Hex(c.login)) << session;
        link.worker.RecordStop();
        ASSERT_TRUE(link.window.PumpUntilEnded(1, 5000));
    }
}

// Every run reads the settings afresh, each at the point it is needed: the
// server at the start, the channel only once the login has been accepted.
TEST_F(Worker, SettingsAreReadWhenNeeded) {
    RecorderProcess recorder({"--reply-code", "255", "--reply-delay-ms", "1000", "--level-ms", "50"});
    ASSERT_TRUE(recorder.Started()) << recorder.Error();
    SetCredentials("before", "pw", 3);
    Link link;
    link.Start(recorder.Address());
    SetServer("changed.invalid");
    std::string line;
    ASSERT_TRUE(recorder.WaitForLine("session 1 login", 3000, &line));
    EXPECT_NE(line.find("user \"before\""), std::string::npos) << line;
    SetCredentials("after", "x", 9);
    ASSERT_TRUE(recorder.WaitForLine("session 1 record", 3000, &line));
    EXPECT_NE(line.find("channel 9 "), std::string::npos) << line;
    link.worker.RecordStop();
    ASSERT_TRUE(link.window.PumpUntilEnded(1, 5000));
    EXPECT_EQ(link.window.Texts(), (Texts{"Connecting to " + link.server, "Connected to " + link.server,
                                          "Disconnecting from " + link.server}));
}

// A server that sends as fast as it can: the worker keeps relaying, the window
// keeps getting its timer, and a stop still ends the run at once.
TEST_F(Worker, FloodingServer) {
    RecorderProcess recorder({"--flood"});
    ASSERT_TRUE(recorder.Started()) << recorder.Error();
    Link link;
    link.Start(recorder.Address());
    SetTimer(link.window.Handle(), 1, 50, nullptr);
    link.window.PumpFor(2000);
    EXPECT_GT(link.window.Levels().size(), 100u);
    EXPECT_LT(link.window.Levels().size(), 750u);  // at most 250 a second reach the window
    EXPECT_GT(link.window.timerTicks, 10);
    DWORD stopAt = GetTickCount();
    link.worker.RecordStop();
    ASSERT_TRUE(link.window.PumpUntilEnded(1, 5000));
    EXPECT_LT(Since(stopAt), 1500u);
    KillTimer(link.window.Handle(), 1);
    EXPECT_EQ(link.window.Texts(), (Texts{"Connecting to " + link.server, "Connected to " + link.server,
                                          "Disconnecting from " + link.server}));
    ExpectOneWholeRun(link.window);
}

TEST_F(Worker, NoWindowNoMessages) {
    QDXConnect worker;
    SetServer("127.0.0.1:" + std::to_string(loopback::FreePort()));
    worker.RecordStart(nullptr, "x");
    for (int i = 0; i < 100 && worker.Running(); ++i) Sleep(20);
    EXPECT_FALSE(worker.Running());
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_LINK_STARTED, WM_LINK_STATUS, PM_REMOVE));
}
