#include "app/client.h"

#include "app/closerequest.h"
#include "app/maindialog.h"
#include "res/resource.h"
#include "ui/levelaccess.h"

namespace {
// The system's dialog class, by its predefined atom.
const char* const kDialogClass = MAKEINTATOM(32770);
}

HWND FindRunningClient() {
    return ::FindWindowA(kDialogClass, kMainWindowTitle);
}

void ActivateRunningClient(HWND window) {
    ::ShowWindow(window, SW_RESTORE);
    ::SetForegroundWindow(window);
}

void RunClient() {
    RegisterForRestartAfterUpdate();
    MainDialog dialog;
    dialog.Open(nullptr, MAKEINTRESOURCEA(IDD_MAIN));
    EndLevelAccess();  // the windows are gone
}
