// The client's main window: Record button, log view, level meter and status
// bar. It owns the connection worker, starts and stops it on the user's
// commands and shows what the worker reports through its window messages.
#pragma once

#include <windows.h>

#include "common/handles.h"
#include "core/contrast.h"
#include "core/silence.h"
#include "net/qdxconnect.h"
#include "ui/ldbdisplay.h"
#include "ui/ldialog.h"
#include "ui/splash.h"

constexpr char kMainWindowTitle[] = "QDX Remote Control";  // also the single-instance key
constexpr UINT WM_TRAYNOTIFY = WM_USER + 22;              // the tray icon's callback message

class MainDialog : public LPlayerBaseDlg {
public:
    MainDialog();
    ~MainDialog() override;

    void InitDialog() override;
    bool CmOk() override { return false; }  // Enter never closes the window
    bool CmCancel() override;
    void CmHelp() override;
    void EvCommand(WORD id, WORD code) override;
    void DestroyDialog() override;
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool EvKeyDown(unsigned key) override;

    // Shows the record state: button check and icon, meter, tray icon.
    void ApplyRecordDisplay();
    void ShowRecordState();  // the same in the window only

    void CmRecord();  // starts a run (asking for the record data first when set)
    void CmStop();    // only signals the worker; WM_LINK_ENDED ends the run
    void CmOpen();    // restores the window and brings it to the front
    void CmClose();   // hides the window; the tray icon stays
    void CmExit();    // asks whether to keep running in the background
    void CmSettings();
    void CmAbout();
    // Opens a page of the maker's web site in the user's browser; false, and
    // nothing opened, for a key that is not a plain page path or does not fit.
    static bool OpenWebPage(const char* pageKey);

    // Tray icon and hot keys.
    void UpdateNotifyIcon();  // adds the icon the first time, and again when the shell has lost it
    void RemoveNotifyIcon();
    void HotKeyStart();
    void HotKeyStop();
    void EvHotKey(LPARAM lParam);
    void EvTrayNotify(LPARAM lParam);

    bool Recording() const noexcept { return recording != 0; }
    bool Hot() const noexcept { return hot != 0; }

    // The recording's clock and silence watch, and the colour scheme
    // (runwatch.cpp). WatchRun sees every message first: true when it was
    // the watch's own and is done with.
    bool WatchRun(UINT message, WPARAM wParam, LPARAM lParam);
    void ApplyColourScheme();  // the system's colours in high contrast, the own ones otherwise
    void ShowColourScheme(const contrast::Scheme& scheme);  // the log view and the meter in these
    // "2:05" since the recording began, or false (and "") when none runs.
    bool RecordingTime(char* out, std::size_t cap) const;

private:
    static constexpr UINT_PTR kHotKeyReleaseTimer = 2;  // watches held hot keys (the status bar has 1)
    static constexpr UINT_PTR kTrayTimer = 3;           // the tray icon follows the record state
    static constexpr UINT_PTR kShownTimer = 4;          // what waits for the window's first frame
    static constexpr UINT_PTR kClockTimer = 5;          // the recording's time, once a second while it runs

    void PollHeldHotKeys();

    enum Lamp { kLampGrey, kLampOrange, kLampRed, kLampCount };
    void LoadButtonLamp(Lamp lamp);
    HICON TrayLamp(Lamp lamp);  // loaded at its first use
    // Remakes what the window draws in pixels (log font, lamps, window icons)
    // for a DPI: at start and when the window moves to another monitor.
    void ApplyDpi(UINT newDpi);
    void ShowRecordLamp(Lamp lamp);
    // Handlers of DialogProc.
    void EvTimer(UINT_PTR timerId);
    void EvNotify(LPARAM lParam);
    void EvDpiChanged(UINT newDpi, const RECT* suggested);
    void RotateStatus(UINT_PTR timerId);
    void ShowInternetResources();
    void ShowLevel(WPARAM wParam);
    void ShowStatus(WPARAM wParam, LPARAM lParam);
    void StartClock();
    void StopClock();
    void ShowClock();  // the time in the status bar and the tray tip; the timer for the next second
    // A line in the log; an alert also brings the window back and turns the log red.
    void ReportLine(const char* text, bool alert);
    void ReportSilence(silence::Event event);
    void UpdateTrayTip();

    HWND hLevel = nullptr;        // the level meter, control 103
    LSplashScreen splash;         // never shown; registers the about panel's class
    int statusIndex = 0;          // next entry of the status-bar rotation
    qdx::UniqueWindow hTooltip;   // made by the first AddTool
    unsigned char hot = 0;        // the mouse is over the Record button
    unsigned char recording = 0;  // a worker run is active (set by its messages only)
    unsigned char prompting = 0;  // CmRecord is asking for the record data
    unsigned heldHotKeys = 0;     // bit per hot key id: acted on, not yet released
    UINT taskbarCreated = 0;      // the shell's "TaskbarCreated" message
    UINT dpi = 96;                // of the window, for its lamps and the log font
    UINT trayDpi = 0;             // of the taskbar, when the tray lamps were made
    bool trayAdded = false;       // the shell took the tray icon
    bool trayRecording = false;   // and shows the recording lamp
    QDXConnect worker;
    DWORD clockStart = 0;       // tick at which the recording began
    bool clockRunning = false;  // between WM_LINK_RECORDING and WM_LINK_ENDED
    silence::SilenceWatch silenceWatch;
    // The lamps, each loaded once per DPI at its first use (see
    // LoadButtonLamp): the Record button's as one-image lists of 32 x 32
    // pixels at 96 DPI, the tray's (orange and red) as 16 x 16 icons.
    qdx::UniqueImageList buttonLamps[kLampCount];
    qdx::UniqueIcon trayLamps[kLampCount];
};

// Status-bar rotation entries, ending with a null mark.
extern const char* const StatusRotation[];
