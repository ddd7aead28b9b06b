#include "setup/uninstall.h"

#include <cstdlib>

#include "core/lfile.h"
#include "settings/regtext.h"
#include "setup/folders.h"
#include "setup/programstart.h"
#include "setup/uninstallentry.h"

namespace {

constexpr char kTemporaryCopyName[] = "uninst.exe";
constexpr char kCopyArgument[] = " /uninstall";
constexpr char kConfirmText[] = "Are you sure you want to remove QDX Remote Control from this computer?";
constexpr char kConfirmCaption[] = "Uninstall QDX Remote Control";
constexpr DWORD kWaitBeforeAskingMs = 250;
// The Program Files location is read into this many bytes, so the maker
// subfolder always fits behind it.
constexpr DWORD kProgramFilesCap = 243;
constexpr DWORD kTemporaryFolderAttempts = 16;

// Makes a new folder of this run's own in the temporary folder (the shared
// folder may hold files others saved there, DLLs a program loads among them)
// and copies the running executable into it; false when it cannot be made.
bool MakeTemporaryCopy(char (&copy)[qdx::kTextSize]) {
    char self[qdx::kTextSize];
    const DWORD n = ::GetModuleFileNameA(nullptr, self, sizeof self);
    if (n == 0 || n >= sizeof self) return false;
    char temp[qdx::kTextSize];
    const DWORD t = ::GetTempPathA(sizeof temp, temp);
    if (t == 0 || t >= sizeof temp) return false;
    // A name taken already (by an earlier run, or by anyone) is never reused:
    // only a folder this run created holds the copy.
    const DWORD seed = ::GetCurrentProcessId() ^ ::GetTickCount();
    for (DWORD attempt = 0; attempt < kTemporaryFolderAttempts; ++attempt) {
        // A cut path would name another file: the folder and the name must fit.
        if (qdx::FormatText(copy, sizeof copy, "%sqdx-uninst-%08lx", temp,
                            static_cast<unsigned long>(seed + attempt)) < 0 ||
            lstrlenA(copy) + 1 + sizeof kTemporaryCopyName > sizeof copy)
            return false;
        if (!::CreateDirectoryA(copy, nullptr)) {
            if (::GetLastError() == ERROR_ALREADY_EXISTS) continue;
            return false;
        }
        LFile::FilePathCat(copy, kTemporaryCopyName);
        if (::CopyFileA(self, copy, TRUE)) return true;
        LFile::_GetFolderFromPath(temp, copy);
        ::RemoveDirectoryA(temp);
        return false;
    }
    return false;
}

// Copies the running executable into a new temporary folder and starts the
// copy with an argument; false when the copy cannot be made.
bool RestartFromTemporaryCopy() {
    char copy[qdx::kTextSize];
    if (!MakeTemporaryCopy(copy)) return false;
    StartProgram(copy, kCopyArgument);
    return true;
}

}  // namespace

bool UninstallDialog::MainFunction() {
    // The first process (no argument) hands over to a copy that can run while
    // the install folder's uninstaller is free to go.
    if (__argc <= 1 && RestartFromTemporaryCopy()) return true;
    if (PumpMessages()) return false;
    ::Sleep(kWaitBeforeAskingMs);
    if (::MessageBoxA(hwnd, kConfirmText, kConfirmCaption, MB_YESNO | MB_ICONSTOP) == IDYES) RemoveInstall();
    return true;
}

void RemoveInstall() {
    char desktopShortcut[qdx::kTextSize];
    GetDesktopShortcutPath(desktopShortcut);
    if (desktopShortcut[0]) ::DeleteFileA(desktopShortcut);

    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);

    DeleteStartMenuShortcut(kProgramShortcutName);
    DeleteStartMenuShortcut(kHelpShortcutName);
    RemoveStartMenuGroup();

    char maker[qdx::kTextSize];
    if (qdx::ReadRegistryText(HKEY_LOCAL_MACHINE, kCurrentVersionKey, kProgramFilesDirValue, maker,
                              kProgramFilesCap)) {
        qdx::AppendText(maker, kMakerSubfolder);
        ::RemoveDirectoryA(maker);  // only when empty
    }
}
