// The real client, qdxremote.exe, started by the test and driven from
// outside like a user would: clicks, keys, the close box, a second start,
// against the substitute recorder.
#include <windows.h>
#include <oleacc.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "canvas.h"
#include "client_driver.h"
#include "net/link_messages.h"
#include "registry.h"
#include "res/resource.h"
#include "ui/dpi.h"
#include "ui/ldbdisplay.h"

using namespace client;
using namespace qdxtest;

namespace {

constexpr DWORD kQuietMs = 1200;  // how long "nothing happens" is watched for

bool Recording(HWND main) {
    return Checked(main, IDC_MAIN_RECORD) && IsWindowEnabled(GetDlgItem(main, IDC_MAIN_LEVEL));
}
bool Idle(HWND main) {
    return !Checked(main, IDC_MAIN_RECORD) && !IsWindowEnabled(GetDlgItem(main, IDC_MAIN_LEVEL));
}

// The log view's client area on the screen, less a margin.
RECT LogViewArea(HWND main) {
    HWND view = GetDlgItem(main, IDC_MAIN_LOG);
    RECT r;
    GetClientRect(view, &r);
    MapWindowPoints(view, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// What a screen reader is told of a control of another process, through the
// object its window answers for OBJID_CLIENT.
struct Heard {
    bool answered = false;
    long role = 0;
    std::string name, value;
};

std::string Narrow(BSTR text) {
    std::string out;
    if (text)
        for (const wchar_t* c = text; *c; ++c) out += *c < 128 ? static_cast<char>(*c) : '?';
    ::SysFreeString(text);
    return out;
}

Heard Hear(HWND control) {
    Heard heard;
    IAccessible* object = nullptr;
    if (FAILED(AccessibleObjectFromWindow(control, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&object))) ||
        !object)
        return heard;
    heard.answered = true;
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    VARIANT role;
    VariantInit(&role);
    if (SUCCEEDED(object->get_accRole(self, &role)) && role.vt == VT_I4) heard.role = role.lVal;
    BSTR text = nullptr;
    if (SUCCEEDED(object->get_accName(self, &text))) heard.name = Narrow(text);
    text = nullptr;
    if (SUCCEEDED(object->get_accValue(self, &text))) heard.value = Narrow(text);
    object->Release();
    return heard;
}

// Value-change events of one window, counted as they come (out of context:
// delivered to this thread's message loop).
HWND eventWindow = nullptr;
int valueEvents = 0;
void CALLBACK CountValueEvent(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG, DWORD, DWORD) {
    if (window == eventWindow && object == OBJID_CLIENT) ++valueEvents;
}

// The window of another process's thread that has the keyboard focus.
HWND FocusOf(HWND main) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

// A control as the screen shows it.
Canvas CaptureControl(HWND main, int id) {
    RECT r;
    GetWindowRect(GetDlgItem(main, id), &r);
    return CaptureScreen(r);
}

// Which rows (or columns) of a picture hold a pixel that passes the test.
template <typename Test>
std::vector<int> Marked(const Canvas& c, bool rows, Test test) {
    std::vector<int> marked;
    for (int i = 0; i < (rows ? c.Height() : c.Width()); ++i)
        for (int j = 0; j < (rows ? c.Width() : c.Height()); ++j)
            if (test(rows ? c.Pixel(j, i) : c.Pixel(i, j))) {
                marked.push_back(i);
                break;
            }
    return marked;
}
// Where each run of adjacent marked rows (or columns) starts.
std::vector<int> RunStarts(const std::vector<int>& marked) {
    std::vector<int> starts;
    for (std::size_t k = 0; k < marked.size(); ++k)
        if (k == 0 || marked[k] != marked[k - 1] + 1) starts.push_back(marked[k]);
    return starts;
}
bool Red(COLORREF c);

// The text of a status bar part in the client's process: the bar writes it
// into memory of that process, which the test reads back.
std::string StatusPart(HWND main, int part) {
    HWND bar = GetDlgItem(main, IDC_MAIN_STATUS);
    DWORD id = 0;
    GetWindowThreadProcessId(bar, &id);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, id);
    if (!process) return "(no process)";
    std::string text = "(unread)";
    if (void* remote = VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE)) {
        DWORD_PTR result = 0;
        char buffer[512] = "";
        SIZE_T got = 0;
        if (SendMessageTimeoutA(bar, SB_GETTEXTA, part, reinterpret_cast<LPARAM>(remote), SMTO_BLOCK, 2000, &result) &&
            ReadProcessMemory(process, remote, buffer, sizeof buffer - 1, &got))
            text = buffer;
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return text;
}
// The tray tip as the shell shows it: the mouse goes to the red lamp at the
// taskbar's right end, and the text of the tool tip that comes is read.
std::string TrayTipShown() {
    HWND taskbar = FindWindowA("Shell_TrayWnd", nullptr);
    RECT tray{};
    GetWindowRect(taskbar, &tray);
    tray.left = tray.right - 48;
    const Canvas p = CaptureWindow(taskbar, &tray);
    long sx = 0, sy = 0, n = 0;
    for (int y = 0; y < p.Height(); ++y)
        for (int x = 0; x < p.Width(); ++x)
            if (Red(p.Pixel(x, y))) sx += x, sy += y, ++n;
    if (!n) return "(no red lamp)";
    POINT before = {};
    GetCursorPos(&before);
    for (int step = 0; step < 2; ++step) {  // two moves, so that the tray sees the mouse arrive and stay
        INPUT move = {};
        move.type = INPUT_MOUSE;
        move.mi.dx = (tray.left + sx / n + step) * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
        move.mi.dy = (tray.top + sy / n) * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
        move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
        SendInput(1, &move, sizeof move);
        Sleep(100);
    }
    std::string tip = "(no tip shown)";
    WaitUntil([&] {
        for (HWND t = FindWindowExA(nullptr, nullptr, "tooltips_class32", nullptr); t;
             t = FindWindowExA(nullptr, t, "tooltips_class32", nullptr))
            if (IsWindowVisible(t) && WindowText(t).find("QDX") == 0) {
                tip = WindowText(t);
                RECT shown;
                GetWindowRect(t, &shown);
                shown.left -= 60;  // with the lamp below it
                shown.bottom = tray.bottom;
                CaptureScreen(shown).Save("app", "tray-tip");
                return true;
            }
        return false;
    }, 4000);
    // The mouse goes back where it was: later tests open menus at it.
    INPUT back = {};
    back.type = INPUT_MOUSE;
    back.mi.dx = before.x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
    back.mi.dy = before.y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
    back.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &back, sizeof back);
    SetCursorPos(before.x, before.y);
    return tip;
}

int StatusParts(HWND main) {
    return static_cast<int>(SendDlgItemMessageA(main, IDC_MAIN_STATUS, SB_GETPARTS, 0, 0));
}
// "M:SS" or "H:MM:SS" as seconds.
int Seconds(const std::string& text) {
    int total = 0, field = 0;
    for (char c : text) {
        if (c == ':') {
            total = total * 60 + field;
            field = 0;
        } else if (c >= '0' && c <= '9') {
            field = field * 10 + (c - '0');
        }
    }
    return total * 60 + field;
}

bool Bright(COLORREF c) { return GetGValue(c) > 150 && GetRValue(c) < 150; }  // log text, lit segments
bool Red(COLORREF c) { return GetRValue(c) > 150 && GetGValue(c) < 110 && GetBValue(c) < 110; }

}  // namespace

TEST(ClientRun, RecordButtonRunsOneRecordingAndTheLogTellsItInOrder) {
    Bench s({"--levels", "04,06,08,06"});  // loud: the picture shows green and red
    ASSERT_TRUE(s.recorder.Started()) << s.recorder.Error();
    Process client;
    ASSERT_TRUE(client.Started());
    HWND main = client.WaitForWindow();
    ASSERT_NE(main, nullptr);

    EXPECT_TRUE(Idle(main));
    EXPECT_TRUE(WaitUntil([&] { return ControlText(main, IDC_MAIN_STATUS) == "QDX Remote Control v 1.00"; }, 5000))
        << ControlText(main, IDC_MAIN_STATUS);
    Sleep(300);
    CaptureWindow(main).Save("app", "idle");

    PostMessageA(GetDlgItem(main, IDC_MAIN_RECORD), BM_CLICK, 0, 0);
    ASSERT_TRUE(s.recorder.WaitForLine("session 1 record", kWaitMs));
    EXPECT_TRUE(WaitUntil([&] { return Recording(main); }));
    Sleep(700);  // some levels
    CaptureWindow(main).Save("app", "recording");

    PostMessageA(GetDlgItem(main, IDC_MAIN_RECORD), BM_CLICK, 0, 0);
    ASSERT_TRUE(s.recorder.WaitForLine("session 1 end", kWaitMs));
    EXPECT_TRUE(WaitUntil([&] { return Idle(main); }));
    EXPECT_TRUE(WaitUntil([&] { return ControlText(main, IDC_MAIN_LOG).find("Disconnecting from") != std::string::npos; }));
    const std::string shown = ControlText(main, IDC_MAIN_LOG);

    ExitWithNo(client, main);

    const std::string server = s.recorder.Address();
    const auto lines = LogLines(s.logs);
    int at = FindLine(lines, "QDX Remote Control Run");
    ASSERT_GE(at, 0);
    for (const std::string& text : {"Connecting to " + server, "Connected to " + server,
                                    "Disconnecting from " + server, std::string("QDX Remote Control Exit")}) {
        int next = FindLine(lines, text, at + 1);
        EXPECT_GT(next, at) << "missing or out of order: " << text;
        if (next > at) at = next;
        if (text.find("Exit") == std::string::npos) {
            EXPECT_NE(shown.find(text), std::string::npos) << "not in the log view: " << text;
        }
    }
    // Every line carries its time of day.
    for (const auto& line : lines) EXPECT_TRUE(line.size() > 9 && line[2] == ':' && line[5] == ':') << line;
}

TEST(ClientRun, KeysStartAndStopOnlyAsTheyShould) {
    Bench s;
    ASSERT_TRUE(s.recorder.Started()) << s.recorder.Error();
    Process client;
    HWND main = client.WaitForWindow();
    ASSERT_NE(main, nullptr);
    MakeForeground(main);

    // No prompt: F5 starts at once with empty data, and the previous entry is left alone.
    PressKey(VK_F5);
    ASSERT_TRUE(s.recorder.WaitForLine("session 1 record channel 0 data \"\"", kWaitMs));
    bool remembered = true;
    GetSetting("Settings", "PromptPrevious", &remembered);
    EXPECT_FALSE(remembered);
    ASSERT_TRUE(WaitUntil([&] { return Recording(main); }));
    PressKey(VK_F5);      // recording: F5 does not start another run
    PressKey(VK_RETURN);  // Enter never closes the window
    Sleep(kQuietMs);
    EXPECT_FALSE(s.SessionStarted(2));
    EXPECT_EQ(FindDialog(client.Id(), "Confirm Stop"), nullptr);
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_TRUE(Recording(main));

    PressKey(VK_F8);
    ASSERT_TRUE(s.recorder.WaitForLine("session 1 end", kWaitMs));
    ASSERT_TRUE(WaitUntil([&] { return Idle(main); }));

    // Holding F5: the repeats start nothing more.
    SendKey(VK_F5, false);
    SendKey(VK_F5, false);
    SendKey(VK_F5, false);
    SendKey(VK_F5, true);
    ASSERT_TRUE(s.recorder.WaitForLine("session 2 record", kWaitMs));
    ASSERT_TRUE(WaitUntil([&] { return Recording(main); }));
    Sleep(kQuietMs);
    EXPECT_FALSE(s.SessionStarted(3));

    // Esc stops and never closes.
    PressKey(VK_ESCAPE);
    ASSERT_TRUE(s.recorder.WaitForLine("session 2 end", kWaitMs));
    ASSERT_TRUE(WaitUntil([&] { return Idle(main); }));
    PressKey(VK_ESCAPE);
    EXPECT_EQ(FindDialog(client.Id(), "Confirm Stop"), nullptr);

    // Ctrl+F5 is not F5.
    SendKey(VK_CONTROL, false);
    PressKey(VK_F5);
    SendKey(VK_CONTROL, true);
    Sleep(kQuietMs);
    EXPECT_FALSE(s.SessionStarted(3));
    EXPECT_TRUE(IsWindowVisible(main));

    ExitWithNo(client, main);
}

TEST(ClientRun, ClosingAsksAndASecondStartBringsTheFirstBack) {
    ResetSettings();
    Process client;
    HWND main = client.WaitForWindow();
    ASSERT_NE(main, nullptr);

    // The close box: Cancel leaves everything as it was.
    PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    std::string question;
    ASSERT_TRUE(AnswerConfirmStop(client.Id(), IDCANCEL, &question));
    EXPECT_EQ(question, "Do you want QDX Recorder Remote Control to continue running in the background?");
    EXPECT_TRUE(IsWindowVisible(main));

    // Exit from the menu: Yes hides the window, the program keeps running.
    PostMessageA(main, WM_COMMAND, CM_EXIT, 0);
    ASSERT_TRUE(AnswerConfirmStop(client.Id(), IDYES));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(main); }));
    EXPECT_TRUE(IsWindow(main));

    // A second start finds the hidden window, shows it and leaves without one of its own.
    for (int i = 0; i < 2; ++i) {
        Process second;
        ASSERT_TRUE(second.Started());
        DWORD code = 1;
        ASSERT_TRUE(second.WaitForExit(kWaitMs, &code));
        EXPECT_EQ(code, 0u);
        EXPECT_EQ(FindMainWindow(second.Id()), nullptr);
        EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(main) != FALSE; }));
        EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == main; }, 3000));
        EXPECT_EQ(CountMainWindows(), 1);
        if (i == 0) SetForegroundWindow(GetDesktopWindow());  // the second round starts from elsewhere
    }

    // Alt+F4 asks the same; No ends the program.
    MakeForeground(main);
    SendKey(VK_MENU, false);
    PressKey(VK_F4);
    SendKey(VK_MENU, true);
    ASSERT_TRUE(AnswerConfirmStop(client.Id(), IDNO));
    DWORD code = 1;
    ASSERT_TRUE(client.WaitForExit(kWaitMs, &code));
    EXPECT_EQ(code, 0u);
}

TEST(ClientRun, RefusedLoginRaisesTheAlertAndBringsTheWindowBack) {
    Bench s({}, "wrong");
    ASSERT_TRUE(s.recorder.Started()) << s.recorder.Error();
    Process client;
    HWND main = client.WaitForWindow();
    ASSERT_NE(main, nullptr);

    PostMessageA(main, WM_COMMAND, CM_CLOSE_TO_TRAY, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(main); }));
    PostMessageA(main, WM_COMMAND, CM_RECORD, 0);
    ASSERT_TRUE(s.recorder.WaitForLine("refused", kWaitMs));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(main) != FALSE; }));
    EXPECT_TRUE(WaitUntil([&] {
        return ControlText(main, IDC_MAIN_LOG).find("Username or Password not accepted!") != std::string::npos;
    }));
    EXPECT_TRUE(WaitUntil([&] { return Idle(main); }));

    ExitWithNo(client, main);
    const auto lines = LogLines(s.logs);
    EXPECT_GE(FindLine(lines, "Username or Password not accepted!"), 0);
}

// The log view on the screen: dark green, then red with white text once an
// alert is raised (here by a refused login).
TEST(ClientRun, LogViewColoursOnTheScreen) {
    Bench s({}, "wrong");
    ASSERT_TRUE(s.recorder.Started()) << s.recorder.Error();
    Process client;
    HWND main = client.WaitForWindow();
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return ControlText(main, IDC_MAIN_STATUS) == "QDX Remote Control v 1.00"; }, 5000));
    Sleep(300);
    const RECT area = LogViewArea(main);
    Canvas view = CaptureWindow(main, &area);
    EXPECT_GT(view.Count(RGB(0, 51, 0)), view.Width() * view.Height() / 2) << "dark green log view";

    PostMessageA(main, WM_COMMAND, CM_RECORD, 0);
    ASSERT_TRUE(s.recorder.WaitForLine("refused", kWaitMs));
    EXPECT_TRUE(WaitUntil([&] { return Idle(main); }));
    Sleep(500);
    CaptureWindow(main).Save("app", "alert");
    Canvas alert = CaptureWindow(main, &area);
    EXPECT_GT(alert.Count(RGB(128, 0, 0)), alert.Width() * alert.Height() / 2) << "red log view";
    EXPECT_GT(alert.Count(RGB(255, 255, 255)), 20) << "white text";

    ExitWithNo(client, main);
}

// With the client in the tray, as agents keep it: a muted line for the set
// stretch is one alert that brings the window back with the log red, sound
// again a plain line, and "SilenceSeconds" 0 nothing. The recording's time
// shows in a status bar part of its own and, at the end, in the log; both
// agree with the recorder's own count. The title never changes.
TEST(ClientRun, SilenceIsAnAlertAndTheRecordingsTimeShows) {
    Bench s({"--levels", "04", "--mute-after-ms", "1500", "--mute-for-ms", "3500"});
    ASSERT_TRUE(s.recorder.Started()) << s.recorder.Error();
    SetSetting("Settings", "SilenceSeconds", "2");
    Process client;
    HWND main = client.WaitForWindow();
    ASSERT_NE(main, nullptr);
    int titleChanges = 0;
    auto watch = [&] { titleChanges += WindowText(main) != kTitle; };
    EXPECT_EQ(StatusParts(main), 1);

    PostMessageA(main, WM_COMMAND, CM_CLOSE_TO_TRAY, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(main); }));
    PostMessageA(main, WM_COMMAND, CM_RECORD, 0);
    ASSERT_TRUE(s.recorder.WaitForLine("session 1 record", kWaitMs));
    EXPECT_TRUE(WaitUntil([&] { watch(); return StatusPart(main, 1) == "Recording 0:01"; }, 3000)) << StatusPart(main, 1);
    EXPECT_EQ(StatusParts(main), 2);
    EXPECT_EQ(ControlText(main, IDC_MAIN_STATUS).find("Recording"), std::string::npos) << "the rotation keeps part 0";
    ASSERT_TRUE(s.recorder.WaitForLine("session 1 muted at", kWaitMs));
    EXPECT_FALSE(IsWindowVisible(main)) << "sound until now: still in the tray";

    // Two seconds after the line went quiet.
    EXPECT_TRUE(WaitUntil([&] { watch(); return IsWindowVisible(main) != FALSE; }, 4000)) << "the window comes back";
    EXPECT_TRUE(WaitUntil([&] {
        return ControlText(main, IDC_MAIN_LOG).find("No sound on the line for 2 seconds") != std::string::npos;
    }));
    Sleep(300);
    const RECT area = LogViewArea(main);
    const Canvas red = CaptureWindow(main, &area);
    EXPECT_GT(red.Count(RGB(128, 0, 0)), red.Width() * red.Height() / 2) << "red log view";
    CaptureWindow(main).Save("app", "silence-alert");

    ASSERT_TRUE(s.recorder.WaitForLine("session 1 sound again", kWaitMs));
    EXPECT_TRUE(WaitUntil([&] {
        watch();
        return ControlText(main, IDC_MAIN_LOG).find("Sound on the line again") != std::string::npos;
    }));
    EXPECT_TRUE(WaitUntil([&] { watch(); return StatusPart(main, 1) == "Recording 0:06"; }, 3000)) << StatusPart(main, 1);
    CaptureWindow(main).Save("app", "sound-again");
    const Heard bar = Hear(GetDlgItem(main, IDC_MAIN_STATUS));
    const std::string shownText = StatusPart(main, 1);  // read just before the stop
    const int shown = Seconds(shownText);
    PostMessageA(main, WM_COMMAND, CM_STOP, 0);
    std::string recorded;
    ASSERT_TRUE(s.recorder.WaitForLine(std::regex("session 1 recorded ms [0-9]+"), kWaitMs, &recorded));
    const double recorderSeconds = std::stod(recorded.substr(recorded.rfind(' ') + 1)) / 1000;
    EXPECT_NEAR(shown, recorderSeconds, 1.0) << recorded;
    std::printf("[ MEASURED ] status bar \"%s\" (a screen reader asking the bar hears \"%s\"), recorder: %s\n",
                shownText.c_str(), bar.name.c_str(), recorded.c_str());
    EXPECT_TRUE(WaitUntil([&] { return Idle(main); }));
    EXPECT_TRUE(WaitUntil([&] { return StatusParts(main) == 1; })) << "the time's part goes with the recording";
    EXPECT_TRUE(WaitUntil([&] { return ControlText(main, IDC_MAIN_LOG).find("Recorded for 0:0") != std::string::npos; }));
    CaptureWindow(main).Save("app", "recorded");

    // Off: the same muted stretch says nothing, and the window stays in the tray.
    SetSetting("Settings", "SilenceSeconds", "0");
    PostMessageA(main, WM_COMMAND, CM_CLOSE_TO_TRAY, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(main); }));
    PostMessageA(main, WM_COMMAND, CM_RECORD, 0);
    ASSERT_TRUE(s.recorder.WaitForLine("session 2 muted at", kWaitMs));
    const std::string tip = TrayTipShown();
    EXPECT_EQ(tip.rfind("QDX Remote Control - recording 0:0", 0), 0u) << tip;
    std::printf("[ MEASURED ] tray tip \"%s\"\n", tip.c_str());
    ASSERT_TRUE(s.recorder.WaitForLine("session 2 sound again", kWaitMs));
    Sleep(500);
    watch();
    EXPECT_FALSE(IsWindowVisible(main)) << "no alert with SilenceSeconds 0";
    PostMessageA(main, WM_COMMAND, CM_STOP, 0);
    ASSERT_TRUE(s.recorder.WaitForLine("session 2 end", kWaitMs));
    EXPECT_TRUE(WaitUntil([&] { return Idle(main); }));
    EXPECT_EQ(titleChanges, 0) << "the title stays \"QDX Remote Control\"";
    PostMessageA(main, WM_COMMAND, CM_OPEN, 0);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(main) != FALSE; }));
    ExitWithNo(client, main);

    const auto lines = LogLines(s.logs);
    auto count = [&](const std::string& text) {
        int n = 0;
        for (int at = FindLine(lines, text); at >= 0; at = FindLine(lines, text, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("No sound on the line for"), 1);
    EXPECT_EQ(count("Sound on the line again"), 1);
    EXPECT_EQ(count("Recorded for "), 2);
    const int first = FindLine(lines, "Recorded for ");
    ASSERT_GE(first, 0);
    EXPECT_GT(first, FindLine(lines, "Disconnecting from")) << "after the link's own lines";
    EXPECT_NEAR(Seconds(lines[first].substr(lines[first].find("Recorded for ") + 13)), recorderSeconds, 1.0)
        << lines[first];
    std::printf("[ MEASURED ] log: %s\n", lines[first].c_str());
}

TEST(ClientRun, RecordPromptAsksForTheDataAndRemembersIt) {
    Bench s;
    ASSERT_TRUE(s.recorder.Started()) << s.recorder.Error();
    SetSetting("Settings", "PromptForData", "1");
    Process client;
    HWND main = client.WaitForWindow();
    ASSERT_NE(main, nullptr);
    MakeForeground(main);

    // First use: default label, empty field. Typed text goes to the recorder.
    PressKey(VK_F5);
    HWND prompt = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (prompt = FindDialog(client.Id(), "Enter file number")) != nullptr; }));
    EXPECT_EQ(ControlText(prompt, IDC_TEXTEDIT_LABEL), "Enter file number");
    EXPECT_EQ(ControlText(prompt, IDC_TEXTEDIT_TEXT), "");
    WaitUntil([&] { return GetForegroundWindow() == prompt; }, 3000);
    for (WORD k : {'4', '7', '1', '1'}) PressKey(k);
    PressKey(VK_RETURN);
    ASSERT_TRUE(s.recorder.WaitForLine("session 1 record channel 0 data \"4711\"", kWaitMs));
    EXPECT_EQ(GetSetting("Settings", "PromptPrevious"), "4711");
    ASSERT_TRUE(WaitUntil([&] { return Recording(main); }));
    PostMessageA(main, WM_COMMAND, CM_STOP, 0);
    ASSERT_TRUE(s.recorder.WaitForLine("session 1 end", kWaitMs));
    ASSERT_TRUE(WaitUntil([&] { return Idle(main); }));

    // Next time the entry is offered, all selected; Cancel starts nothing.
    PostMessageA(main, WM_COMMAND, CM_RECORD, 0);
    ASSERT_TRUE(WaitUntil([&] { return (prompt = FindDialog(client.Id(), "Enter file number")) != nullptr; }));
    EXPECT_EQ(ControlText(prompt, IDC_TEXTEDIT_TEXT), "4711");
    DWORD_PTR selection = 0;
    SendMessageTimeoutA(GetDlgItem(prompt, IDC_TEXTEDIT_TEXT), EM_GETSEL, 0, 0, SMTO_BLOCK, 2000, &selection);
    EXPECT_EQ(LOWORD(selection), 0);
    EXPECT_EQ(HIWORD(selection), 4);
    PostMessageA(GetDlgItem(prompt, IDCANCEL), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(prompt); }));
    Sleep(kQuietMs);
    EXPECT_FALSE(s.SessionStarted(2));
    EXPECT_TRUE(Idle(main));
    EXPECT_EQ(GetSetting("Settings", "PromptPrevious"), "4711");

    // The same from the Record button: after Cancel it must not look pressed.
    PostMessageA(GetDlgItem(main, IDC_MAIN_RECORD), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return (prompt = FindDialog(client.Id(), "Enter file number")) != nullptr; }));
    PostMessageA(GetDlgItem(prompt, IDCANCEL), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(prompt); }));
    EXPECT_TRUE(WaitUntil([&] { return Idle(main); }, 3000));
    EXPECT_FALSE(s.SessionStarted(2));

    // OK with an empty field runs with empty data and remembers the empty entry.
    PostMessageA(main, WM_COMMAND, CM_RECORD, 0);
    ASSERT_TRUE(WaitUntil([&] { return (prompt = FindDialog(client.Id(), "Enter file number")) != nullptr; }));
    SendMessageTimeoutA(GetDlgItem(prompt, IDC_TEXTEDIT_TEXT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""),
                        SMTO_BLOCK, 2000, nullptr);
    PostMessageA(GetDlgItem(prompt, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(s.recorder.WaitForLine("session 2 record channel 0 data \"\"", kWaitMs));
    bool present = false;
    EXPECT_EQ(GetSetting("Settings", "PromptPrevious", &present), "");
    EXPECT_TRUE(present);
    ASSERT_TRUE(WaitUntil([&] { return Recording(main); }));
    PostMessageA(main, WM_COMMAND, CM_STOP, 0);
    ASSERT_TRUE(WaitUntil([&] { return Idle(main); }));

    // Another prompt text is caption and label; a hidden window comes back first.
    SetSetting("Settings", "Prompt", "Enter case code");
    PostMessageA(main, WM_COMMAND, CM_CLOSE_TO_TRAY, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(main); }));
    PostMessageA(main, WM_COMMAND, CM_RECORD, 0);
    ASSERT_TRUE(WaitUntil([&] { return (prompt = FindDialog(client.Id(), "Enter case code")) != nullptr; }));
    EXPECT_EQ(ControlText(prompt, IDC_TEXTEDIT_LABEL), "Enter case code");
    EXPECT_TRUE(IsWindowVisible(main));
    PostMessageA(GetDlgItem(prompt, IDCANCEL), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(prompt); }));

    ExitWithNo(client, main);
}

TEST(ClientRun, WorkerMessagesAreTakenSafely) {
    Bench s;
    ASSERT_TRUE(s.recorder.Started()) << s.recorder.Error();
    Process client;
    HWND main = client.WaitForWindow();
    ASSERT_NE(main, nullptr);
    HWND meter = GetDlgItem(main, IDC_MAIN_LEVEL);
    const std::string before = ControlText(main, IDC_MAIN_LOG);
    const std::size_t linesBefore = LogLines(s.logs).size();

    // Status messages that no worker of the client posted: no text, small
    // integers, and addresses of nothing or of this process's memory. Nothing
    // is read or freed and nothing is logged, the alert part included.
    PostMessageA(main, WM_COMMAND, CM_CLOSE_TO_TRAY, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(main); }));
    static const char forgedText[] = "forged";
    const LPARAM forged[] = {0, 1, 35, 0x1000, -1, static_cast<LPARAM>(0x7FFE0000),
                             reinterpret_cast<LPARAM>(forgedText), reinterpret_cast<LPARAM>(&main)};
    for (LPARAM lParam : forged)
        for (WPARAM kind : {0, 1}) PostMessageA(main, WM_LINK_STATUS, kind, lParam);
    Sleep(500);
    ASSERT_TRUE(IsWindow(main)) << "the client went down";
    EXPECT_FALSE(IsWindowVisible(main));
    EXPECT_EQ(ControlText(main, IDC_MAIN_LOG), before);
    EXPECT_EQ(LogLines(s.logs).size(), linesBefore);

    // Levels beyond a byte are clamped to -127..127 before the meter's own scale:
    // without that, 200 would wrap to -56 and -200 to +56.
    PostMessageA(main, WM_LINK_STARTED, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(meter) != FALSE; }));
    const struct {
        INT_PTR sent;
        int shown;
    } levels[] = {{300, 12}, {-300, -36}, {200, 12}, {-200, -36}, {-20, -20}, {5, 5}};
    for (const auto& l : levels) {
        PostMessageA(main, WM_LINK_LEVEL, static_cast<WPARAM>(l.sent), 0);
        EXPECT_TRUE(WaitUntil(
            [&] { return static_cast<signed char>(GetWindowWord(meter, ldbdisplay_layout::Level(0))) == l.shown; },
            3000))
            << "level " << l.sent;
    }
    PostMessageA(main, WM_LINK_ENDED, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(meter) == FALSE; }));
    EXPECT_TRUE(IsWindow(main));

    // The client's own worker is still heard.
    PostMessageA(main, WM_COMMAND, CM_RECORD, 0);
    ASSERT_TRUE(s.recorder.WaitForLine("session 1 record", kWaitMs));
    PostMessageA(main, WM_COMMAND, CM_STOP, 0);
    ASSERT_TRUE(s.recorder.WaitForLine("session 1 end", kWaitMs));
    EXPECT_TRUE(WaitUntil([&] {
        return ControlText(main, IDC_MAIN_LOG).find("Disconnecting from " + s.recorder.Address()) != std::string::npos;
    }));

    PostMessageA(main, WM_COMMAND, CM_OPEN, 0);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(main) != FALSE; }));
    ExitWithNo(client, main);
    const auto lines = LogLines(s.logs);
    EXPECT_EQ(lines.size(), linesBefore + 5) << "Connecting, Connected, Disconnecting, Recorded for, Exit";
    EXPECT_GE(FindLine(lines, "Connected to " + s.recorder.Address()), 0);
}

// Screen readers hear each control by name and the meter as a progress bar
// whose value follows the level, told of changes a few times a second at most.
// Wine's own objects for the button and the edit are generic (the button's
// checked state cannot be heard here; the check itself is read in Recording).
TEST(ClientRun, ScreenReaderHearsTheControlsAndTheLevel) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    // The level bytes the recorder sends in turn, and what is heard for each:
    // the level's place on the meter, -36 dB at 0% to +12 dB (and above) at
    // 100%: e2 (-30 dB) 13%, 01 77%, 08 92%, 40 (+64 dB) 100%.
    const std::set<std::string> sent = {"13%", "77%", "92%", "100%"};
    Bench s({"--levels", "e2,01,08,40"});
    ASSERT_TRUE(s.recorder.Started()) << s.recorder.Error();
    Process client;
    HWND main = client.WaitForWindow();
    ASSERT_NE(main, nullptr);
    HWND meter = GetDlgItem(main, IDC_MAIN_LEVEL);

    const struct {
        int id;
        long role;  // 0: what Wine's proxy gives is not checked
        const char* name;
    } controls[] = {
        {IDC_MAIN_RECORD, 0, "Record"},
        {IDC_MAIN_LOG, ROLE_SYSTEM_TEXT, "Activity log"},
        {IDC_MAIN_LEVEL, ROLE_SYSTEM_PROGRESSBAR, "Level"},
    };
    for (const auto& c : controls) {
        const Heard heard = Hear(GetDlgItem(main, c.id));
        EXPECT_TRUE(heard.answered) << c.name;
        if (c.role) {
            EXPECT_EQ(heard.role, c.role) << c.name;
        }
        EXPECT_EQ(heard.name, c.name);
    }
    EXPECT_EQ(Hear(meter).value, "") << "a grey meter shows no level";

    eventWindow = meter;
    valueEvents = 0;
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_VALUECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr,
                                         CountValueEvent, client.Id(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    PostMessageA(GetDlgItem(main, IDC_MAIN_RECORD), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return Recording(main); }));
    EXPECT_TRUE(WaitUntil([&] { return !Hear(meter).value.empty(); })) << "levels shown";
    valueEvents = 0;
    std::set<std::string> values;
    const DWORD start = GetTickCount();
    WaitUntil([&] {
        const std::string value = Hear(meter).value;
        EXPECT_EQ(sent.count(value), 1u) << "heard " << value << ", no level sent";
        values.insert(value);
        return false;
    }, 2000);
    const DWORD seconds = (GetTickCount() - start + 999) / 1000;
    EXPECT_GE(values.size(), 2u) << "the value follows the level";
    EXPECT_GE(valueEvents, 1);
    EXPECT_LE(valueEvents, static_cast<int>(4 * seconds + 1)) << "levels come 20 a second; events at most 4";
    UnhookWinEvent(hook);

    PostMessageA(GetDlgItem(main, IDC_MAIN_RECORD), BM_CLICK, 0, 0);
    ASSERT_TRUE(s.recorder.WaitForLine("session 1 end", kWaitMs));
    ExitWithNo(client, main);
    CoUninitialize();
}

// Without the mouse: Tab walks the main window (Record button, log) and the
// settings dialog in their order, and the focus on the Record button is seen.
TEST(ClientRun, TabWalksTheMainWindowAndTheSettingsDialog) {
    Bench s;
    ASSERT_TRUE(s.recorder.Started()) << s.recorder.Error();
    Process client;
    HWND main = client.WaitForWindow();
    ASSERT_NE(main, nullptr);
    MakeForeground(main);
    HWND button = GetDlgItem(main, IDC_MAIN_RECORD);
    ASSERT_TRUE(WaitUntil([&] { return FocusOf(main) == button; }, 3000)) << "the window opens on the Record button";

    Sleep(200);
    const Canvas focused = CaptureWindow(button);
    for (const int id : {IDC_MAIN_LOG, IDC_MAIN_RECORD, IDC_MAIN_LOG}) {
        PressKey(VK_TAB);
        EXPECT_TRUE(WaitUntil([&] { return FocusOf(main) == GetDlgItem(main, id); }, 3000)) << "Tab to " << id;
    }
    Sleep(200);
    const Canvas unfocused = CaptureWindow(button);
    int differ = 0;
    for (int y = 0; y < focused.Height() && y < unfocused.Height(); ++y)
        for (int x = 0; x < focused.Width() && x < unfocused.Width(); ++x)
            differ += focused.Pixel(x, y) != unfocused.Pixel(x, y);
    EXPECT_GT(differ, 20) << "a focus mark on the button";

    // With the focus in the log, F5 still starts and Esc still stops.
    PressKey(VK_F5);
    EXPECT_TRUE(WaitUntil([&] { return Recording(main); }));
    PressKey(VK_ESCAPE);
    EXPECT_TRUE(WaitUntil([&] { return Idle(main); }));
    EXPECT_EQ(FocusOf(main), GetDlgItem(main, IDC_MAIN_LOG));

    // The settings dialog from the menu by keys, walked to its end and round.
    for (const WORD key : {static_cast<WORD>(VK_MENU), static_cast<WORD>('F'), static_cast<WORD>('S')}) PressKey(key);
    HWND dialog = nullptr;
    WaitUntil([&] { return (dialog = FindDialog(client.Id(), "Settings")) != nullptr; }, 5000);
    ASSERT_NE(dialog, nullptr) << "Settings reached from the menu";
    const int order[] = {IDC_SETTINGS_SERVER, IDC_SETTINGS_CHANNEL, IDC_SETTINGS_USER, IDC_SETTINGS_PASSWORD,
                         IDC_SETTINGS_PROMPT, IDC_SETTINGS_HOTKEYS, IDOK, IDCANCEL, IDHELP, IDC_SETTINGS_SERVER};
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(dialog) == GetDlgItem(dialog, order[0]); }, 3000));
    for (std::size_t i = 1; i < sizeof order / sizeof order[0]; ++i) {
        PressKey(VK_TAB);
        EXPECT_TRUE(WaitUntil([&] { return FocusOf(dialog) == GetDlgItem(dialog, order[i]); }, 3000))
            << "Tab to " << order[i];
    }
    PressKey(VK_ESCAPE);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, 3000));
    ExitWithNo(client, main);
}

// At 144 and 192 DPI the log's font and the Record button's lamp grow with the
// dialog, the meter keeps its segments, and every control stays inside the
// window. The prefix's DPI is read by each program as it starts.
TEST(ClientRun, InProportionAtEveryDpi) {
    RegValueGuard logPixels(HKEY_CURRENT_USER, "Control Panel\\Desktop", "LogPixels");
    Bench s({"--levels", "04,06,08,06"});
    ASSERT_TRUE(s.recorder.Started()) << s.recorder.Error();
    int lamp96 = 0, bar96 = 0;
    for (const DWORD dpi : {96u, 144u, 192u}) {
        SCOPED_TRACE(testing::Message() << dpi << " DPI");
        logPixels.Set(REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
        Process client;
        HWND main = client.WaitForWindow();
        ASSERT_NE(main, nullptr);
        PostMessageA(GetDlgItem(main, IDC_MAIN_RECORD), BM_CLICK, 0, 0);
        ASSERT_TRUE(WaitUntil([&] { return Recording(main); }));
        ASSERT_TRUE(WaitUntil([&] { return ControlText(main, IDC_MAIN_LOG).find("Connected to") != std::string::npos; }));
        Sleep(700);  // some levels
        CaptureWindow(main).Save("app", "dpi" + std::to_string(dpi));

        // Each log line starts with its time, so the tops of the first two
        // lines are a line height apart; the lamp's width is its red columns'.
        const std::vector<int> lines = RunStarts(Marked(CaptureControl(main, IDC_MAIN_LOG), true, Bright));
        const std::vector<int> red = Marked(CaptureControl(main, IDC_MAIN_RECORD), false, Red);
        ASSERT_GE(lines.size(), 2u);
        ASSERT_FALSE(red.empty());
        const int pitch = lines[1] - lines[0];
        const int lamp = red.back() - red.front() + 1;
        // The font's 13 pixels at 96 DPI, as the font mapper rounds them.
        EXPECT_NEAR(pitch, MulDiv(13, dpi, 96), 1);
        HWND bar = FindWindowExA(GetDlgItem(main, IDC_MAIN_LOG), nullptr, "ScrollBar", nullptr);
        RECT barArea = {};
        ASSERT_TRUE(bar && GetWindowRect(bar, &barArea));
        const int barWidth = barArea.right - barArea.left;
        if (dpi == 96) {
            lamp96 = lamp;
            bar96 = barWidth;
            EXPECT_GE(lamp, 20);
        } else {
            EXPECT_NEAR(lamp, MulDiv(lamp96, dpi, 96), 1);
            EXPECT_NEAR(barWidth, MulDiv(bar96, dpi, 96), 1) << "the log view's scroll bar";
        }
        EXPECT_GE(RunStarts(Marked(CaptureControl(main, IDC_MAIN_LEVEL), false, Bright)).size(), 3u)
            << "lit segments with stripes between them";

        RECT area;
        GetClientRect(main, &area);
        for (const int id : {IDC_MAIN_RECORD, IDC_MAIN_RECORD_LABEL, IDC_MAIN_LOG, IDC_MAIN_LEVEL, IDC_MAIN_STATUS}) {
            RECT r;
            GetWindowRect(GetDlgItem(main, id), &r);
            MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&r), 2);
            EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= area.right && r.bottom <= area.bottom)
                << "control " << id << " cut off";
        }

        PostMessageA(GetDlgItem(main, IDC_MAIN_RECORD), BM_CLICK, 0, 0);
        ASSERT_TRUE(WaitUntil([&] { return Idle(main); }));

        // The about box is laid out around its picture, 340 pixels wide at 96 DPI.
        PostMessageA(main, WM_COMMAND, CM_ABOUT, 0);
        HWND about = nullptr;
        ASSERT_TRUE(WaitUntil([&] { return (about = FindDialog(client.Id(), "About QDX Remote Control")) != nullptr; }));
        Sleep(300);
        CaptureWindow(about).Save("app", "about" + std::to_string(dpi));
        RECT picture, ok, box;
        GetWindowRect(GetDlgItem(about, IDC_ABOUT_PICTURE), &picture);
        GetWindowRect(GetDlgItem(about, IDOK), &ok);
        GetClientRect(about, &box);
        MapWindowPoints(about, nullptr, reinterpret_cast<POINT*>(&box), 2);
        EXPECT_NEAR(picture.right - picture.left, MulDiv(340, dpi, 96), 1);
        EXPECT_TRUE(ok.right <= box.right && ok.bottom <= box.bottom) << "OK cut off";
        if (dpi == 96) {  // moved to a monitor of 192 DPI, as the system would tell it
            SendMessageA(about, WM_DPICHANGED, MAKEWPARAM(192, 192), 0);
            EXPECT_TRUE(WaitUntil([&] {
                GetWindowRect(GetDlgItem(about, IDC_ABOUT_PICTURE), &picture);
                return picture.right - picture.left == 680;
            }, 3000));
        }
        PostMessageA(about, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(about); }));
        ExitWithNo(client, main);
    }
}
