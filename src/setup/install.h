// The install: its progress window, the wait for a running client, the
// licence terms page, and the order of the steps: the packaged files extracted
// and staged (extract.h), then put in place, then the final steps that make the
// installed program usable (shortcuts, uninstaller and its entry in
// uninstallentry.h, the start of the program in programstart.h).
#pragma once

#include <windows.h>

#include "common/handles.h"
#include "core/product.h"
#include "core/text.h"
#include "ui/ldialog.h"
#include "ui/progress.h"

constexpr char kSetupCaption[] = "Installing QDX Remote Control v " QDX_VERSION_TEXT;
constexpr char kProgramFileName[] = "qdxremote.exe";
constexpr char kUninstallerFileName[] = "uninst.exe";
// Shortcut names (the files carry ".lnk"): in the Start-menu group, and on the desktop.
constexpr char kProgramShortcutName[] = "QDX Remote Control";
constexpr char kHelpShortcutName[] = "QDX Remote Control Help";

class InstallDialog : public LProgressDialog {
public:
    static constexpr DWORD kWaitForClientMs = 2000;  // for a running client to close
    // Decides and creates the install folder and records it as the
    // "ProgramFiles" and "DataFiles" folders.
    InstallDialog() noexcept;

    bool MainFunction() override;

    // The client asked to close before the job was made (RunSetupJob): its
    // main window and process, waited for before anything is installed.
    void SetRunningClient(HWND window, HANDLE process) noexcept {
        clientWindow = window;
        clientProcess.Reset(process);
    }

    // Creates the named subfolder of the install folder and records it.
    void CreateDataFolder(const char* name);
    const char* InstallFolder() const noexcept { return szInstallFolder; }

protected:
    // While the client's window exists, says so in the progress window; then
    // gives its process a moment to end. False when the user cancelled.
    bool WaitForClientToClose();

    char szInstallFolder[qdx::kTextSize];
    HWND clientWindow = nullptr;
    qdx::UniqueHandle clientProcess;
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

// A setup run of the process (InstallDialog, UninstallDialog): asks a running
// client to close and gives it up to the job's kWaitForClientMs to go, then
// makes the job and runs it in its progress window, where the install waits on
// for a client that has not gone yet. The job is made only then, since making
// the install records its folders in the settings.
template <typename Job>
void RunSetupJob(HWND runningClient) {
    HANDLE process = nullptr;
    if (runningClient) {
        DWORD id = 0;
        ::GetWindowThreadProcessId(runningClient, &id);
        process = ::OpenProcess(SYNCHRONIZE, FALSE, id);
        ::PostMessageA(runningClient, WM_CLOSE, 0, 0);
        for (DWORD waited = 0; waited < Job::kWaitForClientMs && ::IsWindow(runningClient); waited += 50)
            ::Sleep(50);
    }
    Job job;
    job.SetRunningClient(runningClient, process);
    job.Run(nullptr);
}
