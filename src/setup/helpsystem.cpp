// The facts of the running system that decide which help reader it uses.
#include <windows.h>

#include "core/text.h"
#include "settings/settings.h"
#include "setup/helpsystem.h"
#include "core/lfile.h"

namespace {

constexpr char kReaderProgram[] = "winhlp32.exe";
constexpr char kSearchLibrary[] = "ftsrch.dll";

// Whether folder (as a system call wrote it into a buffer of kTextSize,
// returning length) holds the file name.
bool FolderHoldsFile(char (&folder)[qdx::kTextSize], UINT length, const char* name) {
    if (length == 0 || length >= sizeof folder) return false;
    // A cut path would name another file.
    if (length + 1 + lstrlenA(name) >= sizeof folder) return false;
    LFile::FilePathCat(folder, name);
    const DWORD attributes = ::GetFileAttributesA(folder);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool InWindowsFolder(const char* name) {
    char folder[qdx::kTextSize];
    return FolderHoldsFile(folder, ::GetWindowsDirectoryA(folder, sizeof folder), name);
}

bool InSystemFolder(const char* name) {
    char folder[qdx::kTextSize];
    return FolderHoldsFile(folder, ::GetSystemDirectoryA(folder, sizeof folder), name);
}

}  // namespace

HelpSystem ProbeHelpSystem() {
    HelpSystem system;
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    system.wine = ntdll && ::GetProcAddress(ntdll, "wine_get_version");
    // Without a manifest that names later systems the version stops at 6.2;
    // the rule asks only whether it is below 6.
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (::GetVersionExA(&version)) system.majorVersion = version.dwMajorVersion;
    system.readerInstalled = InWindowsFolder(kReaderProgram) || InSystemFolder(kReaderProgram);
    system.searchLibraryInstalled = InSystemFolder(kSearchLibrary);
    return system;
}

HelpReader HelpReaderInUse() {
    char setting[qdx::kTextSize];
    ReadSetting(kSectionSettings, kSettingHelpReader, "", setting);
    return ChooseHelpReader(setting, WinHelpReaderWorks(ProbeHelpSystem()));
}
