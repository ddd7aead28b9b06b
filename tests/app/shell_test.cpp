// The client's shell around its main window, on the real qdxremote.exe: the
// tray icon and its menu, the system-wide hot keys, the settings dialog, the
// about box, help and web links.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <cstdio>
#include <string>
#include <vector>

#include "app/help.h"
#include "app/maindialog.h"
#include "canvas.h"
#include "client_driver.h"
#include "help_reader.h"
#include "res/resource.h"
#include "ui/dpi.h"

using namespace client;
using namespace qdxtest;

namespace {

constexpr UINT kTrayId = 24;
constexpr char kSettingsCaption[] = "Settings";
constexpr char kAboutCaption[] = "About QDX Remote Control";

// Whether the shell knows an icon of that window and id: only a known icon can
// be modified.
bool TrayIconExists(HWND window, UINT id) {
    NOTIFYICONDATAA data = {};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = window;
    data.uID = id;
    data.uFlags = NIF_TIP;
    lstrcpynA(data.szTip, "QDX Remote Control", 64);
    return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

// Whether some other program holds the key as a system-wide hot key: then
// this process cannot have it.
bool KeyTaken(UINT key) {
    if (!RegisterHotKey(nullptr, 0x7FF0, 0, key)) return true;
    UnregisterHotKey(nullptr, 0x7FF0);
    return false;
}
bool F5Taken() { return KeyTaken(VK_F5); }

// A top-level window of that class belonging to the process, or null.
HWND FindOwnedWindow(DWORD processId, const char* className) {
    struct Search {
        DWORD pid;
        const char* cls;
        HWND found;
    } s{processId, className, nullptr};
    EnumWindows(
        [](HWND w, LPARAM p) WINAPI -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            char cls[64] = "";
            GetClassNameA(w, cls, sizeof cls);
            if (pid == s->pid && strcmp(cls, s->cls) == 0 && IsWindowVisible(w)) s->found = w;
            return s->found == nullptr;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

// Where a control lies in its dialog's client area: "x,y wxh".
std::string Place(HWND dialog, int id) {
    RECT r = {};
    GetWindowRect(GetDlgItem(dialog, id), &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
           std::to_string(r.bottom - r.top);
}

HWND OpenDialog(Process& client, HWND main, WORD command, const char* caption) {
    PostMessageA(main, WM_COMMAND, command, 0);
    HWND dialog = nullptr;
    WaitUntil([&] { return (dialog = FindDialog(client.Id(), caption)) != nullptr && IsWindowVisible(dialog); });
    return dialog;
}

// The tray at the right end of the taskbar of Wine's desktop, as the screen
// shows it.
Canvas TrayPicture() {
    HWND taskbar = FindWindowA("Shell_TrayWnd", nullptr);
    RECT tray{};
    GetWindowRect(taskbar, &tray);
    tray.left = tray.right - 48;
    return CaptureWindow(taskbar, &tray);
}

// The lamp the tray shows (the client's is its only icon): 'r' red, 'o'
// orange, '?' neither.
char TrayLamp() {
    const Canvas p = TrayPicture();
    const int red = p.CountIf([](COLORREF c) { return GetRValue(c) > 150 && GetGValue(c) < 70 && GetBValue(c) < 70; });
    const int orange = p.CountIf([](COLORREF c) {
        return GetRValue(c) > 200 && GetGValue(c) > 100 && GetGValue(c) < 200 && GetBValue(c) < 90;
    });
    return red > 40 && red > 4 * orange ? 'r' : orange > 40 && orange > 4 * red ? 'o' : '?';
}

bool Closed(HWND dialog) {
    return WaitUntil([&] { return !IsWindow(dialog); });
}

}  // namespace

TEST(Shell, TrayIconOpensTheWindowAndItsMenuRecords) {
    Bench bench;
    RecorderProcess& recorder = bench.recorder;
    ASSERT_TRUE(recorder.Started()) << recorder.Error();
    Process client;
    HWND main = client.WaitForWindow();
    ASSERT_NE(main, nullptr);

    // Added just after the window shows, not before it.
    EXPECT_TRUE(WaitUntil([&] { return TrayIconExists(main, kTrayId); }, 1000));
    EXPECT_FALSE(TrayIconExists(main, kTrayId + 1));

    // A left click brings a hidden window back and to the front.
    PostMessageA(main, WM_COMMAND, CM_CLOSE_TO_TRAY, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(main); }));
    PostMessageA(main, WM_TRAYNOTIFY, kTrayId, WM_LBUTTONUP);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(main) && GetForegroundWindow() == main; }));

    // A right click opens the menu (its items are read in the next test).
    PostMessageA(main, WM_TRAYNOTIFY, kTrayId, WM_RBUTTONDOWN);
    HWND popup = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (popup = FindOwnedWindow(client.Id(), "#32768")) != nullptr; }));
    Sleep(300);

    PressKey('R');  // "&Record Call"
    EXPECT_TRUE(recorder.WaitForLine("session 1 record", kWaitMs));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(popup); }));
    EXPECT_TRUE(WaitUntil([&] { return Checked(main, IDC_MAIN_RECORD); }));
    PostMessageA(main, WM_COMMAND, CM_STOP, 0);
    EXPECT_TRUE(recorder.WaitForLine("session 1 end", kWaitMs));
    EXPECT_TRUE(WaitUntil([&] { return !Checked(main, IDC_MAIN_RECORD); }));

    // A shell that lost the icon without a word: closing to the tray adds it
    // again, or the hidden window could not be reached.
    NOTIFYICONDATAA lost = {};
    lost.cbSize = NOTIFYICONDATAA_V1_SIZE;
    lost.hWnd = main;
    lost.uID = kTrayId;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &lost));
    PostMessageA(main, WM_COMMAND, CM_CLOSE_TO_TRAY, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(main) && TrayIconExists(main, kTrayId); }));

    ExitWithNo(client, main);
    EXPECT_FALSE(TrayIconExists(main, kTrayId)) << "the icon goes with the client";
}

// The tray on the screen: the menu opens at the cursor, the lamp is red while
// recording and orange when idle.
TEST(Shell, TrayMenuAtTheCursorAndLampColours) {
    Bench bench;
    RecorderProcess& recorder = bench.recorder;
    ASSERT_TRUE(recorder.Started()) << recorder.Error();
    Process client;
    HWND main = client.WaitForWindow();
    ASSERT_NE(main, nullptr);

    PostMessageA(main, WM_TRAYNOTIFY, kTrayId, WM_RBUTTONDOWN);
    HWND popup = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (popup = FindOwnedWindow(client.Id(), "#32768")) != nullptr; }));
    Sleep(300);
    RECT at = {};
    GetWindowRect(popup, &at);
    POINT cursor = {};
    GetCursorPos(&cursor);
    EXPECT_EQ(at.left, cursor.x);
    EXPECT_EQ(at.top, cursor.y);
    CaptureWindow(popup).Save("app", "tray-menu");
    PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(popup); }));

    PostMessageA(main, WM_COMMAND, CM_RECORD, 0);
    EXPECT_TRUE(recorder.WaitForLine("session 1 record", kWaitMs));
    EXPECT_TRUE(WaitUntil([&] { return TrayLamp() == 'r'; }, 3000)) << "red lamp while recording";
    TrayPicture().Save("app", "tray-recording");

    // A restarted shell has forgotten every icon and says so to all windows:
    // the icon comes back with the lamp of the moment, also to a hidden window.
    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    auto shellRestarts = [&] {
        NOTIFYICONDATAA gone = {};
        gone.cbSize = NOTIFYICONDATAA_V1_SIZE;
        gone.hWnd = main;
        gone.uID = kTrayId;
        ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &gone));
        ASSERT_FALSE(TrayIconExists(main, kTrayId));
        PostMessageA(HWND_BROADCAST, taskbarCreated, 0, 0);
        EXPECT_TRUE(WaitUntil([&] { return TrayIconExists(main, kTrayId); }));
    };
    PostMessageA(main, WM_COMMAND, CM_CLOSE_TO_TRAY, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(main); }));
    shellRestarts();
    EXPECT_TRUE(WaitUntil([&] { return TrayLamp() == 'r'; }, 3000)) << "red lamp after the shell's restart";

    PostMessageA(main, WM_COMMAND, CM_STOP, 0);
    EXPECT_TRUE(recorder.WaitForLine("session 1 end", kWaitMs));
    EXPECT_TRUE(WaitUntil([&] { return TrayLamp() == 'o'; }, 3000)) << "orange lamp when idle";
    shellRestarts();
    EXPECT_TRUE(WaitUntil([&] { return TrayLamp() == 'o'; }, 3000)) << "orange lamp after the shell's restart";

    // The window alone moves to a monitor of 192 DPI (Wine has one DPI for
    // all, so the message is sent as the system would send it): the tray's
    // lamp, at the taskbar's DPI, stays as it was. The picture to compare with
    // is taken after a move to a monitor of the same DPI, so that the shell
    // has drawn the lamp the same way both times (where it draws a lamp over
    // itself, its smoothed edge darkens).
    PostMessageA(main, WM_DPICHANGED, MAKEWPARAM(96, 96), 0);
    Sleep(500);
    const Canvas before = TrayPicture();
    PostMessageA(main, WM_DPICHANGED, MAKEWPARAM(192, 192), 0);
    Sleep(500);
    const Canvas after = TrayPicture();
    int differ = 0;
    for (int y = 0; y < before.Height() && y < after.Height(); ++y)
        for (int x = 0; x < before.Width() && x < after.Width(); ++x) differ += before.Pixel(x, y) != after.Pixel(x, y);
    EXPECT_EQ(differ, 0) << "the tray lamp changed with the window's DPI";

    ExitWithNo(client, main);
}

namespace {

// Wine keeps a menu's items in the process that made it, so the tray menu's
// items are read from a main window object of this process. A second thread
// reads the open menu while the window's thread tracks it, then closes it.
class TrayMenuProbe : public MainDialog {
public:
    UINT defaultItem = 0;
    std::string defaultText;
    bool foreground = false;

    void InitDialog() override {
        MainDialog::InitDialog();
        PostMessageA(hwnd, WM_APP, 0, 0);
    }
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message != WM_APP) return MainDialog::DialogProc(message, wParam, lParam);
        ShowWindow(hwnd, SW_HIDE);  // in the tray, as the menu is mostly used
        HANDLE reader = CreateThread(nullptr, 0, ReadMenu, this, 0, nullptr);
        EvTrayNotify(WM_RBUTTONDOWN);  // returns when the menu has closed
        if (reader) {
            WaitForSingleObject(reader, kWaitMs);
            CloseHandle(reader);
        }
        Close(0);
        return TRUE;
    }

private:
    static DWORD WINAPI ReadMenu(void* p) {
        auto* self = static_cast<TrayMenuProbe*>(p);
        HWND popup = nullptr;
        if (!WaitUntil([&] { return (popup = FindOwnedWindow(GetCurrentProcessId(), "#32768")) != nullptr; })) return 0;
        self->foreground = GetForegroundWindow() == self->hwnd;
        HMENU menu = reinterpret_cast<HMENU>(SendMessageA(popup, MN_GETHMENU, 0, 0));
        self->defaultItem = GetMenuDefaultItem(menu, FALSE, 0);
        char text[64] = "";
        GetMenuStringA(menu, self->defaultItem, text, sizeof text, MF_BYCOMMAND);
        self->defaultText = text;
        PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
        return 0;
    }
};

}  // namespace

TEST(Shell, TrayMenuHasOpenAsItsDefaultItem) {
    ResetSettings();
    TrayMenuProbe probe;
    ASSERT_TRUE(probe.Open(nullptr, MAKEINTRESOURCEA(IDD_MAIN)));
    EXPECT_EQ(probe.defaultItem, static_cast<UINT>(CM_OPEN));
    EXPECT_EQ(probe.defaultText, "Open QDX Remote Control");
    EXPECT_TRUE(probe.foreground) << "the menu's owner comes to the front, or the menu would not close";
}

TEST(Shell, SettingsDialogStoresOnOkOnlyAndSwitchesTheHotKeysAtOnce) {
    ResetSettings();
    ASSERT_FALSE(F5Taken());
    Process client;
    HWND main = client.WaitForWindow();
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(WaitUntil([] { return F5Taken(); })) << "hot keys are on by default";

    // First opening on a clean store: the proposals; Cancel after edits stores nothing.
    HWND dialog = OpenDialog(client, main, CM_SETTINGS, kSettingsCaption);
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(F5Taken()) << "the keys are let go while the dialog is open";
    EXPECT_EQ(ControlText(dialog, IDC_SETTINGS_SERVER), "localhost");
    EXPECT_EQ(ControlText(dialog, IDC_SETTINGS_CHANNEL), "1");
    EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_SETTINGS_CHANNEL, CB_GETCOUNT, 0, 0), 32);
    EXPECT_EQ(ControlText(dialog, IDC_SETTINGS_USER), "");
    EXPECT_EQ(ControlText(dialog, IDC_SETTINGS_PASSWORD), "");
    EXPECT_FALSE(Checked(dialog, IDC_SETTINGS_PROMPT));
    EXPECT_TRUE(Checked(dialog, IDC_SETTINGS_HOTKEYS));
    CaptureWindow(dialog).Save("app", "settings");
    SendDlgItemMessageA(dialog, IDC_SETTINGS_CHANNEL, CB_SETCURSEL, 5, 0);
    SendDlgItemMessageA(dialog, IDC_SETTINGS_HOTKEYS, BM_SETCHECK, BST_UNCHECKED, 0);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(Closed(dialog));
    for (const char* name : {"Server", "RecordChannel", "UserName", "Password", "PromptForData", "UseHotKeys"}) {
        bool present = true;
        GetSetting("Settings", name, &present);
        EXPECT_FALSE(present) << name;
    }
    EXPECT_TRUE(F5Taken()) << "taken again by the setting as it was";

    // Channel 12 is stored as its index; hot keys off let go of F5 at once.
    dialog = OpenDialog(client, main, CM_SETTINGS, kSettingsCaption);
    ASSERT_NE(dialog, nullptr);
    SendDlgItemMessageA(dialog, IDC_SETTINGS_CHANNEL, CB_SETCURSEL, 11, 0);
    SendDlgItemMessageA(dialog, IDC_SETTINGS_HOTKEYS, BM_SETCHECK, BST_UNCHECKED, 0);
    SendDlgItemMessageA(dialog, IDC_SETTINGS_PROMPT, BM_SETCHECK, BST_CHECKED, 0);
    SetDlgItemTextA(dialog, IDC_SETTINGS_USER, "bob");
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(Closed(dialog));
    EXPECT_EQ(GetSetting("Settings", "Server"), "localhost");
    EXPECT_EQ(GetSetting("Settings", "RecordChannel"), "11");
    EXPECT_EQ(GetSetting("Settings", "UserName"), "bob");
    EXPECT_EQ(GetSetting("Settings", "PromptForData"), "1");
    EXPECT_EQ(GetSetting("Settings", "UseHotKeys"), "0");
    EXPECT_FALSE(F5Taken());

    // An index outside the list opens with no selection and OK stores -1;
    // hot keys on take F5 at once.
    SetSetting("Settings", "RecordChannel", "40");
    dialog = OpenDialog(client, main, CM_SETTINGS, kSettingsCaption);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_SETTINGS_CHANNEL, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(ControlText(dialog, IDC_SETTINGS_USER), "bob");
    EXPECT_FALSE(Checked(dialog, IDC_SETTINGS_HOTKEYS));
    SendDlgItemMessageA(dialog, IDC_SETTINGS_HOTKEYS, BM_SETCHECK, BST_CHECKED, 0);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(Closed(dialog));
    EXPECT_EQ(GetSetting("Settings", "RecordChannel"), "-1");
    EXPECT_TRUE(F5Taken());

    ExitWithNo(client, main);
}

// Holding F5, with the window in the tray and the hot key doing the work:
// one run, or one prompt, however many auto-repeats come. The repeats come in
// one batch, as they would to a client busy for a moment.
TEST(Shell, HeldHotKeyActsOnce) {
    for (const bool prompt : {false, true}) {
        SCOPED_TRACE(prompt ? "prompt on" : "prompt off");
        Bench bench;
        ASSERT_TRUE(bench.recorder.Started()) << bench.recorder.Error();
        SetSetting("Settings", "PromptForData", prompt ? "1" : "0");
        Process client;
        HWND main = client.WaitForWindow();
        ASSERT_NE(main, nullptr);
        ASSERT_TRUE(WaitUntil([] { return F5Taken(); }));
        PostMessageA(main, WM_COMMAND, CM_CLOSE_TO_TRAY, 0);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(main); }));
        // The keys are pressed in another application's window.
        qdx::UniqueWindow other = ShowParentWindow("Other application", 300, 100);
        MakeForeground(other.Get());

        SendKey(VK_F5, false, 8);
        if (prompt) {
            EXPECT_TRUE(WaitUntil([&] { return FindDialog(client.Id(), "Enter file number") != nullptr; }));
        }
        Sleep(1200);
        SendKey(VK_F5, true);
        if (prompt) {
            EXPECT_EQ(CountDialogs(client.Id(), "Enter file number"), 1);
            PressKey(VK_F5);  // pressed afresh while the prompt is up
            Sleep(500);
            EXPECT_EQ(CountDialogs(client.Id(), "Enter file number"), 1);
            HWND box = FindDialog(client.Id(), "Enter file number");
            ASSERT_NE(box, nullptr);
            PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        }
        ASSERT_TRUE(bench.recorder.WaitForLine("session 1 record", kWaitMs));
        ASSERT_TRUE(WaitUntil([&] { return Checked(main, IDC_MAIN_RECORD); }));
        Sleep(1000);
        EXPECT_EQ(CountDialogs(client.Id(), "Enter file number"), 0);
        EXPECT_FALSE(bench.recorder.WaitForLine("session 2 start", 0));
        PostMessageA(main, WM_COMMAND, CM_STOP, 0);
        ASSERT_TRUE(bench.recorder.WaitForLine("session 1 end", kWaitMs));
        other.Reset();
        ExitWithNo(client, main);
    }
}

// Another program holds F5: the log says so once, the client still takes F8,
// and F5 typed in the window records.
TEST(Shell, HotKeyHeldElsewhereIsLoggedAndTheWindowKeyStillRecords) {
    Bench bench;
    ASSERT_TRUE(bench.recorder.Started()) << bench.recorder.Error();
    ASSERT_TRUE(RegisterHotKey(nullptr, 0x7FF1, 0, VK_F5));
    Process client;
    HWND main = client.WaitForWindow();
    ASSERT_NE(main, nullptr);
    const char kInUse[] = "Hot key F5 is in use by another program: press F5 in this window to record";
    EXPECT_TRUE(WaitUntil([&] { return ControlText(main, IDC_MAIN_LOG).find(kInUse) != std::string::npos; }));
    EXPECT_TRUE(WaitUntil([] { return KeyTaken(VK_F8); }));
    UnregisterHotKey(nullptr, 0x7FF1);

    MakeForeground(main);
    PressKey(VK_F5);
    ASSERT_TRUE(bench.recorder.WaitForLine("session 1 record", kWaitMs));
    PostMessageA(main, WM_COMMAND, CM_STOP, 0);
    ASSERT_TRUE(bench.recorder.WaitForLine("session 1 end", kWaitMs));
    ExitWithNo(client, main);

    const auto lines = LogLines(bench.logs);
    const int at = FindLine(lines, kInUse);
    EXPECT_GT(at, FindLine(lines, "QDX Remote Control Run"));
    EXPECT_EQ(FindLine(lines, kInUse, at + 1), -1) << "once";
    EXPECT_EQ(FindLine(lines, "Hot key F8"), -1);
}

namespace {

// The Unix path Wine gives a file of this process's view (relative to the
// current directory).
std::string UnixPath(const char* dosPath) {
    using Convert = char*(CDECL*)(const wchar_t*);
    auto convert = reinterpret_cast<Convert>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    wchar_t full[MAX_PATH] = L"";
    const std::string dos(dosPath);
    if (!convert || !GetFullPathNameW(std::wstring(dos.begin(), dos.end()).c_str(), MAX_PATH, full, nullptr))
        return "";
    char* path = convert(full);
    if (!path) return "";
    std::string result = path;
    HeapFree(GetProcessHeap(), 0, path);
    return result;
}

// Wine opens web addresses with the program named by the value "Browsers" of
// HKCU Software\Wine\WineBrowser (a Unix path), the address as its argument. This one
// is a shell script that appends the address to a file. Wine gives files
// named .exe the Unix execute bits, so the script carries that name.
class BrowserRecorder {
public:
    BrowserRecorder() {
        CreateDirectoryA("artefacts", nullptr);
        CreateDirectoryA("artefacts\\app", nullptr);
        Clear();
        const std::string script = UnixPath("artefacts\\app\\browser.exe");
        FILE* f = fopen("artefacts\\app\\browser.exe", "wb");
        if (!f || script.empty()) return;
        fprintf(f, "#!/bin/sh\nprintf '%%s\\n' \"$1\" >> '%s'\n", UnixPath(kList).c_str());
        fclose(f);
        ready_ = RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\Wine\\WineBrowser", "Browsers", REG_SZ, script.c_str(),
                                 static_cast<DWORD>(script.size() + 1)) == 0;
    }
    ~BrowserRecorder() { RegDeleteKeyValueA(HKEY_CURRENT_USER, "Software\\Wine\\WineBrowser", "Browsers"); }
    bool Ready() const { return ready_; }
    // The addresses opened so far, sorted (each launch runs on its own).
    std::vector<std::string> Opened() const {
        std::vector<std::string> lines;
        char line[1024];
        if (FILE* f = fopen(kList, "rb")) {
            while (fgets(line, sizeof line, f)) lines.emplace_back(line, strcspn(line, "\r\n"));
            fclose(f);
        }
        std::sort(lines.begin(), lines.end());
        return lines;
    }
    bool WaitForCount(std::size_t n) const {
        return WaitUntil([&] { return Opened().size() >= n; });
    }
    void Clear() const { DeleteFileA(kList); }

private:
    static constexpr char kList[] = "artefacts\\app\\browser-opened.txt";
    bool ready_ = false;
};

std::string Page(const char* key) {
    return std::string("http://www.tallowind.example/") + key + ".html";
}

}  // namespace

TEST(Shell, AboutBoxAndWebLinksOpenTheMakersPagesOnly) {
    ResetSettings();
    BrowserRecorder browser;
    ASSERT_TRUE(browser.Ready());

    // Keys that are not plain page paths of the maker's site, or do not fit
    // the address, open nothing.
    const std::string tooLong(300, 'a');
    for (const char* key : {tooLong.c_str(), "", "x\" --new-window \"http://elsewhere.example", "../x",
                            "@elsewhere.example/x", "x?y", "a b", "x\\y"})
        EXPECT_FALSE(MainDialog::OpenWebPage(key)) << key;
    EXPECT_FALSE(MainDialog::OpenWebPage(nullptr));
    const std::string longest(320 - 1 - Page("").size(), 'a');  // the address and its terminator fill 320 bytes
    EXPECT_FALSE(MainDialog::OpenWebPage((longest + "a").c_str()));
    EXPECT_TRUE(MainDialog::OpenWebPage(longest.c_str()));
    ASSERT_TRUE(browser.WaitForCount(1));
    EXPECT_EQ(browser.Opened(), std::vector<std::string>{Page(longest.c_str())});
    browser.Clear();

    Process client;
    HWND main = client.WaitForWindow();
    ASSERT_NE(main, nullptr);

    // The box is laid out around the 340 x 198 picture.
    HWND box = OpenDialog(client, main, CM_ABOUT, kAboutCaption);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(Place(box, IDC_ABOUT_PICTURE), "0,0 340x286");
    RECT ok = {};
    GetWindowRect(GetDlgItem(box, IDOK), &ok);
    const int u = ok.bottom - ok.top;  // the buttons' height, from the dialog's font
    EXPECT_GT(u, 9);
    EXPECT_EQ(Place(box, IDOK), "234,294 100x" + std::to_string(u));
    EXPECT_EQ(Place(box, IDC_ABOUT_WEB), "4,294 140x" + std::to_string(u));
    RECT area = {};
    GetClientRect(box, &area);
    EXPECT_EQ(area.right, 340);
    EXPECT_EQ(area.bottom, 198 + 103 + u);
    CaptureWindow(box).Save("app", "about");

    // The web button opens the product's page and leaves the box open; Esc closes it.
    PostMessageA(GetDlgItem(box, IDC_ABOUT_WEB), BM_CLICK, 0, 0);
    ASSERT_TRUE(browser.WaitForCount(1));
    EXPECT_EQ(browser.Opened(), std::vector<std::string>{Page("qdx/index")});
    EXPECT_TRUE(IsWindowVisible(box));
    MakeForeground(box);
    PressKey(VK_ESCAPE);
    EXPECT_TRUE(Closed(box));
    // The close box and OK close it too.
    box = OpenDialog(client, main, CM_ABOUT, kAboutCaption);
    ASSERT_NE(box, nullptr);
    PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(Closed(box));
    box = OpenDialog(client, main, CM_ABOUT, kAboutCaption);
    ASSERT_NE(box, nullptr);
    PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(Closed(box));

    // Every entry of the Internet Resources menu opens its page.
    browser.Clear();
    std::vector<std::string> expected = {Page("qdx/index"), Page("software/index"), Page("index")};
    for (const char* product : {"dictation", "calllogger", "wavecutter", "formatswitch", "minutes", "phonedesk",
                                "typist", "discmaker"})
        expected.push_back(Page((std::string(product) + "/index").c_str()));
    std::sort(expected.begin(), expected.end());
    for (WORD command = CM_WEB_PRODUCT_HOME; command <= CM_WEB_MAKER_HOME; ++command)  // 912 is no command
        PostMessageA(main, WM_COMMAND, command, 0);
    ASSERT_TRUE(browser.WaitForCount(expected.size()));
    EXPECT_EQ(browser.Opened(), expected);

    ExitWithNo(client, main);
}

namespace {

// Asks for help the way `ask` does until the reader shows a topic beginning
// with `heading`. The first request may start the reader without reaching
// it, so it is repeated. (A reader started by WinHelpA keeps its own caption
// under Wine: the topic text tells which file it shows.)
::testing::AssertionResult HelpShows(const char* heading, const std::function<void()>& ask) {
    std::string topic;
    for (int attempt = 0; attempt < 4; ++attempt) {
        ask();
        if (WaitUntil([&] { return (topic = HelpTopicText()).rfind(heading, 0) == 0; }, 6000))
            return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "the reader shows \"" << topic.substr(0, 80) << "\"";
}

// Wine's HTML engine registers ".html" as an "htmlfile", which Wine's browser
// launcher opens, as every Windows registers it for the default browser. The
// test prefixes run without that engine, so the association is made here.
class HtmlFileType {
public:
    HtmlFileType() {
        HKEY key = nullptr;
        DWORD disposition = 0;
        if (RegCreateKeyExA(HKEY_CLASSES_ROOT, ".html", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            &disposition) != 0)
            return;
        created_ = disposition == REG_CREATED_NEW_KEY;
        if (created_) RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("htmlfile"), 9);
        RegCloseKey(key);
    }
    ~HtmlFileType() {
        if (created_) RegDeleteKeyA(HKEY_CLASSES_ROOT, ".html");
    }

private:
    bool created_ = false;
};

// What Wine's browser launcher hands the browser for a page of the program's
// folder (the working directory): a file: address of its Unix path, with
// blanks as %20.
std::string PageAddress(const char* page) {
    std::string address = "file://";
    for (char c : UnixPath(page)) address += c == ' ' ? std::string("%20") : std::string(1, c);
    return address;
}

void SetHelpReader(const char* value) {
    if (value) SetSetting("Settings", "HelpReader", value);
    else RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, "Software\\Tallowind\\QDXRemote\\Settings", "HelpReader");
}

}  // namespace

// The three help routes (Help Contents, F1, the settings dialog's Help at
// context 110) with the reader forced each way by the setting, and chosen by
// the system without it: Wine ships a working WinHelp reader, so the client
// picks that one here.
TEST(Shell, HelpRoutesOpenTheReaderOrThePagesAsSetOrChosen) {
    ASSERT_NE(GetFileAttributesA(".\\qdxremote.hlp"), INVALID_FILE_ATTRIBUTES);
    for (const char* page : {"qdxremote.html", "qdxremote-settings.html"})
        ASSERT_NE(GetFileAttributesA(page), INVALID_FILE_ATTRIBUTES) << page;
    ResetSettings();
    HelpReaderGuard guard;
    BrowserRecorder browser;
    ASSERT_TRUE(browser.Ready());
    HtmlFileType htmlFiles;
    Process client;
    HWND main = client.WaitForWindow();
    ASSERT_NE(main, nullptr);
    const auto helpContents = [&] { PostMessageA(main, WM_COMMAND, CM_HELP_CONTENTS, 0); };
    const auto f1 = [&] {
        MakeForeground(main);
        PressKey(VK_F1);
    };

    SetHelpReader("Browser");
    helpContents();
    ASSERT_TRUE(browser.WaitForCount(1));
    f1();
    ASSERT_TRUE(browser.WaitForCount(2));
    HWND dialog = OpenDialog(client, main, CM_SETTINGS, kSettingsCaption);
    ASSERT_NE(dialog, nullptr);
    PostMessageA(dialog, WM_COMMAND, IDHELP, 0);
    ASSERT_TRUE(browser.WaitForCount(3));
    std::vector<std::string> pages = {PageAddress("qdxremote.html"), PageAddress("qdxremote.html"),
                                      PageAddress("qdxremote-settings.html")};
    std::sort(pages.begin(), pages.end());
    EXPECT_EQ(browser.Opened(), pages);
    EXPECT_EQ(FindWindowA(kHelpReaderClass, nullptr), nullptr);

    SetHelpReader("WinHelp");
    EXPECT_TRUE(HelpShows("Settings", [&] { PostMessageA(dialog, WM_COMMAND, IDHELP, 0); }));
    CloseHelpReaders();
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(Closed(dialog));
    EXPECT_TRUE(HelpShows("Contents", helpContents));
    CloseHelpReaders();
    EXPECT_TRUE(HelpShows("Contents", f1));
    CloseHelpReaders();

    SetHelpReader(nullptr);
    dialog = OpenDialog(client, main, CM_SETTINGS, kSettingsCaption);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(HelpShows("Settings", [&] { PostMessageA(dialog, WM_COMMAND, IDHELP, 0); }));
    CloseHelpReaders();
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(Closed(dialog));
    EXPECT_EQ(browser.Opened().size(), 3u);
    ExitWithNo(client, main);

    // This test program's own folder holds no pages: nothing opens, at once.
    SetHelpReader("Browser");
    browser.Clear();
    EXPECT_FALSE(ShowHelpContents(nullptr));
    EXPECT_FALSE(DisplayHelpContents(nullptr, 110));
    Sleep(1000);
    EXPECT_TRUE(browser.Opened().empty());
    SetHelpReader(nullptr);
}
