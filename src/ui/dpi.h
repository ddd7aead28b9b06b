// Pixel sizes at the DPI of a window. What the program draws itself (fonts,
// lamps, the meter's patterns, the about picture) is designed in pixels at
// 96 DPI and scaled with these; dialogs scale by themselves through their
// dialog units.
//
// Every handler of a DPI change (a window moved to a monitor of another DPI):
// the top-level windows get WM_DPICHANGED, their children then
// WM_DPICHANGED_AFTERPARENT.
//   app/maindialog.cpp  MainDialog::EvDpiChanged: ApplyDpi makes the log font
//                       (SetLogViewFont, log/activitylog.cpp; the view keeps
//                       it, KeepControlFontOnDpiChange), the window icons and
//                       the Record button's lamps anew, then the window
//                       takes the size the system suggests. The tray lamps
//                       follow the taskbar's DPI instead (TaskbarDpi): TrayLamp
//                       makes them again when it has changed.
//   app/aboutbox.cpp    LAboutBox::DialogProc: lays the picture and the text
//                       out again once the dialog manager has scaled the box.
//   ui/progress.cpp     LProgressDialog::ProgressProc: the lamp (ShowLamp).
//   ui/ldbdisplay.cpp   MeterProc: the meter's pattern brushes made anew.
//   ui/editbar.cpp      EditBarProc: the log view's scroll bar at the
//                       system's width for the new DPI (SystemMetricForDpi).
// Each also sizes its pixels by WindowDpi when its window is made.
#pragma once

#include <windows.h>

constexpr UINT kBaseDpi = 96;

// Sent when a window moves to a monitor of another DPI (to the top-level
// window, then to each child); older headers lack them.
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif
#ifndef WM_DPICHANGED_AFTERPARENT
#define WM_DPICHANGED_AFTERPARENT 0x02E3
#endif

// The DPI of the monitor a window is on where the system keeps one per window
// (Windows 10 and later), else the system's; 96 when neither can be read.
UINT WindowDpi(HWND window);

// A length in pixels at 96 DPI, at another DPI (rounded to the nearest pixel).
inline int ScaleForDpi(int pixels, UINT dpi) { return ::MulDiv(pixels, static_cast<int>(dpi), kBaseDpi); }

// A control of a dialog keeps the font it was given when the dialog moves to
// a monitor of another DPI (the system would give it the dialog's font again);
// its owner makes it a new one. Nothing on systems before Windows 10 (1703).
void KeepControlFontOnDpiChange(HWND control);

// A system metric (a scroll bar's width, say) at the DPI where the system
// keeps one per DPI (Windows 10 and later), else at the system's DPI.
int SystemMetricForDpi(int index, UINT dpi);

// A bitmap resource stretched to its size at the DPI (as it is at 96), or null.
HBITMAP LoadBitmapForDpi(HINSTANCE instance, LPCSTR name, UINT dpi);

// An icon resource at `size` pixels (a size at 96 DPI) scaled to the DPI, or null.
HICON LoadIconForDpi(HINSTANCE instance, LPCSTR name, int size, UINT dpi);

// The DPI of the taskbar, where the tray's icons are shown (the monitor of the
// taskbar's window where the system keeps one per window, else the system's).
UINT TaskbarDpi();
