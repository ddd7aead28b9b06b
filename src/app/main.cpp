// Process entry: one executable that is the setup package, the uninstaller
// or the client, as the marker at the end of its file says.
#include <windows.h>

#include "app/client.h"
#include "common/systemdll.h"
#include "core/lfile.h"
#include "core/text.h"
#include "setup/install.h"
#include "setup/marker.h"
#include "setup/packageowner.h"
#include "setup/uninstall.h"
#include "ui/instance.h"

namespace {

// DLLs that Windows or this program loads by bare name are taken from the
// system folder only: never from the program's folder, where a setup run from
// a download folder (elevated) would find whatever was saved beside it, nor
// from the current folder. SetDefaultDllDirectories is looked up, as systems
// before Windows 8 have it only with an update; without it, the current
// folder at least leaves the search.
void RestrictDllSearch() {
    const auto setDefault =
        qdx::LoadedFunction<BOOL(WINAPI*)(DWORD)>("kernel32.dll", "SetDefaultDllDirectories");
    if (!setDefault || !setDefault(qdx::kSearchSystem32)) ::SetDllDirectoryA("");
}

// Makes the program's own folder the current directory, so files that ship
// beside it (the help file) are found by their bare names.
void EnterProgramFolder(const char* startPath) {
    char folder[qdx::kTextSize];
    LFile::_GetFolderFromPath(folder, startPath);
    if (!folder[0]) return;
    // "C:" alone would name the drive's current directory, not its root.
    if (folder[1] == ':' && folder[2] == '\0') qdx::AppendText(folder, "\\");
    ::SetCurrentDirectoryA(folder);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    RestrictDllSearch();  // the first call, in every mode
    SetAppInstance(instance);
    char startPath[qdx::kTextSize] = "";
    const DWORD n = ::GetModuleFileNameA(nullptr, startPath, sizeof startPath);
    if (n >= sizeof startPath) startPath[0] = '\0';  // cut: names another file
    EnterProgramFolder(startPath);

    // One file, three programs: the marker at its end decides, and a file
    // named like a setup package that lost its setup marker runs as none.
    const std::uint32_t marker = startPath[0] ? ReadRunModeMarker(startPath) : NO_MARKER;
    char title[qdx::kTextSize];
    LFile::_GetFileTitleFromPath(title, startPath);
    if (SetupNameStopsRun(title, marker)) {
        ::MessageBoxA(nullptr, kInstallErrorText, kInstallErrorCaption, MB_ICONWARNING);
        return 0;
    }

    if (marker == SETUP_MARKER && SetupRefusedForPackageInstall()) return 0;
    HWND running = FindRunningClient();
    if (marker == UNINSTALL_MARKER) {
        RunSetupJob<UninstallDialog>(running);
        return 0;
    }
    if (marker == SETUP_MARKER) {
        RunSetupJob<InstallDialog>(running);
        return 0;
    }
    if (running) {
        ActivateRunningClient(running);
        return 0;
    }
    RunClient();
    return 0;
}
