#include "setup/uninstall.h"

#include <cstdlib>

#include "core/lfile.h"
#include "settings/regtext.h"
#include "setup/folders.h"

namespace {

constexpr char kTemporaryCopyName[] = "uninst.exe";
constexpr char kCopyArgument[] = " /uninstall";
constexpr char kConfirmText[] = "Are you sure you want to remove QDX Remote Control from this computer?";
constexpr char kConfirmCaption[] = "Uninstall QDX Remote Control";
constexpr DWORD kWaitBeforeAskingMs = 250;
// The Program Files location is read into this many bytes, so the maker
// subfolder always fits behind it.
constexpr DWORD kProgramFilesCap = 243;

// Copies the running executable into the temporary folder and starts the copy
// with an argument; false when the copy cannot be made.
bool RestartFromTemporaryCopy() {
    char self[qdx::kTextSize];
    const DWORD n = ::GetModuleFileNameA(nullptr, self, sizeof self);
    if (n == 0 || n >= sizeof self) return false;
    char copy[qdx::kTextSize];
    const DWORD t = ::GetTempPathA(sizeof copy, copy);
    if (t == 0 || t >= sizeof copy) return false;
    // A cut path would name another file; the separator and the name must fit.
    if (t + 1 + sizeof kTemporaryCopyName > sizeof copy) return false;
    // FilePathCat adds no second separator behind the one GetTempPath ends with.
    LFile::FilePathCat(copy, kTemporaryCopyName);
    if (!::CopyFileA(self, copy, FALSE)) return false;
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
