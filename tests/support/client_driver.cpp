#include "client_driver.h"

#include "files.h"
#include "process_start.h"

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
    const std::string folder = qdxtest::MakeFreshFolder("logs");
    SetSetting("Folders", "Logs", folder.c_str());
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

namespace {

std::vector<std::string> RecorderOptions(const std::vector<std::string>& extra) {
    std::vector<std::string> o = {"--user", "alice", "--password", "secret", "--level-ms", "50"};
    o.insert(o.end(), extra.begin(), extra.end());
    return o;
}

}  // namespace

Bench::Bench(const std::vector<std::string>& extraOptions, const char* password)
    : logs(ResetSettings()), recorder(RecorderOptions(extraOptions)) {
    SetSetting("Settings", "Server", recorder.Address().c_str());
    SetSetting("Settings", "UserName", "alice");
    SetSetting("Settings", "Password", password);
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

Process::Process() {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    char command[] = ".\\qdxremote.exe";
    if (!qdxtest::StartProcess(nullptr, command, FALSE, 0, nullptr, &si, &pi)) return;
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
    qdxtest::WaitUntil([&] { return (window = FindMainWindow(id_)) != nullptr && IsWindowVisible(window); }, timeoutMs);
    return window;
}

bool Process::WaitForExit(DWORD timeoutMs, DWORD* exitCode) {
    if (!process_ || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return false;
    if (exitCode) GetExitCodeProcess(process_, exitCode);
    return true;
}

std::string ControlText(HWND dialog, int id) {
    return WindowText(GetDlgItem(dialog, id));
}

bool Checked(HWND dialog, int id) {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0, SMTO_BLOCK, 2000, &result);
    return result == BST_CHECKED;
}

bool AnswerConfirmStop(DWORD processId, int button, std::string* text) {
    HWND box = nullptr;
    if (!qdxtest::WaitUntil([&] { return (box = FindDialog(processId, "Confirm Stop")) != nullptr; })) return false;
    if (text) *text = ControlText(box, 0xFFFF);  // the message box's text control
    HWND b = GetDlgItem(box, button);
    if (!b) return false;
    // The button's command rather than a click on it: at 32 bits under Wine
    // text cannot be measured, the box lays its buttons out with no height,
    // and a click lands outside them.
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(b));
    return qdxtest::WaitUntil([&] { return !IsWindow(box); });
}

void ExitWithNo(Process& client, HWND main) {
    PostMessageA(main, WM_CLOSE, 0, 0);
    ASSERT_TRUE(AnswerConfirmStop(client.Id(), IDNO));
    DWORD code = 1;
    ASSERT_TRUE(client.WaitForExit(kWaitMs, &code));
    EXPECT_EQ(code, 0u);
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
        const std::string text = qdxtest::ReadWholeFile(folder + "\\" + name);
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

}  // namespace client
