#include "help_reader.h"

#include "desktop.h"

namespace qdxtest {

void CloseHelpReaders() {
    constexpr DWORD kCloseLimitMs = 5000;
    for (int round = 0; round < 5; ++round) {
        HWND w = FindWindowA(kHelpReaderClass, nullptr);
        if (!w) return;
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
        PostMessageA(w, WM_CLOSE, 0, 0);
        if (process) {
            if (WaitForSingleObject(process, kCloseLimitMs) == WAIT_TIMEOUT) {
                TerminateProcess(process, 1);
                WaitForSingleObject(process, kCloseLimitMs);
            }
            CloseHandle(process);
        } else {
            Sleep(500);
        }
    }
}

HWND HelpTopicControl(HWND reader) {
    struct Search {
        HWND found;
    } s{nullptr};
    EnumChildWindows(
        reader,
        [](HWND w, LPARAM p) WINAPI -> BOOL {
            char cls[64] = "";
            GetClassNameA(w, cls, sizeof cls);
            if (IsWindowVisible(w) && _strnicmp(cls, "RichEdit", 8) == 0) reinterpret_cast<Search*>(p)->found = w;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

std::string HelpTopicText() {
    HWND reader = FindWindowA(kHelpReaderClass, nullptr);
    if (!reader || !IsWindowVisible(reader)) return "";
    HWND topic = HelpTopicControl(reader);
    return topic ? WindowText(topic) : "";
}

}  // namespace qdxtest
