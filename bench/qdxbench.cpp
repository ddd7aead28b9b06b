// qdxbench: drives the client (or the baseline program) from outside for the
// benchmarks, the way a user would: WM_COMMAND record and stop, window state
// read back with messages. Figures go to files that bench/bench.py reads;
// times that must be compared with the recorder's log are wall-clock
// microseconds, the clock the recorder's --timestamps lines use.
//
//   qdxbench set SECTION NAME VALUE
//   qdxbench stop    --title T --runs N --out FILE [--hold-ms MIN MAX]
//   qdxbench flood   --title T --rounds N --probe-ms MS --out FILE
//   qdxbench startup --exe A --title TA --exe B --title TB --runs N --out FILE
//                    [--with - PARTS ...]   (one per program: "--with PARTS" added to its command)
//   qdxbench refused --title T --runs N --logs DIR --out FILE
//   qdxbench logview --lines N --rounds N --out FILE
//   qdxbench soak    --title T --servers S1,S2,.. --cycles N --samples 1,10,..
//                    --hold-ms MS --sync DIR --out FILE [--logs DIR]
//
// The soak tells the end of a run from the client's log (every run's last
// line is "Unable to connect...", "Connection aborted." or "Disconnecting
// from..."), or, without --logs, from the baseline's run counter (control 104).
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/logtail.h"
#include "kernel_handles.h"
#include "log/activitylog.h"
#include "ui/editbar.h"

namespace {

constexpr WORD kRecord = 2001;
constexpr WORD kStop = 2002;
constexpr int kRecordButton = 101;
constexpr int kLevelControl = 103;
constexpr int kRunCounter = 104;  // the baseline's
constexpr DWORD kRunLimitMs = 20000;

long long WallMicros() {
    FILETIME ft;
    GetSystemTimePreciseAsFileTime(&ft);
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    return static_cast<long long>((t.QuadPart - 116444736000000000ULL) / 10);
}

double NowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs, DWORD pollMs = 2) {
    double end = NowMs() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (NowMs() > end) return false;
        Sleep(pollMs);
    }
}

struct Args {
    std::map<std::string, std::vector<std::string>> values;
    std::string Get(const char* name, const char* fallback = "") const {
        auto it = values.find(name);
        return it == values.end() || it->second.empty() ? fallback : it->second[0];
    }
    int Int(const char* name, int fallback) const {
        std::string v = Get(name);
        return v.empty() ? fallback : atoi(v.c_str());
    }
};

Args Parse(int argc, char** argv, int first) {
    Args a;
    std::string name;
    for (int i = first; i < argc; ++i) {
        if (strncmp(argv[i], "--", 2) == 0) {
            name = argv[i] + 2;
            a.values[name];
        } else {
            a.values[name].push_back(argv[i]);
        }
    }
    return a;
}

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1)
        parts.push_back(text.substr(start, comma - start));
    parts.push_back(text.substr(start));
    return parts;
}

bool SetSetting(const char* section, const char* name, const char* value) {
    std::string key = std::string("Software\\Tallowind\\QDXRemote\\") + section;
    HKEY h = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) != 0)
        return false;
    bool ok = RegSetValueExA(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                             static_cast<DWORD>(strlen(value) + 1)) == 0;
    RegCloseKey(h);
    return ok;
}

struct FindData {
    const char* title;
    DWORD pid;  // 0: any
    HWND found;
};

BOOL CALLBACK FindProc(HWND window, LPARAM lParam) {
    FindData* d = reinterpret_cast<FindData*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (d->pid && pid != d->pid) return TRUE;
    char cls[32] = "", text[128] = "";
    GetClassNameA(window, cls, sizeof cls);
    GetWindowTextA(window, text, sizeof text);
    if (strcmp(cls, "#32770") != 0 || strcmp(text, d->title) != 0) return TRUE;
    d->found = window;
    return FALSE;
}

HWND FindDialog(const char* title, DWORD pid = 0) {
    FindData d = {title, pid, nullptr};
    EnumWindows(FindProc, reinterpret_cast<LPARAM>(&d));
    return d.found;
}

// The window being driven: the client's main window or the baseline's dialog.
class Target {
public:
    explicit Target(const std::string& title) : title_(title) {}

    bool Find(DWORD timeoutMs = 60000) {
        return WaitUntil([&] { return (hwnd_ = FindDialog(title_.c_str())) != nullptr; }, timeoutMs, 20);
    }
    HWND Window() const { return hwnd_; }
    DWORD ProcessId() const {
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd_, &pid);
        return pid;
    }
    void Command(WORD id) const { PostMessageA(hwnd_, WM_COMMAND, id, 0); }
    bool Recording() const {
        DWORD_PTR check = 0;
        SendMessageTimeoutA(GetDlgItem(hwnd_, kRecordButton), BM_GETCHECK, 0, 0, SMTO_NORMAL, 5000, &check);
        return check == BST_CHECKED && IsWindowEnabled(GetDlgItem(hwnd_, kLevelControl));
    }
    bool Idle() const {
        DWORD_PTR check = 1;
        SendMessageTimeoutA(GetDlgItem(hwnd_, kRecordButton), BM_GETCHECK, 0, 0, SMTO_NORMAL, 5000, &check);
        return check == BST_UNCHECKED && !IsWindowEnabled(GetDlgItem(hwnd_, kLevelControl));
    }
    // Round trip of one message through the window's thread, in milliseconds.
    double RoundTripMs() const {
        double t0 = NowMs();
        DWORD_PTR r = 0;
        SendMessageTimeoutA(hwnd_, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &r);
        return NowMs() - t0;
    }

private:
    std::string title_;
    HWND hwnd_ = nullptr;
};

// How many runs have ended: from the client's log files (the last line of
// every run), or from the baseline's counter.
class RunEnds {
public:
    RunEnds(const Target& target, const std::string& logs) : target_(target), logs_(logs) {}

    int Count() {
        if (logs_.empty()) {
            char text[32] = "";
            SendMessageTimeoutA(GetDlgItem(target_.Window(), kRunCounter), WM_GETTEXT, sizeof text,
                                reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, nullptr);
            return atoi(text);
        }
        WIN32_FIND_DATAA fd;
        HANDLE find = FindFirstFileA((logs_ + "\\*.txt").c_str(), &fd);
        if (find == INVALID_HANDLE_VALUE) return ends_;
        do ReadNew(fd.cFileName);
        while (FindNextFileA(find, &fd));
        FindClose(find);
        return ends_;
    }
    int Lines() const { return lines_; }

private:
    void ReadNew(const std::string& name) {
        HANDLE f = CreateFileA((logs_ + "\\" + name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE) return;
        LONG high = 0;
        SetFilePointer(f, static_cast<LONG>(offsets_[name]), &high, FILE_BEGIN);
        char buffer[8192];
        DWORD got = 0;
        while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got) pending_[name].append(buffer, got);
        CloseHandle(f);
        std::string& text = pending_[name];
        size_t start = 0;
        for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
            std::string line = text.substr(start, end - start);
            ++lines_;
            if (line.find("Unable to connect to ") != std::string::npos ||
                line.find("Connection aborted.") != std::string::npos ||
                line.find("Disconnecting from ") != std::string::npos)
                ++ends_;
        }
        offsets_[name] += start;
        text.erase(0, start);
    }

    const Target& target_;
    std::string logs_;
    std::map<std::string, size_t> offsets_;
    std::map<std::string, std::string> pending_;
    int ends_ = 0;
    int lines_ = 0;
};

// One recording: record, wait for the recording state (or for the run to end
// by itself), hold it, stop, wait for the idle state. stopAt gets the
// wall-clock time of the stop command, 0 when the run had ended before.
bool OneRun(Target& t, RunEnds& ends, DWORD holdMs, long long* stopAt, double* endMs = nullptr) {
    *stopAt = 0;
    if (!WaitUntil([&] { return t.Idle(); }, kRunLimitMs)) return false;
    int before = ends.Count();
    t.Command(kRecord);
    double posted = NowMs();
    bool ended = false;
    WaitUntil(
        [&] {
            ended = ends.Count() > before;
            return ended || (t.Recording() && NowMs() - posted >= holdMs);
        },
        kRunLimitMs);
    if (!ended) {
        *stopAt = WallMicros();
        const double stopped = NowMs();
        t.Command(kStop);
        if (!WaitUntil([&] { return ends.Count() > before; }, kRunLimitMs, 1)) return false;
        if (endMs) *endMs = NowMs() - stopped;
    }
    return WaitUntil([&] { return t.Idle(); }, kRunLimitMs);
}

FILE* OpenOut(const Args& a) {
    std::string path = a.Get("out");
    FILE* f = path.empty() ? stdout : fopen(path.c_str(), "w");
    if (!f) fprintf(stderr, "qdxbench: cannot write %s\n", path.c_str());
    return f;
}

// Stop latency: one line per run, "stop RUN WALL_US END_MS"; the recorder's
// log tells when it saw each close, END_MS when the run's end reached the
// client's log (for a connect that no server sees).
int CmdStop(const Args& a) {
    Target t(a.Get("title", "QDX Remote Control"));
    if (!t.Find()) return 3;
    RunEnds ends(t, a.Get("logs"));
    FILE* out = OpenOut(a);
    if (!out) return 2;
    auto hold = a.values.count("hold-ms") ? a.values.at("hold-ms") : std::vector<std::string>{"200", "500"};
    int lo = atoi(hold[0].c_str()), hi = hold.size() > 1 ? atoi(hold[1].c_str()) : lo;
    std::mt19937 rng(7);
    int runs = a.Int("runs", 100);
    for (int i = 1; i <= runs; ++i) {
        long long stopAt = 0;
        double endMs = 0;
        // A random hold, so that the stops fall at every phase of the level period.
        DWORD holdMs = static_cast<DWORD>(std::uniform_int_distribution<int>(lo, hi)(rng));
        if (!OneRun(t, ends, holdMs, &stopAt, &endMs)) {
            fprintf(stderr, "qdxbench: run %d did not end\n", i);
            return 4;
        }
        fprintf(out, "stop %d %lld %.3f\n", i, stopAt, endMs);
        fflush(out);
    }
    if (out != stdout) fclose(out);
    return 0;
}

// Responsiveness while recording: round trips through the window's thread
// ("rtt MS") for probe-ms of every round, then the stop ("stop ROUND WALL_US").
int CmdFlood(const Args& a) {
    Target t(a.Get("title", "QDX Remote Control"));
    if (!t.Find()) return 3;
    RunEnds ends(t, a.Get("logs"));
    FILE* out = OpenOut(a);
    if (!out) return 2;
    int rounds = a.Int("rounds", 5), probeMs = a.Int("probe-ms", 2000);
    for (int i = 1; i <= rounds; ++i) {
        if (!WaitUntil([&] { return t.Idle(); }, kRunLimitMs)) return 4;
        int before = ends.Count();
        t.Command(kRecord);
        if (!WaitUntil([&] { return t.Recording(); }, kRunLimitMs)) return 4;
        Sleep(300);  // into the stream
        for (double end = NowMs() + probeMs; NowMs() < end;) {
            fprintf(out, "rtt %.3f\n", t.RoundTripMs());
            Sleep(5);
        }
        fprintf(out, "stop %d %lld\n", i, WallMicros());
        fflush(out);
        t.Command(kStop);
        if (!WaitUntil([&] { return ends.Count() > before && t.Idle(); }, kRunLimitMs)) return 4;
    }
    if (out != stdout) fclose(out);
    return 0;
}

// Closes a program the way a user would; the client asks "Confirm Stop" first.
void CloseProgram(HANDLE process, DWORD pid, HWND window) {
    PostMessageA(window, WM_CLOSE, 0, 0);
    HWND box = nullptr;
    if (WaitUntil([&] { return (box = FindDialog("Confirm Stop", pid)) != nullptr ||
                               WaitForSingleObject(process, 0) == WAIT_OBJECT_0; },
                  5000, 10) &&
        box)
        PostMessageA(GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
    if (WaitForSingleObject(process, 10000) != WAIT_OBJECT_0) TerminateProcess(process, 1);
}

// Nothing of a shown window waits to be painted, neither the window nor
// any of its visible controls (update regions are the system's, so another
// process can ask).
bool Painted(HWND window) {
    if (GetUpdateRect(window, nullptr, FALSE)) return false;
    bool waiting = false;
    EnumChildWindows(
        window,
        [](HWND child, LPARAM found) -> BOOL {
            if (!IsWindowVisible(child) || !GetUpdateRect(child, nullptr, FALSE)) return TRUE;
            *reinterpret_cast<bool*>(found) = true;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&waiting));
    return !waiting;
}

// Start-up: process creation to the main window shown, "start EXE_INDEX MS",
// and to its first whole frame, "painted EXE_INDEX MS"; the programs take
// turns so that both see the same machine.
int CmdStartup(const Args& a) {
    const std::vector<std::string> exes = a.values.count("exe") ? a.values.at("exe") : std::vector<std::string>();
    const std::vector<std::string> titles =
        a.values.count("title") ? a.values.at("title") : std::vector<std::string>();
    // --with: one argument text per program ("-" for none), given after --with.
    const std::vector<std::string> withs = a.values.count("with") ? a.values.at("with") : std::vector<std::string>();
    if (exes.empty() || exes.size() != titles.size() || (!withs.empty() && withs.size() != exes.size())) return 2;
    FILE* out = OpenOut(a);
    if (!out) return 2;
    int runs = a.Int("runs", 10);
    for (int i = 0; i <= runs; ++i) {  // round 0 warms the prefix and the file cache
        for (size_t k = 0; k < exes.size(); ++k) {
            std::string command = "\"" + exes[k] + "\"";
            if (!withs.empty() && withs[k] != "-") command += " --with " + withs[k];
            std::string folder = exes[k].substr(0, exes[k].find_last_of("\\/"));
            STARTUPINFOA si = {};
            si.cb = sizeof si;
            PROCESS_INFORMATION pi = {};
            std::vector<char> line(command.begin(), command.end());
            line.push_back('\0');
            double t0 = NowMs();
            // Wine now and then refuses a start with its internal error 1359;
            // such a start is tried again, and said, as the tests do.
            int tries = 0;
            while (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi)) {
                const DWORD error = GetLastError();
                fprintf(stderr, "CreateProcess failed (%lu) for %s\n", error, exes[k].c_str());
                if (error != ERROR_INTERNAL_ERROR || ++tries == 4) return 3;
                Sleep(200);
                t0 = NowMs();
            }
            HWND window = nullptr;
            bool shown = WaitUntil(
                [&] {
                    window = FindDialog(titles[k].c_str(), pi.dwProcessId);
                    return window && IsWindowVisible(window);
                },
                30000, 1);
            double ms = NowMs() - t0;
            // And until its first frame is whole: shown, and no part of it
            // or of its controls waiting to be painted.
            const bool painted = shown && WaitUntil([&] { return Painted(window); }, 5000, 1);
            double paintedMs = NowMs() - t0;
            if (i > 0 && shown) fprintf(out, "start %zu %.1f\n", k, ms);
            if (i > 0 && painted) fprintf(out, "painted %zu %.1f\n", k, paintedMs);
            fflush(out);
            if (window) CloseProgram(pi.hProcess, pi.dwProcessId, window);
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
            if (!shown) return 4;
        }
    }
    if (out != stdout) fclose(out);
    return 0;
}


// What the process says about itself where Wine answers at all.
std::string ProcessReport(DWORD pid) {
    HANDLE p = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    char text[256] = "";
    if (!p) return "{}";
    PROCESS_MEMORY_COUNTERS_EX m = {};
    m.cb = sizeof m;
    GetProcessMemoryInfo(p, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&m), sizeof m);
    DWORD handles = 0;
    GetProcessHandleCount(p, &handles);
    snprintf(text, sizeof text,
             "{\"working_set\": %llu, \"private\": %llu, \"gdi\": %lu, \"user\": %lu, \"handles\": %lu, "
             "\"kernel_handles\": %ld}",
             static_cast<unsigned long long>(m.WorkingSetSize), static_cast<unsigned long long>(m.PrivateUsage),
             GetGuiResources(p, GR_GDIOBJECTS), GetGuiResources(p, GR_USEROBJECTS), handles, qdxtest::KernelHandles(pid));
    CloseHandle(p);
    return text;
}

// Soak: record/stop cycles over a rotation of servers. At each sample cycle
// the process's own report goes to DIR\sample-N.req, and the driver waits for
// DIR\sample-N.ack, written by whoever samples the process from outside.
int CmdSoak(const Args& a) {
    Target t(a.Get("title", "QDX Remote Control"));
    if (!t.Find()) return 3;
    RunEnds ends(t, a.Get("logs"));
    FILE* out = OpenOut(a);
    if (!out) return 2;
    std::vector<std::string> servers = Split(a.Get("servers"));
    std::vector<int> samples;
    for (const std::string& s : Split(a.Get("samples", "1,10,100,500,1000"))) samples.push_back(atoi(s.c_str()));
    std::string sync = a.Get("sync");
    int cycles = a.Int("cycles", 1000);
    DWORD holdMs = static_cast<DWORD>(a.Int("hold-ms", 120));
    double started = NowMs();
    for (int i = 1; i <= cycles; ++i) {
        SetSetting("Settings", "Server", servers[static_cast<size_t>(i - 1) % servers.size()].c_str());
        long long stopAt = 0;
        if (!OneRun(t, ends, holdMs, &stopAt)) {
            fprintf(stderr, "qdxbench: cycle %d did not end\n", i);
            return 4;
        }
        if (std::find(samples.begin(), samples.end(), i) == samples.end()) continue;
        std::string report = ProcessReport(t.ProcessId());
        fprintf(out, "sample %d %.0f %d %d %s\n", i, NowMs() - started, ends.Count(), ends.Lines(), report.c_str());
        fflush(out);
        if (sync.empty()) continue;
        std::string req = sync + "\\sample-" + std::to_string(i) + ".req";
        std::string ack = sync + "\\sample-" + std::to_string(i) + ".ack";
        // Written whole under another name first: the sampler polls for it.
        if (FILE* f = fopen((req + ".tmp").c_str(), "w")) {
            fputs(report.c_str(), f);
            fclose(f);
            MoveFileExA((req + ".tmp").c_str(), req.c_str(), MOVEFILE_REPLACE_EXISTING);
        }
        WaitUntil([&] { return GetFileAttributesA(ack.c_str()) != INVALID_FILE_ATTRIBUTES; }, 15000, 10);
    }
    if (out != stdout) fclose(out);
    return 0;
}

// A run against a port nobody listens on: the record command to the idle
// state again, the run's end in the log between ("refused MS").
int CmdRefused(const Args& a) {
    Target t(a.Get("title", "QDX Remote Control"));
    if (!t.Find()) return 3;
    RunEnds ends(t, a.Get("logs"));
    FILE* out = OpenOut(a);
    if (!out) return 2;
    for (int i = 1, runs = a.Int("runs", 50); i <= runs; ++i) {
        if (!WaitUntil([&] { return t.Idle(); }, kRunLimitMs)) return 4;
        const int before = ends.Count();
        const double start = NowMs();
        t.Command(kRecord);
        if (!WaitUntil([&] { return ends.Count() > before && t.Idle(); }, kRunLimitMs, 1)) return 4;
        fprintf(out, "refused %.3f\n", NowMs() - start);
        fflush(out);
    }
    if (out != stdout) fclose(out);
    return 0;
}

// The log view's cost per line, painting included: an edit control like the
// main window's (size, styles, font, its scroll bar kept by the program)
// given lines by the log (AppendLogView); the same lines given to an edit
// control that keeps its own scroll bar; and the same lines given the way it
// first was (the whole tail set again). The three take turns ("line
// view|ownbar|whole MS"). The view starts full, so the 1,024-character cut
// comes in every two dozen lines or so.
int CmdLogView(const Args& a) {
    FILE* out = OpenOut(a);
    if (!out) return 2;
    HWND frame = CreateWindowExA(0, "STATIC", "log", WS_POPUP | WS_VISIBLE, 0, 0, 300, 120, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    constexpr DWORD kStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;
    HWND view = CreateWindowExA(0, "EDIT", "", kStyle | WS_CLIPCHILDREN, 0, 0, 218, 85, frame, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    HWND ownBar = CreateWindowExA(0, "EDIT", "", kStyle | WS_VSCROLL, 0, 0, 218, 85, frame, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (!view || !ownBar || !AttachEditScrollBar(view)) return 3;
    for (HWND edit : {view, ownBar}) SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(LogView.font.Get()), 0);
    auto pump = [] {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    };
    LogTail wholeTail;
    auto wholeWay = [&](const char* line) {
        wholeTail.Append(line);
        SendMessageA(ownBar, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wholeTail.Text()));
        WPARAM caret = wholeTail.CaretPosition();
        SendMessageA(ownBar, EM_SETSEL, caret, static_cast<LPARAM>(caret));
        SendMessageA(ownBar, EM_SCROLLCARET, 0, 0);
    };
    const char* const names[] = {"view", "ownbar", "whole"};
    const int lines = a.Int("lines", 100), rounds = a.Int("rounds", 3);
    for (int round = 0; round < rounds; ++round) {
        for (int way = 0; way < 3; ++way) {
            HWND edit = way == 0 ? view : ownBar;
            ShowWindow(view, way == 0 ? SW_SHOW : SW_HIDE);
            ShowWindow(ownBar, way == 0 ? SW_HIDE : SW_SHOW);
            LogView.view = nullptr;
            LogView.tail.Clear();
            wholeTail.Clear();
            SetWindowTextA(edit, "");
            if (way < 2) LogView.view = edit;
            pump();
            for (int i = 0; i < lines + 120; ++i) {
                char line[96];
                snprintf(line, sizeof line, "12:%02d:%02d Connecting to 127.0.0.1:%d\r\n", i / 60 % 60, i % 60,
                         2640 + i);
                const double start = NowMs();
                if (way < 2) AppendLogView(line);
                else wholeWay(line);
                UpdateWindow(edit);
                pump();
                if (i >= 120) fprintf(out, "line %s %.3f\n", names[way], NowMs() - start);
            }
        }
    }
    // What an edit control that keeps its own bar pays for it: it sets the
    // bar's state with a redraw at the scroll into view and again at the end
    // of each insertion. The same call with its own state, drawn and not
    // ("bar redraw|quiet MS").
    SCROLLINFO bar = {sizeof bar, SIF_ALL, 0, 0, 0, 0, 0};
    GetScrollInfo(ownBar, SB_VERT, &bar);
    bar.fMask = SIF_PAGE | SIF_POS | SIF_RANGE | SIF_DISABLENOSCROLL;
    for (int i = 0; i < 100; ++i) {
        const bool redraw = i % 2 == 0;
        const double start = NowMs();
        SetScrollInfo(ownBar, SB_VERT, &bar, redraw);
        fprintf(out, "bar %s %.3f\n", redraw ? "redraw" : "quiet", NowMs() - start);
    }
    LogView.view = nullptr;
    DestroyWindow(frame);
    if (out != stdout) fclose(out);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fputs("usage: qdxbench set|stop|flood|startup|soak|refused|logview ... (see the head of qdxbench.cpp)\n", stderr);
        return 2;
    }
    std::string command = argv[1];
    if (command == "set" && argc == 5) return SetSetting(argv[2], argv[3], argv[4]) ? 0 : 1;
    Args a = Parse(argc, argv, 2);
    if (command == "stop") return CmdStop(a);
    if (command == "flood") return CmdFlood(a);
    if (command == "startup") return CmdStartup(a);
    if (command == "soak") return CmdSoak(a);
    if (command == "refused") return CmdRefused(a);
    if (command == "logview") return CmdLogView(a);
    fprintf(stderr, "qdxbench: unknown command %s\n", command.c_str());
    return 2;
}
