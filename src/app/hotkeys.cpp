// System-wide F5 (record) and F8 (stop), taken from every other application
// while the client runs with "UseHotKeys" on.
#include <windows.h>

#include "app/maindialog.h"
#include "log/activitylog.h"
#include "settings/settings.h"

#ifndef MOD_NOREPEAT
#define MOD_NOREPEAT 0x4000  // Windows 7 and later; older headers lack it
#endif

namespace {

struct HotKey {
    int id;
    UINT key;
    const char* inUse;  // the log line when another program holds the key
};

const HotKey kHotKeys[] = {
    {0, VK_F5, "Hot key F5 is in use by another program: press F5 in this window to record"},
    {1, VK_F8, "Hot key F8 is in use by another program: press F8 in this window to stop"},
};

constexpr UINT kReleasePollMillis = 50;

// MOD_NOREPEAT keeps a held key from sending a WM_HOTKEY per auto-repeat.
// A system that does not know the flag refuses it: then without.
bool RegisterKey(HWND window, const HotKey& hotKey) {
    if (::RegisterHotKey(window, hotKey.id, MOD_NOREPEAT, hotKey.key)) return true;
    if (::GetLastError() == ERROR_HOTKEY_ALREADY_REGISTERED) return false;
    return ::RegisterHotKey(window, hotKey.id, 0, hotKey.key) != FALSE;
}

}  // namespace

void MainDialog::HotKeyStart() {
    if (!ReadSettingBool(kSectionSettings, kSettingUseHotKeys, kDefaultUseHotKeys)) return;
    for (const HotKey& hotKey : kHotKeys) {
        // The key still works inside the main window; the user learns why it
        // does nothing elsewhere.
        if (!RegisterKey(hwnd, hotKey) && ::GetLastError() == ERROR_HOTKEY_ALREADY_REGISTERED)
            WriteLogLine(hotKey.inUse);
    }
}

void MainDialog::HotKeyStop() {
    for (const HotKey& hotKey : kHotKeys) ::UnregisterHotKey(hwnd, hotKey.id);
}

// A hot key acts as the bare key pressed in the window; which id it came by
// does not matter. Some systems (Wine among them) send a WM_HOTKEY for every
// auto-repeat of a held key even with MOD_NOREPEAT: only the first press of
// F5 or F8 counts until that key has been released, or holding F5 would open
// prompt after prompt, or restart the run before it has reported its start.
void MainDialog::EvHotKey(LPARAM lParam) {
    const UINT key = HIWORD(lParam);
    for (const HotKey& hotKey : kHotKeys) {
        if (hotKey.key != key) continue;
        const unsigned bit = 1u << hotKey.id;
        if (heldHotKeys & bit) return;
        // Marked before acting: the action may run a prompt's loop, which
        // dispatches the repeats still queued.
        heldHotKeys |= bit;
        ::SetTimer(hwnd, kHotKeyReleaseTimer, kReleasePollMillis, nullptr);
    }
    EvKeyDown(key);
}

void MainDialog::PollHeldHotKeys() {
    for (const HotKey& hotKey : kHotKeys)
        if (!(::GetAsyncKeyState(static_cast<int>(hotKey.key)) & 0x8000)) heldHotKeys &= ~(1u << hotKey.id);
    if (!heldHotKeys) ::KillTimer(hwnd, kHotKeyReleaseTimer);
}
