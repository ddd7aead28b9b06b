#include "ui/ldialog.h"

#include <commctrl.h>

#include "ui/instance.h"

// noexcept on the procedure: an exception that reached it would otherwise try
// to unwind through the system's frames; terminating is the honest outcome.
INT_PTR CALLBACK LDialog::CommonDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrA(window, DWLP_USER, lParam);
        LDialog* dialog = reinterpret_cast<LDialog*>(lParam);
        if (dialog && window) {
            dialog->hwnd = window;
            dialog->InitDialog();
            dialog->EnableControls();
        }
        return TRUE;  // the dialog manager sets the default focus
    }
    LDialog* dialog = reinterpret_cast<LDialog*>(::GetWindowLongPtrA(window, DWLP_USER));
    // Before WM_INITDIALOG and after a closing path cleared hwnd, the object is
    // not ours to call: the dialog manager's defaults apply.
    if (dialog && window && dialog->hwnd == window) return dialog->DialogProc(message, wParam, lParam);
    return FALSE;
}

void LDialog::EvCommand(WORD, WORD) {}

INT_PTR LDialog::DialogProc(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_DESTROY:
        DestroyDialog();
        hwnd = nullptr;
        return FALSE;
    case WM_ENDSESSION:
        if (wParam) {  // the logoff or shutdown goes ahead
            DestroyDialog();
            hwnd = nullptr;
        }
        return TRUE;
    case WM_HELP:
        CmHelp();
        return TRUE;
    case WM_COMMAND: {
        const WORD id = LOWORD(wParam);
        if (id == IDOK) {
            if (CmOk()) Close(IDOK);
        } else if (id == IDCANCEL) {
            if (CmCancel()) Close(IDCANCEL);
        } else if (id == IDHELP) {
            CmHelp();
        } else {
            // Every notification passes here, so EnableControls keeps the
            // controls' states current without handling each one.
            EvCommand(id, HIWORD(wParam));
            EnableControls();
        }
        return TRUE;
    }
    default:
        return FALSE;
    }
}

void LDialog::Close(int result) {
    DestroyDialog();
    HWND window = hwnd;
    hwnd = nullptr;  // the later WM_DESTROY no longer reaches the object
    if (window) ::EndDialog(window, result);
}

bool LDialog::Open(HWND parent, LPCSTR templateName) {
    if (hwnd) return false;
    const INT_PTR result = ::DialogBoxParamA(AppInstance(), templateName, parent, CommonDialogProc,
                                             reinterpret_cast<LPARAM>(this));
    return result == IDOK;
}

void LDialog::EnableControl(int id, unsigned char flag) {
    ::EnableWindow(::GetDlgItem(hwnd, id), flag != 0);
}

void LDialog::MoveControl(int id, int x, int y, int width, int height) {
    ::MoveWindow(::GetDlgItem(hwnd, id), x, y, width, height, TRUE);
}

unsigned LDialog::GetControlText(int id, char (&buffer)[qdx::kTextSize]) {
    buffer[0] = '\0';
    const int n = ::GetDlgItemTextA(hwnd, id, buffer, static_cast<int>(qdx::kTextSize));
    buffer[qdx::kTextSize - 1] = '\0';
    return n > 0 ? static_cast<unsigned>(n) : 0u;
}

int LDialog::DialogUnitsToPixels(int size) {
    RECT r = {0, 0, 0, size};
    ::MapDialogRect(hwnd, &r);
    return r.bottom;
}

void LDialog::SetButtonIcon(int id, int iconId) {
    HICON icon = static_cast<HICON>(
        ::LoadImageA(AppInstance(), MAKEINTRESOURCEA(iconId), IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR));
    if (!icon) return;  // the button keeps what it shows
    qdx::ReplaceIcon(::GetDlgItem(hwnd, id), BM_SETIMAGE, IMAGE_ICON, icon);
}

// --- LKeyDialog ---

void LKeyDialog::Close(int) {
    HWND window = hwnd;
    if (!window) return;
    if (HWND parent = ::GetParent(window)) ::EnableWindow(parent, TRUE);
    // WM_DESTROY runs DestroyDialog and clears hwnd, which ends the loop of Open.
    ::DestroyWindow(window);
}

bool LKeyDialog::ProcessKeyMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
        if (lParam & (1L << 30)) return false;  // auto-repeat: the key was already down
        unsigned key = static_cast<unsigned>(wParam) & 0xFFFFu;
        if (::GetKeyState(VK_CONTROL) & 0x8000) key |= MODIFIER_CTRL;
        if (::GetKeyState(VK_MENU) & 0x8000) key |= MODIFIER_ALT;
        if (::GetKeyState(VK_SHIFT) & 0x8000) key |= MODIFIER_SHIFT;
        return EvKeyDown(key);
    }
    case WM_KEYUP:
    case WM_SYSKEYUP:
        return EvKeyUp(static_cast<unsigned>(wParam) & 0xFFFFu);
    default:
        return false;
    }
}

bool LKeyDialog::Open(HWND parent, LPCSTR templateName) {
    if (hwnd) return false;
    HWND window = ::CreateDialogParamA(AppInstance(), templateName, parent, CommonDialogProc,
                                       reinterpret_cast<LPARAM>(this));
    if (!window) return false;
    if (parent) ::EnableWindow(parent, FALSE);

    MSG msg;
    bool quit = false;
    while (hwnd && ::IsWindow(hwnd)) {
        const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            quit = true;
            break;
        }
        if (got == -1) break;
        if (ProcessKeyMessage(msg.hwnd, msg.message, msg.wParam, msg.lParam)) continue;
        if (!hwnd || !::IsDialogMessageA(hwnd, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }

    // The object must outlive its window. When the loop ended with the window
    // still there (WM_QUIT, or a session end that cleared hwnd), cut the link
    // and destroy it here rather than leave it pointing at a dying object.
    if (::IsWindow(window)) {
        if (hwnd == window) {
            ::DestroyWindow(window);  // runs DestroyDialog through WM_DESTROY
        } else {
            ::SetWindowLongPtrA(window, DWLP_USER, 0);
            ::DestroyWindow(window);
        }
    }
    hwnd = nullptr;
    if (parent) ::EnableWindow(parent, TRUE);
    if (quit) ::PostQuitMessage(static_cast<int>(msg.wParam));
    return true;
}

// --- LPlayerBaseDlg ---

void LPlayerBaseDlg::AddTool(qdx::UniqueWindow& tooltip, int id, const char* text) {
    if (!tooltip) {
        ::InitCommonControls();
        tooltip.Reset(::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                                        WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                                        CW_USEDEFAULT, CW_USEDEFAULT, hwnd, nullptr, AppInstance(), nullptr));
        if (!tooltip) return;
        ::SetWindowPos(tooltip.Get(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    TTTOOLINFOA info = {};
    info.cbSize = TTTOOLINFOA_V1_SIZE;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = hwnd;
    info.uId = reinterpret_cast<UINT_PTR>(::GetDlgItem(hwnd, id));
    info.hinst = nullptr;
    info.lpszText = const_cast<char*>(text);
    ::SendMessageA(tooltip.Get(), TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
}
