// A DLL planted beside a program under a system DLL's name: loaded, it
// leaves "<its path>.loaded" behind and refuses to stay.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(self, path, MAX_PATH - 8);
    if (n > 0 && n < MAX_PATH - 8) {
        lstrcatA(path, ".loaded");
        HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    return FALSE;
}
