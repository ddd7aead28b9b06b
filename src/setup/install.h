// The install: licence terms page, extraction of the packaged files with the
// checksum test, and the final steps that make the installed program usable.
#pragma once

#include <windows.h>

#include "common/text.h"
#include "ui/ldialog.h"
#include "ui/progress.h"

constexpr char kSetupCaption[] = "Installing QDX Remote Control v 1.00";
constexpr char kProgramFileName[] = "qdxremote.exe";
constexpr char kUninstallerFileName[] = "uninst.exe";
// Shortcut names (the files carry ".lnk"): in the Start-menu group, and on the desktop.
constexpr char kProgramShortcutName[] = "QDX Remote Control";
constexpr char kHelpShortcutName[] = "QDX Remote Control Help";
// Below HKEY_LOCAL_MACHINE "SOFTWARE\Microsoft\Windows\CurrentVersion".
constexpr char kUninstallSubkey[] = "Uninstall\\QDXRemote";

class InstallDialog : public LProgressDialog {
public:
    // Decides and creates the install folder and records it as the
    // "ProgramFiles" and "DataFiles" folders.
    InstallDialog() noexcept;

    bool MainFunction() override;

    // Creates the named subfolder of the install folder and records it.
    void CreateDataFolder(const char* name);
    const char* InstallFolder() const noexcept { return szInstallFolder; }

protected:
    char szInstallFolder[qdx::kTextSize];
};

// Licence terms, shown modally over the progress window. Next is enabled only
// while "I agree" is checked; the page opens with neither choice made.
class LicenceTermsDlg : public LDialog {
public:
    bool CmOk() override;
    void EnableControls() override;

private:
    bool Agreed() const;
};

// Program marker, shortcuts, uninstaller, uninstall entry, start of the program.
void FinishInstall(InstallDialog& install);

// Starts a program shown normally, its path quoted: the install folder lies
// under "Program Files", and an unquoted command line would start whatever
// file is named "C:\Program" (or the like) instead. arguments, when given,
// follow the quoted path as they are (with their leading space).
void StartProgram(const char* path, const char* arguments);

// The install run of the process: asks a running client to close, then runs
// the install job in the progress window.
void RunInstall(HWND runningClient);
