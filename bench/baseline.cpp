// qdxbaseline: what a recording needs and nothing more, as a yardstick for
// the client. Per run one thread with its own Windows Sockets start-up reads
// the server setting, connects, logs in, sends the record request and posts
// each level byte to the dialog until stopped; no log, no icons, no tray.
// Started without commands it is also the minimal dialog program that the
// client's start-up time is compared with.
//
// The driver works it like the client: WM_COMMAND 2001 (record, or stop while
// recording) and 2002 (stop); check box 101 and control 103 show the run
// state, and control 104 counts the runs that have ended.
//
// With --button-icons it also shows the run state as a lamp on button 101
// the way a button is told about a new icon (LoadImage, BM_SETIMAGE, and
// DestroyIcon on the icon it gave back), to measure what those calls cost.
//
// With --with PART,... it also does the named part of what the client does at
// its start, before its dialog shows unless said otherwise, so that the
// start-up measure can tell what each part costs: dlls (loads the library the
// client links and the baseline does not, comctl32, and starts the common
// controls), file (reads its own file's end, as the client reads its run mode
// marker), log (appends a line to a file in %TEMP%), icons (loads the client's
// eight icons: two window icons, three 16 x 16 tray lamps, three full-size
// lamps), tray (loads shell32 and adds a tray icon, just after the dialog
// shows, as the client does), hotkeys (registers F5 and F8), controls (a status
// bar, and a tool tip just after the dialog shows, as the client does).
#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

constexpr UINT WM_LINK_STARTED = WM_USER + 32;
constexpr UINT WM_LINK_ENDED = WM_USER + 33;
constexpr UINT WM_LINK_LEVEL = WM_USER + 34;
constexpr WORD kRecord = 2001;
constexpr WORD kStop = 2002;
constexpr int kSliceMs = 200;

struct Link {
    HWND window = nullptr;
    HANDLE stop = nullptr;
    HANDLE thread = nullptr;
    bool recording = false;
    int runsEnded = 0;
    bool buttonIcons = false;
} link;

void ReadSetting(const char* name, char* out, DWORD size) {
    out[0] = '\0';
    RegGetValueA(HKEY_LOCAL_MACHINE, "Software\\Tallowind\\QDXRemote\\Settings", name, RRF_RT_REG_SZ, nullptr, out,
                 &size);
}

bool Stopped() { return WaitForSingleObject(link.stop, 0) != WAIT_TIMEOUT; }

// One select slice; >0 ready, 0 quiet, <0 error.
int Slice(SOCKET s, bool read) {
    fd_set set, except;
    FD_ZERO(&set);
    FD_ZERO(&except);
    FD_SET(s, &set);
    FD_SET(s, &except);
    timeval t = {0, kSliceMs * 1000};
    return select(0, read ? &set : nullptr, read ? nullptr : &set, read ? nullptr : &except, &t);
}

bool Connect(SOCKET s, const char* server) {
    char host[260];
    snprintf(host, sizeof host, "%s", server);
    unsigned short port = 264;
    if (char* colon = strchr(host, ':')) {
        *colon = '\0';
        port = static_cast<unsigned short>(atoi(colon + 1));
    }
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = inet_addr(host);
    if (a.sin_addr.s_addr == INADDR_NONE) return false;
    if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return true;
    if (WSAGetLastError() != WSAEWOULDBLOCK) return false;
    for (int budget = 10000; budget > 0 && !Stopped(); budget -= kSliceMs) {
        int n = Slice(s, false);
        if (n < 0) return false;
        if (n > 0) {  // writable: connected; in the exception set: refused
            int error = 0, size = sizeof error;
            return getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) == 0 && error == 0;
        }
    }
    return false;
}

// Receives exactly n bytes; false on close, error, time-out or stop.
bool Receive(SOCKET s, char* buffer, int n, int budgetMs) {
    while (n > 0) {
        int ready = Slice(s, true);
        if (ready < 0) return false;
        if (ready == 0) {
            if (Stopped()) return false;
            budgetMs -= kSliceMs;
            if (budgetMs <= 0) return false;
            continue;
        }
        int got = recv(s, buffer, n, 0);
        if (got <= 0) return false;
        buffer += got;
        n -= got;
    }
    return true;
}

DWORD WINAPI RunLink(void*) {
    PostMessageA(link.window, WM_LINK_STARTED, 0, 0);
    WSADATA data;
    bool started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    char server[260], user[260], password[260];
    ReadSetting("Server", server, sizeof server);
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
    int noDelay = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    if (s != INVALID_SOCKET && Connect(s, server)) {
        ReadSetting("UserName", user, sizeof user);
        ReadSetting("Password", password, sizeof password);
        char login[4 + 255 + 255];
        size_t u = strlen(user) > 255 ? 255 : strlen(user), p = strlen(password) > 255 ? 255 : strlen(password);
        login[0] = static_cast<char>(0xE2);
        login[1] = 0;
        login[2] = static_cast<char>(u);
        login[3] = static_cast<char>(p);
        memcpy(login + 4, user, u);
        memcpy(login + 4 + u, password, p);
        send(s, login, static_cast<int>(4 + u + p), 0);  // a few bytes: the buffer takes them at once
        char reply[2];
        if (Receive(s, reply, 2, 10000) && static_cast<unsigned char>(reply[0]) == 0xFF) {
            const char record[2] = {0, 0};
            send(s, record, 2, 0);
            char level;
            while (!Stopped() && Receive(s, &level, 1, 5000))
                PostMessageA(link.window, WM_LINK_LEVEL, static_cast<WPARAM>(static_cast<INT_PTR>(level)), 0);
        }
    }
    if (s != INVALID_SOCKET) closesocket(s);
    if (started) WSACleanup();
    PostMessageA(link.window, WM_LINK_ENDED, 0, 0);
    return 0;
}

void Record() {
    if (link.thread) {
        SetEvent(link.stop);
        WaitForSingleObject(link.thread, 5000);
        CloseHandle(link.thread);
    }
    ResetEvent(link.stop);
    link.thread = CreateThread(nullptr, 0, RunLink, nullptr, 0, nullptr);
}

void Show(HWND dialog) {
    CheckDlgButton(dialog, 101, link.recording ? BST_CHECKED : BST_UNCHECKED);
    if (link.buttonIcons) {
        HANDLE icon = LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(link.recording ? 4 : 3), IMAGE_ICON, 0,
                                 0, LR_DEFAULTCOLOR);
        HANDLE previous = reinterpret_cast<HANDLE>(
            SendDlgItemMessageA(dialog, 101, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon)));
        if (previous && previous != icon) DestroyIcon(static_cast<HICON>(previous));
    }
    EnableWindow(GetDlgItem(dialog, 103), link.recording);
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == 101 || LOWORD(wParam) == kRecord) {
            if (link.recording) SetEvent(link.stop);
            else Record();
            Show(dialog);
        } else if (LOWORD(wParam) == kStop) {
            SetEvent(link.stop);
        } else if (LOWORD(wParam) == IDCANCEL) {
            DestroyWindow(dialog);
        }
        return TRUE;
    case WM_LINK_STARTED:
        link.recording = true;
        Show(dialog);
        return TRUE;
    case WM_LINK_ENDED:
        link.recording = false;
        SetDlgItemInt(dialog, 104, ++link.runsEnded, FALSE);
        Show(dialog);
        return TRUE;
    case WM_LINK_LEVEL:
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(dialog);
        return TRUE;
    case WM_DESTROY:
        PostQuitMessage(0);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

// Shell_NotifyIconA, found at run time: linking shell32 would load it at every start.
using Notify = BOOL(WINAPI*)(DWORD, NOTIFYICONDATAA*);
Notify notify = nullptr;

bool Part(const char* commandLine, const char* name) {
    const char* with = commandLine ? strstr(commandLine, "--with ") : nullptr;
    return with && strstr(with, name);
}

// The parts of the client's start named by --with that come before the dialog
// shows; the tray icon and the hot keys go again at the end.
void StartParts(HINSTANCE instance, const char* commandLine, HWND window) {
    if (Part(commandLine, "dlls")) {
        if (auto init = reinterpret_cast<void(WINAPI*)()>(
                reinterpret_cast<void*>(GetProcAddress(LoadLibraryA("comctl32.dll"), "InitCommonControls"))))
            init();
    }
    if (Part(commandLine, "file")) {
        char path[MAX_PATH];
        GetModuleFileNameA(nullptr, path, sizeof path);
        HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (f != INVALID_HANDLE_VALUE) {
            char end[16];
            DWORD got = 0;
            SetFilePointer(f, -16, nullptr, FILE_END);
            ReadFile(f, end, sizeof end, &got, nullptr);
            CloseHandle(f);
        }
    }
    if (Part(commandLine, "log")) {
        char path[MAX_PATH + 32];
        GetTempPathA(MAX_PATH, path);
        strcat(path, "qdxbaseline-log.txt");
        HANDLE f = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f != INVALID_HANDLE_VALUE) {
            const char line[] = "12:00:00 QDX Remote Control Run\r\n";
            DWORD written = 0;
            SetFilePointer(f, 0, nullptr, FILE_END);
            WriteFile(f, line, sizeof line - 1, &written, nullptr);
            CloseHandle(f);
        }
    }
    if (Part(commandLine, "icons")) {
        for (int i = 0; i < 8; ++i) {
            int size = i < 2 ? (i == 0 ? 32 : 16) : i < 5 ? 16 : 0;
            LoadImageA(instance, MAKEINTRESOURCEA(3 + i % 2), IMAGE_ICON, size, size, size ? 0 : LR_DEFAULTCOLOR);
        }
    }
    if (Part(commandLine, "hotkeys")) {
        RegisterHotKey(window, 0, 0x4000, VK_F5);
        RegisterHotKey(window, 1, 0x4000, VK_F8);
    }
    if (Part(commandLine, "controls")) {
        CreateWindowExA(0, "msctls_statusbar32", "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window, nullptr, instance,
                        nullptr);
    }
}

// The parts done once the dialog shows.
void PartsAfterShow(HINSTANCE instance, const char* commandLine, HWND window, NOTIFYICONDATAA* tray) {
    if (Part(commandLine, "controls"))
        CreateWindowExA(WS_EX_TOPMOST, "tooltips_class32", nullptr, WS_POPUP, 0, 0, 0, 0, window, nullptr, instance,
                        nullptr);
    if (Part(commandLine, "tray")) {
        tray->cbSize = NOTIFYICONDATAA_V1_SIZE;
        tray->hWnd = window;
        tray->uID = 24;
        tray->uFlags = NIF_ICON | NIF_TIP;
        tray->hIcon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(3), IMAGE_ICON, 16, 16, 0));
        strcpy(tray->szTip, "QDX Link Baseline");
        notify = reinterpret_cast<Notify>(
            reinterpret_cast<void*>(GetProcAddress(LoadLibraryA("shell32.dll"), "Shell_NotifyIconA")));
        if (notify) notify(NIM_ADD, tray);
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    link.buttonIcons = commandLine && strstr(commandLine, "--button-icons");
    link.stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // The dialog is made hidden, gets the parts, and shows as its template says.
    NOTIFYICONDATAA tray = {};
    DLGTEMPLATE* shown = nullptr;
    HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(1), RT_DIALOG);
    if (found) {
        const DWORD size = SizeofResource(instance, found);
        shown = static_cast<DLGTEMPLATE*>(malloc(size));
        memcpy(shown, LockResource(LoadResource(instance, found)), size);
        shown->style &= ~WS_VISIBLE;
    }
    link.window = shown ? CreateDialogIndirectParamA(instance, shown, nullptr, DialogProc, 0) : nullptr;
    free(shown);
    if (!link.window) return 1;
    StartParts(instance, commandLine, link.window);
    ShowWindow(link.window, SW_SHOW);
    PartsAfterShow(instance, commandLine, link.window, &tray);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageA(link.window, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    if (link.thread) {
        SetEvent(link.stop);
        WaitForSingleObject(link.thread, 5000);
        CloseHandle(link.thread);
    }
    if (tray.cbSize && notify) notify(NIM_DELETE, &tray);
    return 0;
}
