// The uninstall: restarts from a copy in the temporary folder (so the program
// folder is not held open by it), asks, and removes the shortcuts, the
// uninstall entry and the folders that have become empty. The program files,
// the logs and the settings stay.
#pragma once

#include <windows.h>

#include "setup/install.h"

class UninstallDialog : public InstallDialog {
public:
    static constexpr DWORD kWaitForClientMs = 1500;
    bool MainFunction() override;
};

// Desktop shortcut, uninstall entry, both Start-menu shortcuts, the group
// folder and the maker folder when empty. Every failure is passed over.
void RemoveInstall();

