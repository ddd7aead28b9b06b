// The notification-area icon: a lamp that shows the record state while the
// client runs, also hidden, and a small menu to open, record, stop, hide and
// exit.
#include <windows.h>
#include <shellapi.h>

#include "app/maindialog.h"
#include "common/handles.h"
#include "common/systemdll.h"
#include "core/text.h"
#include "res/resource.h"
#include "ui/instance.h"

namespace {

constexpr UINT kTrayIconId = 24;
// The tip says whether a recording runs, for those who cannot tell the lamps
// apart (and for screen readers, which read it out).
constexpr char kTrayTipIdle[] = "QDX Remote Control";
constexpr char kTrayTipRecording[] = "QDX Remote Control - recording";
constexpr std::size_t kTipSize = 64;  // the record's first-form field

// The record's first form: every shell understands it, and the client needs
// nothing the later fields add.
#if defined(_WIN64)
static_assert(NOTIFYICONDATAA_V1_SIZE == 104, "first form of the tray record, 64-bit");
#else
static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "first form of the tray record, 32-bit");
#endif

// The shell's library is loaded when the icon is first added (after the
// window shows), not before the program's first instruction.
BOOL NotifyShell(DWORD action, NOTIFYICONDATAA* data) {
    using NotifyFn = BOOL(WINAPI*)(DWORD, NOTIFYICONDATAA*);
    static NotifyFn notify = nullptr;  // the window's thread only
    if (!notify) notify = qdx::SystemFunction<NotifyFn>("shell32.dll", "Shell_NotifyIconA");
    return notify ? notify(action, data) : FALSE;
}

// Adds or modifies the icon with one of the window's 16 x 16 lamps (the shell
// copies the image) and the tip; a lamp that failed to load is passed as no
// icon, and a null icon with NIM_MODIFY changes the tip alone. False when the
// shell refused.
bool SetTrayIcon(HWND window, DWORD action, HICON icon, const char* tip) {
    NOTIFYICONDATAA data = {};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = window;
    data.uID = kTrayIconId;
    data.uFlags = action == NIM_MODIFY && !icon ? NIF_TIP : NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_TRAYNOTIFY;
    data.hIcon = icon;
    qdx::CopyText(data.szTip, kTipSize, tip);
    return NotifyShell(action, &data) != FALSE;
}

// The tip says whether a recording runs and, once it records, for how long:
// "QDX Remote Control - recording 2:05".
void TrayTip(const MainDialog& dialog, char (&tip)[kTipSize]) {
    static_assert(sizeof kTrayTipRecording + 12 <= kTipSize, "the tip with its time fits the field");
    qdx::CopyText(tip, dialog.Recording() ? kTrayTipRecording : kTrayTipIdle);
    char time[16];
    if (dialog.Recording() && dialog.RecordingTime(time, sizeof time)) {
        qdx::AppendText(tip, " ");
        qdx::AppendText(tip, time);
    }
}

}  // namespace

// The icon with the lamp of the moment: added the first time, changed after
// that. Each call is a round trip to the shell (some 10 ms under Wine), so the
// start adds the icon with its lamp at once instead of adding and changing it.
// A shell that no longer knows the icon (it restarted, and its
// "TaskbarCreated" broadcast came or went unseen) refuses the change: then the
// icon is added again, or a client closed to the tray could not be reached any
// more.
void MainDialog::UpdateNotifyIcon() {
    HICON lamp = TrayLamp(recording ? kLampRed : kLampOrange);
    char tip[kTipSize];
    TrayTip(*this, tip);
    if (!trayAdded || !SetTrayIcon(hwnd, NIM_MODIFY, lamp, tip)) trayAdded = SetTrayIcon(hwnd, NIM_ADD, lamp, tip);
    trayRecording = Recording();
}

// The recording's time in the tip, once a second: the tip alone, one round
// trip to the shell. An icon the shell has lost is added again whole; one
// not added yet waits for the window's first frame (kShownTimer).
void MainDialog::UpdateTrayTip() {
    if (!trayAdded) return;
    char tip[kTipSize];
    TrayTip(*this, tip);
    if (!SetTrayIcon(hwnd, NIM_MODIFY, nullptr, tip)) UpdateNotifyIcon();
}

void MainDialog::RemoveNotifyIcon() {
    NOTIFYICONDATAA data = {};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = hwnd;
    data.uID = kTrayIconId;
    NotifyShell(NIM_DELETE, &data);
    trayAdded = false;
}

void MainDialog::EvTrayNotify(LPARAM lParam) {
    switch (static_cast<UINT>(lParam)) {
    case WM_LBUTTONUP:
        CmOpen();
        break;
    case WM_RBUTTONDOWN:
    case WM_CONTEXTMENU: {
        // A popup menu closes when its owner loses the foreground; without
        // this, a click anywhere else would leave the menu standing (and a
        // hidden owner never had the foreground to begin with).
        ::SetForegroundWindow(hwnd);
        POINT at = {};
        ::GetCursorPos(&at);
        qdx::UniqueMenu menu(::LoadMenuA(AppInstance(), MAKEINTRESOURCEA(IDM_TRAY)));
        HMENU popup = menu ? ::GetSubMenu(menu.Get(), 0) : nullptr;
        if (!popup) break;
        ::SetMenuDefaultItem(popup, CM_OPEN, FALSE);
        ::TrackPopupMenu(popup, TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd, nullptr);
        break;
    }
    default:
        break;
    }
}
