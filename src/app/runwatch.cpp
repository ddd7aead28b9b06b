// What the window keeps an eye on while a recording runs: how long it has
// run (in a status bar part of its own and in the tray tip, and in the log at
// its end) and whether the line has gone silent; and the colours it draws the
// log and the meter with, which follow the system's high-contrast mode.
#include <windows.h>
#include <commctrl.h>

#include <cstring>

#include "app/maindialog.h"
#include "core/elapsed.h"
#include "log/activitylog.h"
#include "net/link_messages.h"
#include "res/resource.h"
#include "settings/settings.h"
#include "ui/syscolours.h"

namespace {

constexpr int kClockPart = 1;  // the status bar's part at its right end
constexpr char kClockWidest[] = "Recording 88:88:88";  // what the part is measured for
constexpr UINT kClockLateMillis = 20;  // the timer comes just after a second has turned

// The width of a status bar part that holds the text in the bar's font.
int PartWidth(HWND bar, const char* text) {
    HDC dc = ::GetDC(bar);
    if (!dc) return 0;
    SIZE size = {};
    {
        qdx::ScopedSelect font(dc, reinterpret_cast<HGDIOBJ>(::SendMessageA(bar, WM_GETFONT, 0, 0)));
        ::GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &size);
    }
    ::ReleaseDC(bar, dc);
    int borders[3] = {};
    ::SendMessageA(bar, SB_GETBORDERS, 0, reinterpret_cast<LPARAM>(borders));
    // The text's margins and the grip at the bar's corner.
    return size.cx + 2 * borders[2] + 4 * ::GetSystemMetrics(SM_CXEDGE) + ::GetSystemMetrics(SM_CXVSCROLL);
}

}  // namespace

bool MainDialog::WatchRun(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_LINK_RECORDING:
        if (Recording() && !clockRunning) StartClock();  // within a run, once
        return true;
    case WM_LINK_LEVEL:
        ReportSilence(silenceWatch.Level(::GetTickCount(), static_cast<int>(static_cast<INT_PTR>(wParam))));
        return false;  // the meter shows it as well
    case WM_LINK_ENDED:
        StopClock();
        return false;
    case WM_TIMER:
        if (wParam != kClockTimer) return false;
        ShowClock();
        return true;
    case WM_SYSCOLORCHANGE:
        // Common controls learn of new colours from their parent.
        ::SendDlgItemMessageA(hwnd, IDC_MAIN_STATUS, WM_SYSCOLORCHANGE, 0, 0);
        ApplyColourScheme();
        return false;
    case WM_SETTINGCHANGE:  // high contrast switched on or off
        ApplyColourScheme();
        return false;
    default:
        return false;
    }
}

bool MainDialog::RecordingTime(char* out, std::size_t cap) const {
    if (cap) out[0] = '\0';
    if (!clockRunning) return false;
    elapsed::FormatElapsed((::GetTickCount() - clockStart) / 1000, out, cap);
    return true;
}

void MainDialog::StartClock() {
    clockStart = ::GetTickCount();
    clockRunning = true;
    silenceWatch.Start(clockStart, ReadSettingInt(kSectionSettings, kSettingSilenceSeconds, kDefaultSilenceSeconds));
    HWND bar = ::GetDlgItem(hwnd, IDC_MAIN_STATUS);
    RECT client = {};
    ::GetClientRect(bar, &client);
    const int edges[] = {client.right - PartWidth(bar, kClockWidest), -1};
    ::SendMessageA(bar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(edges));
    ShowClock();
}

void MainDialog::StopClock() {
    if (!clockRunning) return;
    char time[elapsed::kElapsedSize];
    RecordingTime(time, sizeof time);
    clockRunning = false;
    silenceWatch.Stop();  // a silence that outlasts the recording says nothing more
    ::KillTimer(hwnd, kClockTimer);
    const int whole[] = {-1};
    ::SendDlgItemMessageA(hwnd, IDC_MAIN_STATUS, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(whole));
    char line[64];
    qdx::FormatText(line, sizeof line, "Recorded for %s", time);
    ReportLine(line, false);
}

void MainDialog::ShowClock() {
    const DWORD now = ::GetTickCount();
    const DWORD ran = now - clockStart;
    ReportSilence(silenceWatch.Tick(now));
    char time[elapsed::kElapsedSize];
    RecordingTime(time, sizeof time);
    char text[elapsed::kElapsedSize + 16];
    qdx::FormatText(text, sizeof text, "Recording %s", time);
    ::SendDlgItemMessageA(hwnd, IDC_MAIN_STATUS, SB_SETTEXTA, kClockPart, reinterpret_cast<LPARAM>(text));
    UpdateTrayTip();
    ::SetTimer(hwnd, kClockTimer, 1000 - ran % 1000 + kClockLateMillis, nullptr);
}

void MainDialog::ReportSilence(silence::Event event) {
    if (event == silence::Event::kAlert) {
        char text[64];
        silence::FormatSilenceAlert(silenceWatch.StretchSeconds(), text, sizeof text);
        ReportLine(text, true);
    } else if (event == silence::Event::kSoundAgain) {
        ReportLine(silence::kSoundAgainText, false);
    }
}

void MainDialog::ApplyColourScheme() { ShowColourScheme(SystemScheme()); }

void MainDialog::ShowColourScheme(const contrast::Scheme& scheme) {
    SetLogViewColours(scheme.log);
    SetLDBDisplayColours(hLevel, scheme.meter);
}
