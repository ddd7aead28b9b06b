#include "setup/install.h"

#include "common/handles.h"
#include "res/resource.h"
#include "settings/settings.h"
#include "setup/folders.h"
#include "setup/lfile.h"
#include "setup/marker.h"

namespace {

constexpr char kCurrentVersionKeyUpper[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr char kUninstallDisplayName[] = "QDX Remote Control Uninstall";
constexpr DWORD kChunkSize = 4096;
constexpr DWORD kWaitForClientMs = 2000;

bool IsInstallFolderKey(const char* key) {
    return !key || lstrcmpA(key, kFolderProgramFiles) == 0 || lstrcmpA(key, kFolderDataFiles) == 0;
}

// Where a row of the file table goes; false when the path does not fit (the
// row's bytes are then read and counted but written nowhere, rather than to a
// cut path that names another file).
bool TargetPath(const char* installFolder, const SetupFileEntry& row, char (&out)[qdx::kTextSize]) {
    if (IsInstallFolderKey(row.folderKey))
        return qdx::FormatText(out, sizeof out, "%s\\%s", installFolder, row.fileName) > 0;
    return qdx::FormatText(out, sizeof out, "%s\\%s\\%s", installFolder, row.folderKey, row.fileName) > 0;
}

void SetRegistryText(HKEY key, const char* name, const char* text) {
    ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                     static_cast<DWORD>(lstrlenA(text) + 1));
}

void WriteUninstallEntry(const char* uninstallerPath) {
    qdx::UniqueRegKey currentVersion;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCurrentVersionKeyUpper, 0, KEY_READ | KEY_WRITE,
                        currentVersion.Put()) != ERROR_SUCCESS)
        return;
    qdx::UniqueRegKey entry;
    DWORD disposition = 0;
    if (::RegCreateKeyExA(currentVersion.Get(), kUninstallSubkey, 0, const_cast<char*>(""),
                          REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, entry.Put(),
                          &disposition) != ERROR_SUCCESS)
        return;
    // An entry that exists keeps its values.
    if (disposition != REG_CREATED_NEW_KEY) return;
    SetRegistryText(entry.Get(), "DisplayName", kUninstallDisplayName);
    // The system runs this value as a command line, and the path has spaces
    // ("Program Files"): unquoted, it would start "C:\Program" or the like.
    char command[qdx::kTextSize + 2];
    if (qdx::FormatText(command, sizeof command, "\"%s\"", uninstallerPath) < 0) return;
    SetRegistryText(entry.Get(), "UninstallString", command);
}

}  // namespace

void StartProgram(const char* path, const char* arguments) {
    char commandLine[qdx::kTextSize + 32];
    if (qdx::FormatText(commandLine, sizeof commandLine, "\"%s\"%s", path, arguments ? arguments : "") < 0) return;
    ::WinExec(commandLine, SW_SHOWNORMAL);
}

InstallDialog::InstallDialog() noexcept : LProgressDialog(kSetupCaption) {
    GetInstallProgramFilesPath(szInstallFolder);
    WriteSetting(kSectionFolders, kFolderProgramFiles, szInstallFolder);
    WriteSetting(kSectionFolders, kFolderDataFiles, szInstallFolder);
}

void InstallDialog::CreateDataFolder(const char* name) {
    ::CreateDataFolder(szInstallFolder, name);
}

bool InstallDialog::MainFunction() {
    SetText("Installing QDX Remote Control", 0);
    SetText("Software Licence Terms", 1);
    {
        LicenceTermsDlg page;
        if (!page.Open(hwnd, "LicenceTermsDlg")) return false;
    }
    CreateDataFolder(kFolderLogs);

    char packagePath[qdx::kTextSize];
    const DWORD n = ::GetModuleFileNameA(nullptr, packagePath, sizeof packagePath);
    if (n == 0 || n >= sizeof packagePath) return false;
    qdx::UniqueFile package;
    SetupTrailer trailer;
    switch (OpenSetupPackage(packagePath, kSetupFileCount, package, trailer)) {
    case PackageOpen::kCannotOpen:
        return false;
    case PackageOpen::kDamaged:
        ::MessageBoxA(hwnd, kInstallErrorText, kInstallErrorCaption, MB_ICONWARNING);
        return false;
    case PackageOpen::kOk:
        break;
    }
    std::uint32_t accumulator = trailer.checksum;
    const std::uint64_t total = SetupPayloadSize(trailer);
    std::uint64_t done = 0;

    bool cancelled = false;
    for (std::size_t i = 0; i < kSetupFileCount && !cancelled; ++i) {
        std::int32_t left = trailer.sizes[i];
        if (left <= 0) continue;
        const SetupFileEntry& row = SetupFileTable[i];
        SetText(row.fileName, 1);
        char target[qdx::kTextSize];
        qdx::UniqueFile out;
        if (TargetPath(szInstallFolder, row, target))
            out.Reset(::CreateFileA(target, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
        while (left > 0) {
            unsigned char buffer[kChunkSize];
            const DWORD want = left < static_cast<std::int32_t>(kChunkSize) ? static_cast<DWORD>(left) : kChunkSize;
            DWORD got = 0;
            if (::ReadFile(package.Get(), buffer, want, &got, nullptr) && got > 0) {
                accumulator = SubtractFromChecksum(accumulator, buffer, got);
                DWORD written = 0;
                if (out) ::WriteFile(out.Get(), buffer, got, &written, nullptr);
                done += got;
                SetProgress(static_cast<double>(done) / static_cast<double>(total));
            }
            left -= static_cast<std::int32_t>(kChunkSize);
            if (PumpMessages()) {
                cancelled = true;
                break;
            }
        }
        out.Reset();
        if (!cancelled && PumpMessages()) cancelled = true;
    }
    package.Reset();
    if (PumpMessages()) return false;

    // The files stay on disk after a mismatch, but nothing makes them usable.
    if (accumulator != 0) {
        ::MessageBoxA(hwnd, kInstallErrorText, kInstallErrorCaption, MB_ICONWARNING);
        return false;
    }
    SetText("Finalizing", 1);
    FinishInstall(*this);
    return true;
}

bool LicenceTermsDlg::Agreed() const {
    return ::IsDlgButtonChecked(hwnd, IDC_LICENCE_AGREE) == BST_CHECKED;
}

bool LicenceTermsDlg::CmOk() {
    return Agreed();
}

void LicenceTermsDlg::EnableControls() {
    EnableControl(IDOK, Agreed() ? 1 : 0);
}

void FinishInstall(InstallDialog& install) {
    char program[qdx::kTextSize];
    qdx::CopyText(program, install.InstallFolder());
    LFile::FilePathCat(program, kProgramFileName);
    AppendMarker(program, NO_MARKER);

    CreateStartMenuShortcut(program, kProgramShortcutName);
    char desktopShortcut[qdx::kTextSize];
    GetDesktopShortcutPath(desktopShortcut);
    if (desktopShortcut[0]) CreateShellLink(desktopShortcut, program);

    char uninstaller[qdx::kTextSize];
    qdx::CopyText(uninstaller, install.InstallFolder());
    LFile::FilePathCat(uninstaller, kUninstallerFileName);
    if (::CopyFileA(program, uninstaller, FALSE)) AppendMarker(uninstaller, UNINSTALL_MARKER);

    WriteUninstallEntry(uninstaller);

    char help[qdx::kTextSize];
    qdx::CopyText(help, install.InstallFolder());
    LFile::FilePathCat(help, kHelpFileName);
    CreateStartMenuShortcut(help, kHelpShortcutName);

    StartProgram(program, nullptr);
}

void RunInstall(HWND runningClient) {
    if (runningClient) {
        ::PostMessageA(runningClient, WM_CLOSE, 0, 0);
        ::Sleep(kWaitForClientMs);
    }
    InstallDialog install;
    install.Run(nullptr);
}
