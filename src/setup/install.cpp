#include "setup/install.h"

#include "common/handles.h"
#include "core/helpfiles.h"
#include "core/lfile.h"
#include "res/resource.h"
#include "settings/settings.h"
#include "setup/extract.h"
#include "setup/folders.h"
#include "setup/helpsystem.h"
#include "setup/marker.h"
#include "setup/programstart.h"
#include "setup/uninstallentry.h"

namespace {

constexpr char kInUseText[] =
    "The file %s is in use.\n\nClose QDX Remote Control and run the setup again.\n\n"
    "The previous installation was left unchanged.";
// The client may be hidden, with only its tray icon showing.
constexpr char kWaitingText[] =
    "Waiting for you to close QDX Remote Control: it may be running in the notification area";
constexpr DWORD kClientPollMs = 100;
// How long a client whose window has gone is given to end.
constexpr DWORD kClientExitMs = 5000;

}  // namespace

InstallDialog::InstallDialog() noexcept : LProgressDialog(kSetupCaption) {
    GetInstallProgramFilesPath(szInstallFolder);
    WriteSetting(kSectionFolders, kFolderProgramFiles, szInstallFolder);
    WriteSetting(kSectionFolders, kFolderDataFiles, szInstallFolder);
}

void InstallDialog::CreateDataFolder(const char* name) {
    ::CreateDataFolder(szInstallFolder, name);
}

bool InstallDialog::WaitForClientToClose() {
    if (clientWindow && ::IsWindow(clientWindow)) SetText(kWaitingText, 1);
    while (clientWindow && ::IsWindow(clientWindow)) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, kClientPollMs, QS_ALLINPUT);
        if (PumpMessages()) return false;
    }
    // Its window gone, the process still stops its work and lets go of its
    // file; one that takes longer is found at the replace step.
    const DWORD start = ::GetTickCount();
    const HANDLE process = clientProcess.Get();
    while (process) {
        const DWORD waited = ::GetTickCount() - start;
        if (waited >= kClientExitMs) break;
        if (::MsgWaitForMultipleObjects(1, &process, FALSE, kClientExitMs - waited, QS_ALLINPUT) == WAIT_OBJECT_0)
            break;
        if (PumpMessages()) return false;
    }
    clientProcess.Reset();
    return true;
}

bool InstallDialog::MainFunction() {
    SetText("Installing QDX Remote Control", 0);
    if (!WaitForClientToClose()) return false;
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
    SignatureFields program;
    switch (OpenSetupPackage(packagePath, package, trailer, program)) {
    case PackageOpen::kCannotOpen:
        return false;
    case PackageOpen::kDamaged:
        ::MessageBoxA(hwnd, kInstallErrorText, kInstallErrorCaption, MB_ICONWARNING);
        return false;
    case PackageOpen::kOk:
        break;
    }

    // Every file is written in full under its staging name first; the
    // installed files are replaced only once all of them are written and the
    // checksum matched.
    StagedFiles staged;
    const Extraction result = ExtractPackage(*this, szInstallFolder, package.Get(), trailer, program, staged);
    package.Reset();
    if (result == Extraction::kCancelled || result == Extraction::kWriteFailed || PumpMessages())
        return false;  // the staged files go with `staged`
    if (result == Extraction::kDamaged) {
        staged.Discard();
        ::MessageBoxA(hwnd, kInstallErrorText, kInstallErrorCaption, MB_ICONWARNING);
        return false;
    }
    if (const char* inUse = staged.Commit()) {
        char text[qdx::kTextSize + sizeof kInUseText];
        qdx::FormatText(text, sizeof text, kInUseText, inUse);
        ::MessageBoxA(hwnd, text, kInstallErrorCaption, MB_ICONWARNING);
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
    // The program got its NO_MARKER while it was extracted.

    CreateStartMenuShortcut(program, kProgramShortcutName);
    char desktopShortcut[qdx::kTextSize];
    GetDesktopShortcutPath(desktopShortcut);
    if (desktopShortcut[0]) CreateShellLink(desktopShortcut, program);

    char uninstaller[qdx::kTextSize];
    qdx::CopyText(uninstaller, install.InstallFolder());
    LFile::FilePathCat(uninstaller, kUninstallerFileName);
    WriteUninstaller(program, uninstaller);
    // The entry is the system's way to start the uninstaller: it is made only
    // when uninst.exe really is one.
    if (ReadRunModeMarker(uninstaller) == UNINSTALL_MARKER)
        WriteUninstallEntry(install.InstallFolder(), program, uninstaller);

    // The help shortcut leads to the help this system shows.
    char help[qdx::kTextSize];
    qdx::CopyText(help, install.InstallFolder());
    LFile::FilePathCat(help, HelpReaderInUse() == HelpReader::kBrowser ? kHelpContentsPage : kHelpFileName);
    CreateStartMenuShortcut(help, kHelpShortcutName);

    StartInstalledProgram(program);
}
