#include "ui/progress.h"

#include <commctrl.h>

#include <utility>

#include "res/resource.h"
#include "ui/dpi.h"
#include "ui/instance.h"

LProgressDialog::LProgressDialog(const char* title) noexcept : title(title) {
    ::InitCommonControls();  // the progress bar class
}

bool LProgressDialog::Run(HWND owner) {
    if (hwnd) return false;
    if (!::CreateDialogParamA(AppInstance(), "LProgressDialog", owner, ProgressProc,
                              reinterpret_cast<LPARAM>(this)))
        return false;
    if (owner) ::EnableWindow(owner, FALSE);
    const bool result = MainFunction();
    if (owner) {
        ::EnableWindow(owner, TRUE);
        ::SetActiveWindow(owner);
        ::SetFocus(owner);
    }
    if (hwnd && ::IsWindow(hwnd)) ::DestroyWindow(hwnd);
    hwnd = nullptr;
    return result;
}

void LProgressDialog::SetText(const char* text, int line) {
    if (hwnd && (line == 0 || line == 1)) ::SetDlgItemTextA(hwnd, IDC_PROGRESS_LINE0 + line, text);
}

void LProgressDialog::SetProgress(double fraction) {
    if (!hwnd) return;
    double percent = fraction * 100.0;
    // The bar's range is 0..100; anything outside (or not a number) would not
    // convert to an integer safely.
    if (!(percent >= 0.0)) percent = 0.0;
    if (percent > 100.0) percent = 100.0;
    ::SendDlgItemMessageA(hwnd, IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(static_cast<int>(percent)), 0);
}

bool LProgressDialog::PumpMessages() {
    while (hwnd && ::IsWindow(hwnd)) {
        MSG msg;
        if (!::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
        if (!::IsDialogMessageA(hwnd, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
    return true;
}

INT_PTR CALLBACK LProgressDialog::ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrA(window, GWLP_USERDATA, lParam);
        auto* dialog = reinterpret_cast<LProgressDialog*>(lParam);
        if (dialog) {
            dialog->hwnd = window;
            ::SetWindowTextA(window, dialog->title);
            ::SendDlgItemMessageA(window, IDC_PROGRESS_BAR, PBM_SETPOS, 0, 0);
            dialog->ShowLamp(WindowDpi(window));
        }
        return TRUE;
    }
    auto* dialog = reinterpret_cast<LProgressDialog*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_DPICHANGED && dialog && dialog->hwnd == window) {
        dialog->ShowLamp(HIWORD(wParam));
        return FALSE;  // the dialog manager scales the rest
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        // The job sees the cleared handle at its next PumpMessages.
        if (dialog && dialog->hwnd == window) dialog->hwnd = nullptr;
        ::DestroyWindow(window);
        return TRUE;
    }
    if (dialog && dialog->hwnd == window) return dialog->HandleMessage(message, wParam, lParam);
    return FALSE;
}

// The template's lamp keeps its 32 pixels in a box that grows with the DPI;
// this one grows with it. The old lamp goes once the new one is shown.
void LProgressDialog::ShowLamp(UINT dpi) {
    qdx::UniqueIcon shown(LoadIconForDpi(AppInstance(), MAKEINTRESOURCEA(IDI_LAMP_ORANGE), 32, dpi));
    if (!shown) return;
    ::SendDlgItemMessageA(hwnd, IDC_PROGRESS_LAMP, STM_SETICON, reinterpret_cast<WPARAM>(shown.Get()), 0);
    lamp = std::move(shown);
}
