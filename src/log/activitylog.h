// Activity log: every line goes to the file of the day in the Logs folder and
// to the log view, the main window's edit control showing the recent tail.
//
// How a line is appended (WriteLogLine): stamped with the local time
// (core/logformat.h), written to the end of the file of the day, which is
// opened for that one line and closed again, then added to the view
// (AppendLogView): the tail (core/logtail.h) keeps the last few thousand
// characters, and the control is sent only the change (what the tail cut goes
// from its front, the line goes on at its end), so it lays out and scrolls
// once. The view's scroll bar is a control the program keeps (ui/editbar.h);
// its font is made at the window's DPI (SetLogViewFont, ui/dpi.h); an alert
// turns it red for a while (RaiseLogAlert).
#pragma once

#include <windows.h>

#include "common/handles.h"
#include "core/contrast.h"
#include "core/logtail.h"

// The view's own colours; in high contrast it takes the system's (SetLogViewColours).
constexpr COLORREF kLogNormalBack = contrast::kOwnLog.normalBack;
constexpr COLORREF kLogNormalText = contrast::kOwnLog.normalText;
constexpr COLORREF kLogAlertBack = contrast::kOwnLog.alertBack;
constexpr COLORREF kLogAlertText = contrast::kOwnLog.alertText;
constexpr int kLogFontPixels = 13;  // the view's font height at 96 DPI

// The one process-wide log view record. Its brushes and font exist from
// before WinMain until after it returns.
struct LogViewRecord {
    LogViewRecord();
    LogViewRecord(const LogViewRecord&) = delete;
    LogViewRecord& operator=(const LogViewRecord&) = delete;

    HWND view = nullptr;         // the main window's log edit control, while it exists
    qdx::UniqueBrush normalBrush;
    qdx::UniqueBrush alertBrush;
    qdx::UniqueFont font;
    contrast::LogColours colours = contrast::kOwnLog;  // what the brushes are made of
    bool alert = false;
    DWORD alertTick = 0;
    LogTail tail;                // the last few thousand characters shown
};

extern LogViewRecord LogView;

// Adds one time-stamped line to the file of the day and to the view.
void WriteLogLine(const char* text);
// Appends an already formatted line (line break included) to the view.
void AppendLogView(const char* text);
// Makes the view's font again for the DPI of its window (its 13 pixels are
// pixels at 96 DPI) and gives it to the view, if there is one. The font in use
// is kept when a new one cannot be made.
void SetLogViewFont(UINT dpi);
// Starts or renews the red alert highlight of the view.
void RaiseLogAlert();
// Draws the view in these colours from now on (the system's in high contrast,
// the own ones otherwise); nothing changes when they are the ones in use.
void SetLogViewColours(const contrast::LogColours& colours);
// WM_CTLCOLOREDIT answer for the log view: sets the DC's colours from the
// alert flag and returns the brush to paint the background with.
HBRUSH ApplyLogViewColours(HDC dc);
