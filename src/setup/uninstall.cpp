#include "setup/uninstall.h"

#include <cstdlib>
#include <cstring>

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
constexpr char kTemporaryFolderPrefix[] = "qdx-uninst-";

// The temporary folder's path with the prefix of the copies' folder names
// behind it; false when it cannot be read whole.
bool TemporaryCopyPrefix(char (&prefix)[qdx::kTextSize]) {
    const DWORD t = ::GetTempPathA(sizeof prefix, prefix);
    return t != 0 && t < sizeof prefix &&
           qdx::FormatText(prefix + t, sizeof prefix - t, "%s", kTemporaryFolderPrefix) > 0;
}

// Makes a new folder of this run's own in the temporary folder (the shared
// folder may hold files others saved there, DLLs a program loads among them)
// and copies the running executable into it; false when it cannot be made.
bool MakeTemporaryCopy(char (&copy)[qdx::kTextSize]) {
    char self[qdx::kTextSize];
    const DWORD n = ::GetModuleFileNameA(nullptr, self, sizeof self);
    if (n == 0 || n >= sizeof self) return false;
    char temp[qdx::kTextSize];
    if (!TemporaryCopyPrefix(temp)) return false;
    // A name taken already (by an earlier run, or by anyone) is never reused:
    // only a folder this run created holds the copy.
    const DWORD seed = ::GetCurrentProcessId() ^ ::GetTickCount();
    for (DWORD attempt = 0; attempt < kTemporaryFolderAttempts; ++attempt) {
        // A cut path would name another file: the folder and the name must fit.
        if (qdx::FormatText(copy, sizeof copy, "%s%08lx", temp, static_cast<unsigned long>(seed + attempt)) < 0 ||
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

// What the copies of earlier uninstalls left where they could not mark
// themselves for removal (without the rights to): each copy's file and then
// its folder, once empty. The file of a copy that still runs cannot be
// deleted, so its folder stays.
void RemoveEarlierCopies() {
    char pattern[qdx::kTextSize];
    if (!TemporaryCopyPrefix(pattern) || qdx::AppendText(pattern, "*") + 1 >= sizeof pattern) return;
    WIN32_FIND_DATAA found;
    const HANDLE search = ::FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    char temp[qdx::kTextSize];
    LFile::_GetFolderFromPath(temp, pattern);
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        char folder[qdx::kTextSize];
        char file[qdx::kTextSize];
        if (qdx::FormatText(folder, sizeof folder, "%s\\%s", temp, found.cFileName) < 0 ||
            qdx::FormatText(file, sizeof file, "%s\\%s", folder, kTemporaryCopyName) < 0)
            continue;
        ::DeleteFileA(file);
        ::RemoveDirectoryA(folder);  // only when empty
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
}

// A copy running from a folder it made in the temporary folder marks its file
// and the folder for removal when the system next starts: nothing can remove
// the file while it runs, and nothing of the program runs after it. This
// takes an administrator's rights, which the uninstall needs for the entry it
// removes anyway; a copy without them is removed by the next uninstall.
void RemoveThisCopyAtRestart() {
    char self[qdx::kTextSize];
    const DWORD n = ::GetModuleFileNameA(nullptr, self, sizeof self);
    if (n == 0 || n >= sizeof self) return;
    char folder[qdx::kTextSize];
    LFile::_GetFolderFromPath(folder, self);
    char prefix[qdx::kTextSize];
    if (!TemporaryCopyPrefix(prefix)) return;
    const std::size_t p = std::strlen(prefix);
    // Only a copy's own folder: never the install folder's uninstaller.
    if (std::strlen(folder) <= p || ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, folder, static_cast<int>(p),
                                                     prefix, static_cast<int>(p)) != CSTR_EQUAL ||
        std::strchr(folder + p, '\\'))
        return;
    if (::MoveFileExA(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        ::MoveFileExA(folder, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

// Copies the running executable into a new temporary folder and starts the
// copy with an argument; false when the copy cannot be made.
bool RestartFromTemporaryCopy() {
    RemoveEarlierCopies();
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
    RemoveThisCopyAtRestart();
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
