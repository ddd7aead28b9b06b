// The close request of an installer that replaces the program while it runs:
// Windows Installer asks through the Restart Manager, which sends the
// program's windows WM_QUERYENDSESSION and then WM_ENDSESSION, both with
// ENDSESSION_CLOSEAPP in lParam. An idle client agrees and ends, and is
// started again after the install (RegisterForRestartAfterUpdate). A client
// that is recording refuses: the recording goes on, and the installer
// replaces the file at the next restart of the computer instead.
#pragma once

#include <windows.h>

#include "ui/ldialog.h"

// For the main window's procedure: true when the message is such a request,
// with answer what the procedure returns. An agreed WM_ENDSESSION closes the
// dialog (and so ends the client).
bool AnswerCloseRequest(LDialog& dialog, bool recording, UINT message, WPARAM wParam, LPARAM lParam,
                        INT_PTR& answer) noexcept;

// Asks the Restart Manager to start the client again once an installer that
// closed it is done (not after a crash, a hang or a restart of the computer).
void RegisterForRestartAfterUpdate() noexcept;
