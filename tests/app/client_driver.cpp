#include "client_driver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace client {
namespace {

constexpr char kProductKey[] = "Software\\Tallowind\\QDXRemote";

struct FindData {
    DWORD processId;
    const char* caption;  // null: any
    const char* className;
    HWND found;
    int count;
};

BOOL CALLBACK FindProc(HWND window, LPARAM lParam) {
    FindData* d = reinterpret_cast<FindData*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (d->processId && pid != d->processId) return TRUE;
    char cls[64] = "", text[256] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (strcmp(cls, d->className) != 0) return TRUE;
    GetWindowTextA(window, text, sizeof text);
    if (d->caption && strcmp(text, d->caption) != 0) return TRUE;
    ++d->count;
    if (!d->found) d->found = window;
    return TRUE;
}

}  // namespace

std::string ResetSettings() {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kProductKey);
    static LONG counter = 0;
    char dir[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    char folder[MAX_PATH + 64];
    snprintf(folder, sizeof folder, "%sqdxapp-%lu-%ld", dir, GetCurrentProcessId(), InterlockedIncrement(&counter));
    CreateDirectoryA(folder, nullptr);
    SetSetting("Folders", "Logs", folder);
    return folder;
}

void SetSetting(const char* section, const char* name, const char* value) {
    std::string key = std::string(kProductKey) + "\\" + section;
    HKEY h = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) != 0)
        return;
    RegSetValueExA(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), static_cast<DWORD>(strlen(value) + 1));
    RegCloseKey(h);
}

std::string GetSetting(const char* section, const char* name, bool* present) {
    std::string key = std::string(kProductKey) + "\\" + section;
    char value[1024] = "";
    DWORD size = sizeof value - 1;
    const bool ok = RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) == 0;
    if (present) *present = ok;
    return ok ? value : "";
}

HWND FindDialog(DWORD processId, const char* caption) {
    FindData d = {processId, caption, "#32770", nullptr, 0};
    EnumWindows(FindProc, reinterpret_cast<LPARAM>(&d));
    return d.found;
}

HWND FindMainWindow(DWORD processId) {
    return FindDialog(processId, kTitle);
}

int CountMainWindows() {
    return CountDialogs(0, kTitle);
}

int CountDialogs(DWORD processId, const char* caption) {
    FindData d = {processId, caption, "#32770", nullptr, 0};
    EnumWindows(FindProc, reinterpret_cast<LPARAM>(&d));
    return d.count;
}

namespace {

// Without a window manager (the tests run on a bare X server) nobody draws
// the caption and frame that Wine leaves to the manager; with "Decorated"
// off Wine draws them itself, so screenshots show the window as a user
// sees it. The value is read when a process starts, and set only for the
// client's start.
class OwnFrames {
public:
    OwnFrames() {
        if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\X11 Driver", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key_, nullptr) != 0)
            return;
        had_ = RegQueryValueExA(key_, "Decorated", nullptr, nullptr, nullptr, nullptr) == 0;
        if (!had_) RegSetValueExA(key_, "Decorated", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
        // Wine draws the caption buttons with Marlett, which a fresh prefix may lack.
        if (GetFileAttributesA("C:\\windows\\Fonts\\marlett.ttf") == INVALID_FILE_ATTRIBUTES)
            CopyFileA("Z:\\usr\\share\\wine\\fonts\\marlett.ttf", "C:\\windows\\Fonts\\marlett.ttf", TRUE);
    }
    ~OwnFrames() {
        if (!key_) return;
        if (!had_) RegDeleteValueA(key_, "Decorated");
        RegCloseKey(key_);
    }

private:
    HKEY key_ = nullptr;
    bool had_ = false;
};

}  // namespace

Process::Process() {
    OwnFrames frames;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    char command[] = ".\\qdxremote.exe";
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return;
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    id_ = pi.dwProcessId;
    WaitForInputIdle(process_, kWaitMs);  // it has read its settings by then
}

Process::~Process() {
    if (!process_) return;
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_, 99);
        WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
}

HWND Process::WaitForWindow(DWORD timeoutMs) {
    HWND window = nullptr;
    WaitUntil([&] { return (window = FindMainWindow(id_)) != nullptr && IsWindowVisible(window); }, timeoutMs);
    return window;
}

bool Process::WaitForExit(DWORD timeoutMs, DWORD* exitCode) {
    if (!process_ || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return false;
    if (exitCode) GetExitCodeProcess(process_, exitCode);
    return true;
}

std::string WindowText(HWND window) {
    char text[8192] = "";
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 2000, &result);
    return text;
}

std::string ControlText(HWND dialog, int id) {
    return WindowText(GetDlgItem(dialog, id));
}

bool Checked(HWND dialog, int id) {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0, SMTO_BLOCK, 2000, &result);
    return result == BST_CHECKED;
}

void Key(WORD virtualKey, bool up) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &input, sizeof input);
    Sleep(30);
}

void Press(WORD virtualKey) {
    Key(virtualKey, false);
    Key(virtualKey, true);
}

void MakeForeground(HWND window) {
    SetForegroundWindow(window);
    WaitUntil([&] { return GetForegroundWindow() == window; }, 3000);
}

bool AnswerConfirmStop(DWORD processId, int button, std::string* text) {
    HWND box = nullptr;
    if (!WaitUntil([&] { return (box = FindDialog(processId, "Confirm Stop")) != nullptr; })) return false;
    if (text) *text = ControlText(box, 0xFFFF);  // the message box's text control
    HWND b = GetDlgItem(box, button);
    if (!b) return false;
    PostMessageA(b, BM_CLICK, 0, 0);
    return WaitUntil([&] { return !IsWindow(box); });
}

std::vector<std::string> LogLines(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA((folder + "\\*.txt").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do names.push_back(fd.cFileName);
        while (FindNextFileA(find, &fd));
        FindClose(find);
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> lines;
    for (const auto& name : names) {
        HANDLE f = CreateFileA((folder + "\\" + name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE) continue;
        std::string text;
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got) text.append(buffer, got);
        CloseHandle(f);
        std::size_t start = 0, end;
        while ((end = text.find("\r\n", start)) != std::string::npos) {
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
    }
    return lines;
}

int FindLine(const std::vector<std::string>& lines, const std::string& text, int from) {
    for (int i = from; i < static_cast<int>(lines.size()); ++i)
        if (lines[i].find(text) != std::string::npos) return i;
    return -1;
}

Picture Capture(HWND window, const RECT* screenArea) {
    RECT r;
    if (screenArea)
        r = *screenArea;
    else
        GetWindowRect(window, &r);
    // The frame too: it may not have been painted since the window was mapped.
    RedrawWindow(window, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(200);
    Picture p;
    p.width = r.right - r.left;
    p.height = r.bottom - r.top;
    if (p.width <= 0 || p.height <= 0) return Picture();
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, p.width, p.height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, p.width, p.height, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = p.width;
    bi.bmiHeader.biHeight = -p.height;  // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    std::vector<DWORD> raw(static_cast<std::size_t>(p.width) * p.height);
    GetDIBits(memory, bitmap, 0, p.height, raw.data(), &bi, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    p.pixels.resize(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i)  // 0x00RRGGBB to COLORREF
        p.pixels[i] = RGB((raw[i] >> 16) & 0xFF, (raw[i] >> 8) & 0xFF, raw[i] & 0xFF);
    return p;
}

bool SaveArtefact(const Picture& picture, const char* name) {
    if (picture.width == 0) return false;
    CreateDirectoryA("artefacts", nullptr);
    CreateDirectoryA("artefacts\\app", nullptr);
    std::string path = std::string("artefacts\\app\\") + name + ".bmp";
    const int rowBytes = (picture.width * 3 + 3) & ~3;
    BITMAPFILEHEADER fh = {};
    BITMAPINFOHEADER ih = {};
    ih.biSize = sizeof ih;
    ih.biWidth = picture.width;
    ih.biHeight = picture.height;  // bottom-up rows
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    ih.biSizeImage = rowBytes * picture.height;
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof ih;
    fh.bfSize = fh.bfOffBits + ih.biSizeImage;
    std::vector<BYTE> data(ih.biSizeImage);
    for (int y = 0; y < picture.height; ++y) {
        BYTE* row = &data[static_cast<std::size_t>(picture.height - 1 - y) * rowBytes];
        for (int x = 0; x < picture.width; ++x) {
            COLORREF c = picture.At(x, y);
            row[x * 3] = GetBValue(c);
            row[x * 3 + 1] = GetGValue(c);
            row[x * 3 + 2] = GetRValue(c);
        }
    }
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    fwrite(&fh, sizeof fh, 1, f);
    fwrite(&ih, sizeof ih, 1, f);
    fwrite(data.data(), 1, data.size(), f);
    fclose(f);
    return true;
}

}  // namespace client
