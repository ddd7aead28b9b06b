// Parts of the main window that arrive with the tray, hot-key, settings, about
// and help work. Until then they leave everything as it is.
#include "app/maindialog.h"

void MainDialog::AddNotifyIcon() {}
void MainDialog::UpdateNotifyIcon() {}
void MainDialog::RemoveNotifyIcon() {}
void MainDialog::HotKeyStart() {}
void MainDialog::HotKeyStop() {}
void MainDialog::EvTrayNotify(LPARAM) {}

// A system-wide hot key acts as the bare key pressed in the window.
void MainDialog::EvHotKey(LPARAM lParam) {
    EvKeyDown(HIWORD(lParam));
}

void MainDialog::CmSettings() {}
void MainDialog::CmAbout() {}
void MainDialog::CmHelp() {}
void MainDialog::OpenWebPage(const char*) {}
