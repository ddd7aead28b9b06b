// The real client, qdxremote.exe, started by the test and driven from
// outside like a user would: clicks, keys, the close box, a second start,
// against the substitute recorder.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "canvas.h"
#include "client_driver.h"
#include "net/link_messages.h"
#include "res/resource.h"
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
    EXPECT_EQ(lines.size(), linesBefore + 4) << "Connecting, Connected, Disconnecting, Exit";
    EXPECT_GE(FindLine(lines, "Connected to " + s.recorder.Address()), 0);
}
