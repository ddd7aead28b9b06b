// Servers that misbehave at every step of a recording, made with the
// substitute recorder's misbehaviour options. Every run must end with the
// worker's texts for that failure, within the link's time budgets, and leave
// the client whole: no crash, no hang, the log complete, the Record button
// released. The slow cases (budgets of 5 and 10 s) run side by side as
// workers reporting to test windows; the real client takes the quick ones in
// turn, and a thousand refused connects.
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "client_driver.h"
#include "kernel_handles.h"
#include "link_window.h"
#include "loopback.h"
#include "net/qdxconnect.h"
#include "recorder_process.h"
#include "res/resource.h"
#include "settings/settings.h"

using Texts = std::vector<std::string>;

namespace {

// The runs' texts, "%s" for the server text and "!" in front of an alert.
const Texts kInvalid = {"Connecting to %s", "!Server gave invalid reply!", "Disconnecting from %s"};
const Texts kNoReply = {"Connecting to %s", "!Server %s failed to respond!", "Disconnecting from %s"};
const Texts kBroken = {"Connecting to %s", "Connected to %s", "!Connection to server broken",
                       "Disconnecting from %s"};
const Texts kStopped = {"Connecting to %s", "Connected to %s", "Disconnecting from %s"};

Texts Expand(const Texts& pattern, const std::string& server) {
    Texts out;
    for (std::string text : pattern) {
        std::size_t at = text.find("%s");
        if (at != std::string::npos) text.replace(at, 2, server);
        out.push_back(text);
    }
    return out;
}

constexpr int kAnyLevel = 1000;

struct Hostile {
    const char* what;
    std::vector<std::string> options;
    Texts texts;
    DWORD minMs, maxMs;            // when the run may end, counted from its start
    int stopAtLevels;              // >= 0: the user stops once this many levels came
    std::vector<int> firstLevels;  // what must arrive first as levels
    bool fromLastLevel = false;    // the budget counts from the last level instead
    int lastLevel = kAnyLevel;     // what the meter must end on
};

// A burst far larger than the socket buffers, sent as fast as they take it.
const char kBurst[] = "20000";
// Its levels cycle through 1 to 19, so its last, the 20,000th, is 12: a
// meter left on an older level of the burst shows another value 18 times in 19.
const char kBurstLevels[] = "01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13";
constexpr int kBurstLast = 12;

const Hostile kWorkerCases[] = {
    {"reply 03", {"--reply-code", "3"}, kInvalid, 0, 3000, -1, {}},
    {"reply 80 ff", {"--reply-code", "128", "--reply-second-byte", "255"}, kInvalid, 0, 3000, -1, {}},
    {"reply fe", {"--reply-code", "254"}, kInvalid, 0, 3000, -1, {}},
    // The junk after an accepting reply can only be taken for level bytes.
    {"reply ff 00 and junk", {"--reply-bytes", "ff,00,de,ad,be,ef", "--levels", "11"}, kStopped, 0, 4000, 6,
     {-34, -83, -66, -17, 17, 17}},
    {"one reply byte, then the close", {"--reply-bytes", "05"}, kNoReply, 0, 3000, -1, {}},
    // The 10 s budget counts each quiet time between bytes, not the whole reply.
    {"reply trickled, a byte every 4 s", {"--reply-delay-ms", "4000", "--reply-bytewise-ms", "4000"}, kStopped,
     7500, 11500, 1, {}},
    {"reply trickled, 12 s to the second byte", {"--reply-bytewise-ms", "12000"}, kNoReply, 9500, 12500, -1, {}},
    {"reset after the reply", {"--reset-after-reply"}, kBroken, 0, 3000, -1, {}},
    {"reset during the levels", {"--reset-after", "20", "--level-ms", "20"}, kBroken, 0, 3000, -1, {}},
    // Half-open: the connection stands, but nobody is behind it any more.
    {"never accepted", {"--no-accept"}, kNoReply, 9500, 12500, -1, {}},
    {"stops reading and writing, keeps the socket",
     {"--no-read", "--silence-after", "3", "--level-ms", "50", "--read-timeout-ms", "30000"}, kBroken, 4500, 8000,
     -1, {}},
    // Never read: the login and record sends still end within their budgets,
    // so the levels come at once and the reply wait ends at 10 s.
    {"never reads, never answers", {"--no-read", "--no-reply", "--read-timeout-ms", "30000"}, kNoReply, 9500, 12500,
     -1, {}},
    {"never reads, streams levels", {"--no-read", "--levels", "22", "--level-ms", "20"}, kStopped, 0, 3000, 5,
     {34, 34, 34, 34, 34}},
    // The quiet time after the burst is counted from its last level, which must come soon.
    {"a burst, then silence", {"--flood", "--levels", kBurstLevels, "--silence-after", kBurst}, kBroken, 4000, 6500,
     -1, {}, true, kBurstLast},
    {"a burst, then the close", {"--flood", "--levels", kBurstLevels, "--close-after", kBurst}, kBroken, 0, 3000,
     -1, {}, false, kBurstLast},
};

struct WorkerRun {
    const Hostile* c;
    std::unique_ptr<RecorderProcess> recorder;
    LinkWindow window;
    QDXConnect worker;
    DWORD started = 0;
    DWORD ended = 0;
    DWORD lastLevel = 0;  // when the latest level came, to the pump's pace
    int levels = 0;
    bool stopped = false;
};

}  // namespace

TEST(HostileServers, WorkerEndsEachRunWithItsTextsWithinTheBudgets) {
    WriteSetting(kSectionSettings, kSettingUserName, "qdx");
    WriteSetting(kSectionSettings, kSettingPassword, "qdx");
    WriteSettingInt(kSectionSettings, kSettingRecordChannel, 0);
    std::vector<std::unique_ptr<WorkerRun>> runs;
    for (const Hostile& c : kWorkerCases) {
        runs.emplace_back(new WorkerRun);
        WorkerRun& r = *runs.back();
        r.c = &c;
        r.recorder.reset(new RecorderProcess(c.options));
        ASSERT_TRUE(r.recorder->Started()) << c.what << ": " << r.recorder->Error();
    }
    // Each run reads the server setting first thing: one at a time until then.
    for (auto& r : runs) {
        WriteSetting(kSectionSettings, kSettingServer, r->recorder->Address().c_str());
        r->started = GetTickCount();
        r->worker.RecordStart(r->window.Handle(), "");
        ASSERT_TRUE(r->window.PumpUntilText("Connecting to", 3000)) << r->c->what;
    }
    const DWORD begin = GetTickCount();
    bool allEnded = false;
    while (!allEnded && GetTickCount() - begin < 30000) {
        runs.front()->window.PumpFor(20);  // pumps every test window of this thread
        allEnded = true;
        for (auto& r : runs) {
            if (r->ended) continue;
            if (r->window.Count(WM_LINK_ENDED)) {
                r->ended = GetTickCount();
                continue;
            }
            allEnded = false;
            const int levels = r->window.Count(WM_LINK_LEVEL);
            if (levels != r->levels) {
                r->levels = levels;
                r->lastLevel = GetTickCount();
            }
            if (!r->stopped && r->c->stopAtLevels >= 0 &&
                r->window.Levels().size() >= static_cast<std::size_t>(r->c->stopAtLevels)) {
                r->worker.RecordStop();
                r->stopped = true;
            }
        }
    }
    for (auto& r : runs) {
        const Hostile& c = *r->c;
        SCOPED_TRACE(c.what);
        ASSERT_NE(r->ended, 0u) << "no end; texts so far: " << ::testing::PrintToString(r->window.Texts())
                                << "; levels: " << r->levels << "; recorder: "
                                << ::testing::PrintToString(r->recorder->Lines());
        const std::string server = r->recorder->Address();
        EXPECT_EQ(r->window.Texts(), Expand(c.texts, server)) << ::testing::PrintToString(r->recorder->Lines());
        EXPECT_EQ(r->window.Count(WM_LINK_STARTED), 1);
        EXPECT_EQ(r->window.Count(WM_LINK_ENDED), 1);
        EXPECT_EQ(r->window.Events().back().msg, WM_LINK_ENDED);
        if (c.fromLastLevel) {
            ASSERT_NE(r->lastLevel, 0u) << "no levels";
            // Taken in a few reads, not byte by byte: the meter must not lag seconds behind.
            EXPECT_LT(r->lastLevel - r->started, 2500u) << "the burst's last level came late";
        }
        const DWORD took = r->ended - (c.fromLastLevel ? r->lastLevel : r->started);
        EXPECT_GE(took, c.minMs);
        EXPECT_LE(took, c.maxMs);
        std::vector<int> levels = r->window.Levels();
        if (c.lastLevel != kAnyLevel) {
            ASSERT_FALSE(levels.empty());
            EXPECT_EQ(levels.back(), c.lastLevel) << "the meter does not end on the newest level";
        }
        if (levels.size() > c.firstLevels.size()) levels.resize(c.firstLevels.size());
        EXPECT_EQ(levels, c.firstLevels);
    }
}

namespace {

using namespace client;

// The lines the client adds to its log folder, read as they come.
class LogFollower {
public:
    explicit LogFollower(std::string folder) : folder_(std::move(folder)) {}
    // Lines added since the last call, the time of day cut off.
    Texts Take() {
        Texts fresh;
        WIN32_FIND_DATAA fd;
        HANDLE find = FindFirstFileA((folder_ + "\\*.txt").c_str(), &fd);
        if (find == INVALID_HANDLE_VALUE) return fresh;
        do Read(fd.cFileName, fresh);
        while (FindNextFileA(find, &fd));
        FindClose(find);
        return fresh;
    }

private:
    void Read(const std::string& name, Texts& fresh) {
        HANDLE f = CreateFileA((folder_ + "\\" + name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE) return;
        std::size_t& offset = offsets_[name];
        SetFilePointer(f, static_cast<LONG>(offset), nullptr, FILE_BEGIN);
        std::string text;
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got) text.append(buffer, got);
        CloseHandle(f);
        std::size_t start = 0;
        for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
            fresh.push_back(text.substr(start + 9, end - start - 9));  // after "hh:mm:ss "
        offset += start;
    }
    std::string folder_;
    std::map<std::string, std::size_t> offsets_;
};

// Like client::WaitUntil, at a faster pace: a refused connect takes milliseconds.
template <typename Condition>
bool Poll(Condition condition, DWORD timeoutMs) {
    for (const DWORD start = GetTickCount(); !condition(); Sleep(5))
        if (GetTickCount() - start > timeoutMs) return false;
    return true;
}

bool Idle(HWND main) {
    return !Checked(main, IDC_MAIN_RECORD) && !IsWindowEnabled(GetDlgItem(main, IDC_MAIN_LEVEL));
}

// The last line of every run: its end.
bool EndsRun(const std::string& line) {
    return line.rfind("Disconnecting from ", 0) == 0 || line.rfind("Unable to connect to ", 0) == 0 ||
           line == "Connection aborted.";
}


SIZE_T WorkingSet(HANDLE process) {
    PROCESS_MEMORY_COUNTERS m = {};
    m.cb = sizeof m;
    return GetProcessMemoryInfo(process, &m, sizeof m) ? m.WorkingSetSize : 0;
}

// Fresh settings for the client, written before it starts (it reads the hot
// key setting once, at its start); returns its log folder.
std::string PrepareSettings() {
    std::string logs = ResetSettings();
    SetSetting("Settings", "UserName", "qdx");
    SetSetting("Settings", "Password", "qdx");
    SetSetting("Settings", "UseHotKeys", "0");
    return logs;
}

// The real client, with its log followed and its settings pointed at a server.
struct Client {
    std::string logs = PrepareSettings();
    LogFollower log{logs};
    Process process;
    HWND main = process.WaitForWindow();
    Client() { log.Take(); }  // "QDX Remote Control Run"
    // One recording from the record command; the lines it logged, or what
    // came before the time ran out.
    Texts Record(const std::string& server, int stopAfterMs = -1) {
        SetSetting("Settings", "Server", server.c_str());
        DWORD_PTR result = 0;
        SendMessageTimeoutA(main, WM_COMMAND, CM_RECORD, 0, SMTO_NORMAL, kWaitMs, &result);
        Texts lines;
        DWORD start = GetTickCount();
        bool stopped = false;
        Poll([&] {
            // The link's lines; the window's "Recorded for" after a run that
            // recorded is not one of them.
            for (const std::string& line : log.Take())
                if (line.rfind("Recorded for ", 0) != 0) lines.push_back(line);
            if (!stopped && stopAfterMs >= 0 && GetTickCount() - start >= static_cast<DWORD>(stopAfterMs)) {
                PostMessageA(main, WM_COMMAND, CM_STOP, 0);
                stopped = true;
            }
            return !lines.empty() && EndsRun(lines.back()) && Idle(main);
        }, 15000);
        return lines;
    }
};

Texts Logged(const Texts& pattern, const std::string& server) {
    Texts lines = Expand(pattern, server);
    for (std::string& line : lines)
        if (line[0] == '!') line.erase(0, 1);
    return lines;
}

}  // namespace

// The quick cases once more with the real client: its log and its window
// must come through each of them whole.
TEST(HostileServers, ClientComesThroughEachMisbehaviourWhole) {
    struct Case {
        const char* what;
        std::vector<std::string> options;
        Texts texts;
        int stopAfterMs;
    } cases[] = {
        {"reply 00 ff", {"--reply-code", "0", "--reply-second-byte", "255"}, kInvalid, -1},
        {"reply 01", {"--reply-code", "1"},
         {"Connecting to %s", "Server does not support this QDX Remote control version!", "Disconnecting from %s"}, -1},
        {"reply 02", {"--reply-code", "2"},
         {"Connecting to %s", "Username or Password not accepted!", "Disconnecting from %s"}, -1},
        {"reply 7f", {"--reply-code", "127"}, kInvalid, -1},
        {"reply ff 00 and junk", {"--reply-bytes", "ff,00,de,ad,be,ef"}, kStopped, 300},
        {"reset after the reply", {"--reset-after-reply"}, kBroken, -1},
        {"reset during the levels", {"--reset-after", "10", "--level-ms", "20"}, kBroken, -1},
        {"a burst, then the close", {"--flood", "--close-after", kBurst}, kBroken, -1},
    };
    Client client;
    ASSERT_NE(client.main, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecorderProcess recorder(c.options);
        ASSERT_TRUE(recorder.Started()) << recorder.Error();
        Texts lines = client.Record(recorder.Address(), c.stopAfterMs);
        EXPECT_EQ(lines, Logged(c.texts, recorder.Address()));
        EXPECT_TRUE(Idle(client.main));
        EXPECT_FALSE(client.process.WaitForExit(0)) << "the client is gone";
    }
}

TEST(HostileServers, ThousandRefusedConnectsLeaveTheClientAsItWas) {
    Client client;
    ASSERT_NE(client.main, nullptr);
    const std::string server = "127.0.0.1:" + std::to_string(loopback::FreePort());
    const Texts once = {"Connecting to " + server, "Unable to connect to " + server + "!"};
    const int kRuns = 1000, kSettled = 100;
    SIZE_T memoryThen = 0;
    long handlesThen = 0;
    int whole = 0;
    for (int i = 1; i <= kRuns; ++i) {
        Texts lines = client.Record(server);
        if (lines == once) ++whole;
        else ADD_FAILURE() << "run " << i << ": " << ::testing::PrintToString(lines);
        if (i == kSettled) {
            memoryThen = WorkingSet(client.process.Handle());
            handlesThen = qdxtest::KernelHandles(client.process.Id());
        }
        if (HasFailure() && whole < i - 3) break;  // one broken run is enough to see
    }
    EXPECT_EQ(whole, kRuns);
    EXPECT_TRUE(Idle(client.main));
    // Before the lamps were loaded once, every run left 18 KB behind.
    const SIZE_T memoryNow = WorkingSet(client.process.Handle());
    EXPECT_LT(memoryNow, memoryThen + 1024 * 1024) << memoryThen << " -> " << memoryNow;
    EXPECT_GT(handlesThen, 0);
    EXPECT_LE(qdxtest::KernelHandles(client.process.Id()), handlesThen + 2);
}
