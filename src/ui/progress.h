// A small modeless window with two text lines, a progress bar and Cancel, in
// which one long job runs on the main thread. There is no second thread: the
// job keeps the window alive by calling PumpMessages between its steps and
// learns from it that the user has cancelled.
#pragma once

#include <windows.h>

#include "common/handles.h"

class LProgressDialog {
public:
    // title: the window caption; not copied, so it must outlive the object.
    explicit LProgressDialog(const char* title) noexcept;
    LProgressDialog(const LProgressDialog&) = delete;
    LProgressDialog& operator=(const LProgressDialog&) = delete;

    // The job; true when it completed.
    virtual bool MainFunction() = 0;
    // Messages of the window other than its creation and Cancel; 0: not handled.
    virtual INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
        (void)message, (void)wParam, (void)lParam;
        return 0;
    }

    // Opens the window from the "LProgressDialog" template, runs the job, and
    // destroys the window. False when already open or when the window cannot
    // be made (the job is then not run).
    bool Run(HWND owner);

    // For the job only, on the main thread.
    void SetText(const char* text, int line);   // line 0 or 1
    void SetProgress(double fraction);          // 0.0 .. 1.0, shown in whole percent, truncated
    bool PumpMessages();                        // true: the window is gone (cancelled)

    HWND Window() const noexcept { return hwnd; }

    static INT_PTR CALLBACK ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

protected:
    // Automatic objects only: never deleted through this class.
    ~LProgressDialog() = default;

    void ShowLamp(UINT dpi);

    HWND hwnd = nullptr;  // null while closed, and as soon as the user cancels
    qdx::UniqueIcon lamp;  // the window's lamp at its DPI; outlives the window
    const char* title;
};
