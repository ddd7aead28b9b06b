#include "app/closerequest.h"

#include "common/systemdll.h"

namespace {
constexpr char kCloseForUpdateMessage[] = "QdxRemoteCloseForUpdate";
}

bool AnswerCloseRequest(LDialog& dialog, bool recording, UINT message, WPARAM wParam, LPARAM lParam,
                        INT_PTR& answer) noexcept {
    // The close itself is posted to the window, so that the window goes after
    // the request was answered, not inside the installer's sent message. (A
    // registered message, looked up only for messages of that range.)
    constexpr UINT kFirstRegisteredMessage = 0xC000;
    if (message >= kFirstRegisteredMessage && message == ::RegisterWindowMessageA(kCloseForUpdateMessage)) {
        // A recording that started after the client agreed still goes on: the
        // installer finds the file in use and replaces it at the next restart.
        if (!recording) dialog.Close(0);
        answer = TRUE;
        return true;
    }
    if ((message != WM_QUERYENDSESSION && message != WM_ENDSESSION) || !(lParam & ENDSESSION_CLOSEAPP))
        return false;
    answer = TRUE;  // handled: a dialog procedure answers through DWLP_MSGRESULT
    if (message == WM_QUERYENDSESSION) {
        ::SetWindowLongPtrA(dialog.Window(), DWLP_MSGRESULT, recording ? FALSE : TRUE);
        return true;
    }
    ::SetWindowLongPtrA(dialog.Window(), DWLP_MSGRESULT, 0);
    if (wParam && !recording)
        ::PostMessageA(dialog.Window(), ::RegisterWindowMessageA(kCloseForUpdateMessage), 0, 0);
    return true;
}

void RegisterForRestartAfterUpdate() noexcept {
    // From Windows Vista on; looked up, as the program starts on older systems too.
    using Register = HRESULT(WINAPI*)(PCWSTR, DWORD);
    const auto registerRestart =
        qdx::LoadedFunction<Register>("kernel32.dll", "RegisterApplicationRestart");
    constexpr DWORD kOnlyAfterUpdate = 1 | 2 | 8;  // RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT
    if (registerRestart) registerRestart(nullptr, kOnlyAfterUpdate);
}
