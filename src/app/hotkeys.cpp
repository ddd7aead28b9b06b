// System-wide F5 (record) and F8 (stop), taken from every other application
// while the client runs with "UseHotKeys" on.
#include <windows.h>

#include "app/maindialog.h"
#include "settings/settings.h"

namespace {

constexpr int kHotKeyRecord = 0;  // F5
constexpr int kHotKeyStop = 1;    // F8

}  // namespace

void MainDialog::HotKeyStart() {
    if (!ReadSettingBool(kSectionSettings, kSettingUseHotKeys, kDefaultUseHotKeys)) return;
    // Another program holding a key makes its registration fail; the key then
    // still works inside the main window, so the failure is not reported.
    ::RegisterHotKey(hwnd, kHotKeyRecord, 0, VK_F5);
    ::RegisterHotKey(hwnd, kHotKeyStop, 0, VK_F8);
}

void MainDialog::HotKeyStop() {
    ::UnregisterHotKey(hwnd, kHotKeyRecord);
    ::UnregisterHotKey(hwnd, kHotKeyStop);
}

// A hot key acts as the bare key pressed in the window; which id it came by
// does not matter.
void MainDialog::EvHotKey(LPARAM lParam) {
    EvKeyDown(HIWORD(lParam));
}
