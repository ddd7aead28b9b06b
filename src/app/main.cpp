// Process entry: one executable, and for now the client path of it.
#include <windows.h>

#include "app/client.h"
#include "common/text.h"
#include "ui/instance.h"

namespace {

// Makes the program's own folder the current directory, so files that ship
// beside it (the help file) are found by their bare names.
void EnterProgramFolder() {
    char path[qdx::kTextSize] = "";
    const DWORD n = ::GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) return;
    char* cut = nullptr;
    for (char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/') cut = p;
    if (!cut) return;
    // Keep the separator of a drive root ("C:\"), cut it otherwise.
    if (cut == path + 2 && path[1] == ':')
        cut[1] = '\0';
    else
        *cut = '\0';
    ::SetCurrentDirectoryA(path);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    SetAppInstance(instance);
    EnterProgramFolder();

    // The run-mode marker at the end of the file and the name test of the
    // setup package decide here, before the client, whether to install or
    // uninstall instead.

    if (HWND running = FindRunningClient()) {
        ActivateRunningClient(running);
        return 0;
    }
    RunClient();
    return 0;
}
