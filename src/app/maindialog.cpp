#include "app/maindialog.h"

#include <commctrl.h>

#include <utility>

#include "app/closerequest.h"
#include "common/handles.h"
#include "common/systemdll.h"
#include "core/product.h"
#include "log/activitylog.h"
#include "net/link_messages.h"
#include "res/resource.h"
#include "ui/dpi.h"
#include "ui/editbar.h"
#include "ui/instance.h"

namespace {

constexpr UINT_PTR kStatusTimer = 1;
constexpr UINT kStatusFirstMillis = 500;
constexpr UINT kStatusNextMillis = 8000;
constexpr int kLevelLimit = 127;  // a level byte's range, symmetric
constexpr int kTrayLampSize = 16;    // pixels at 96 DPI, as the window's small icon
constexpr int kButtonLampSize = 32;  // as the window's big icon
constexpr UINT kTrayFollowMillis = 50;  // how long a record state holds before the tray shows it

// A client started with an administrator's full token (by a setup where the
// shell could not start it) gets no messages from the shell, which runs at a
// lower level, unless it lets them through: the filter is Windows 7's and
// later, so it is looked up.
void AllowTaskbarCreated(HWND window, UINT message) {
    constexpr DWORD kAllow = 1;  // MSGFLT_ALLOW
    const auto filter = qdx::LoadedFunction<BOOL(WINAPI*)(HWND, UINT, DWORD, void*)>(
        "user32.dll", "ChangeWindowMessageFilterEx");
    if (filter && message) filter(window, message, kAllow, nullptr);
}

}  // namespace

const char* const StatusRotation[] = {
    "QDX Remote Control v " QDX_VERSION_TEXT,
    "QDX Remote Control by Tallowind",
    "Download more audio software...",
    "www.tallowind.example/software",
    "QDX Remote Control v " QDX_VERSION_TEXT,
    "QDX Remote Control by Tallowind",
    "Dictation and transcription software...",
    "Call and meeting recording software...",
    "Sound editing and conversion software...",
    "Click here to view software list.",
    nullptr,
};

MainDialog::MainDialog() {
    RegisterLDBDisplay(AppInstance());
    ::InitCommonControls();
}

// The worker member stops its thread (5000 ms at most) when it goes.
MainDialog::~MainDialog() = default;

void MainDialog::InitDialog() {
    hLevel = ::GetDlgItem(hwnd, IDC_MAIN_LEVEL);
    LogView.view = ::GetDlgItem(hwnd, IDC_MAIN_LOG);
    AttachEditScrollBar(LogView.view);
    KeepControlFontOnDpiChange(LogView.view);
    ApplyDpi(WindowDpi(hwnd));
    ApplyColourScheme();
    WriteLogLine("QDX Remote Control Run");

    // Broadcast by a restarted shell, which has forgotten every tray icon.
    taskbarCreated = ::RegisterWindowMessageA("TaskbarCreated");
    AllowTaskbarCreated(hwnd, taskbarCreated);
    ::SetTimer(hwnd, kStatusTimer, kStatusFirstMillis, nullptr);
    HotKeyStart();
    ShowRecordState();
    // The tray icon and the tool tips are added once the window has shown
    // and painted its first frame, not before: the shell's round trip (and
    // loading the shell's library) costs some 10 to 20 ms under Wine, the
    // tips' window some 5, and the window would wait for them. A timer's
    // message comes after the paint; a posted one would come before it.
    // Whatever changes the record state first adds the icon, so it shows
    // the state of the moment.
    ::SetTimer(hwnd, kShownTimer, USER_TIMER_MINIMUM, nullptr);
    // The focus mark on the Record button from the start, not only after the
    // first key: posted, so it comes after the dialog manager's own set-up of
    // the marks (which hides them when the window was opened by mouse).
    ::PostMessageA(hwnd, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
}

void MainDialog::DestroyDialog() {
    CmStop();
    StopClock();
    HotKeyStop();
    RemoveNotifyIcon();
    WriteLogLine("QDX Remote Control Exit");
    LogView.view = nullptr;

    // The window does not free the icons it was given; the button's lamps are
    // this object's and stay for a window opened again.
    ShowRecordLamp(kLampCount);
    qdx::ReplaceIcon(hwnd, WM_SETICON, ICON_BIG, nullptr);
    qdx::ReplaceIcon(hwnd, WM_SETICON, ICON_SMALL, nullptr);
    hTooltip.Reset();
}

void MainDialog::ApplyDpi(UINT newDpi) {
    dpi = newDpi;
    SetLogViewFont(dpi);
    const struct {
        int size;
        WPARAM which;
    } icons[] = {{kButtonLampSize, ICON_BIG}, {kTrayLampSize, ICON_SMALL}};
    for (const auto& i : icons)
        qdx::ReplaceIcon(hwnd, WM_SETICON, i.which,
                         LoadIconForDpi(AppInstance(), MAKEINTRESOURCEA(IDI_LAMP_ORANGE), i.size, dpi));
    // The button refers to its image list, so the old lamps go only once the
    // button shows the lamp of the moment at the new size; where that lamp
    // does not load, the button keeps all its old ones.
    const Lamp shown = recording ? kLampRed : (hot ? kLampOrange : kLampGrey);
    qdx::UniqueImageList oldButtonLamps[kLampCount];
    for (int lamp = 0; lamp < kLampCount; ++lamp) oldButtonLamps[lamp] = std::move(buttonLamps[lamp]);
    LoadButtonLamp(shown);
    if (!buttonLamps[shown]) {
        for (int lamp = 0; lamp < kLampCount; ++lamp) buttonLamps[lamp] = std::move(oldButtonLamps[lamp]);
        return;
    }
    ShowRecordLamp(shown);
}

// The lamps change at every start and end of a recording, so they are loaded
// once: under Wine a button keeps a private copy of every image that
// BM_SETIMAGE gives it until the button is destroyed (9 KB more per change),
// and each LoadImage leaves a little behind too. An image list handed over
// with BCM_SETIMAGELIST is only referred to, and the shell copies tray icons.
// A lamp is made the first time it is shown (a button lamp some 6 ms under
// Wine, a tray lamp 1): the window's first frame needs only the grey button
// lamp, and the tray icon comes after it.
constexpr WORD kLampIcons[] = {IDI_LAMP_GREY, IDI_LAMP_ORANGE, IDI_LAMP_RED};

void MainDialog::LoadButtonLamp(Lamp lamp) {
    // The icon is loaded at the list's size.
    const int size = ScaleForDpi(kButtonLampSize, dpi);
    qdx::UniqueIcon icon(LoadIconForDpi(AppInstance(), MAKEINTRESOURCEA(kLampIcons[lamp]), kButtonLampSize, dpi));
    if (!icon) return;
    qdx::UniqueImageList list(::ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 1, 0));
    if (list && ::ImageList_AddIcon(list.Get(), icon.Get()) == 0) buttonLamps[lamp] = std::move(list);
}

// The tray's lamps at the taskbar's DPI, which need not be the window's: made
// again when it has changed since they were made.
HICON MainDialog::TrayLamp(Lamp lamp) {
    const UINT taskbarDpi = TaskbarDpi();
    if (taskbarDpi != trayDpi) {
        for (qdx::UniqueIcon& icon : trayLamps) icon.Reset();
        trayDpi = taskbarDpi;
    }
    if (!trayLamps[lamp])
        trayLamps[lamp].Reset(
            LoadIconForDpi(AppInstance(), MAKEINTRESOURCEA(kLampIcons[lamp]), kTrayLampSize, trayDpi));
    return trayLamps[lamp].Get();
}

// kLampCount takes the lamp off the button. A lamp that did not load leaves
// the button as it is.
void MainDialog::ShowRecordLamp(Lamp lamp) {
    BUTTON_IMAGELIST images = {};
    if (lamp != kLampCount) {
        if (!buttonLamps[lamp]) LoadButtonLamp(lamp);
        images.himl = buttonLamps[lamp].Get();
        if (!images.himl) return;
    }
    images.uAlign = BUTTON_IMAGELIST_ALIGN_CENTER;
    ::SendDlgItemMessageA(hwnd, IDC_MAIN_RECORD, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&images));
    ::InvalidateRect(::GetDlgItem(hwnd, IDC_MAIN_RECORD), nullptr, FALSE);
}

void MainDialog::ShowRecordState() {
    ::CheckDlgButton(hwnd, IDC_MAIN_RECORD, recording ? BST_CHECKED : BST_UNCHECKED);
    ShowRecordLamp(recording ? kLampRed : (hot ? kLampOrange : kLampGrey));
    EnableControl(IDC_MAIN_LEVEL, recording);
}

// The window shows a change of the record state at once; the tray icon once
// the state has held for a moment. A run that ends as it starts (a refused
// connect) leaves the tray as it was, and the run does not wait for two
// round trips to the shell.
void MainDialog::ApplyRecordDisplay() {
    ShowRecordState();
    ::SetTimer(hwnd, kTrayTimer, kTrayFollowMillis, nullptr);
}

bool MainDialog::CmCancel() {
    CmExit();
    return false;
}

void MainDialog::EvCommand(WORD id, WORD) {
    switch (id) {
    case IDC_MAIN_RECORD:
    case CM_RECORD:
        if (recording)
            CmStop();
        else
            CmRecord();
        // The auto check box has flipped itself on the click; the check shows
        // the record state, which only the worker's messages change.
        if (hwnd) ::CheckDlgButton(hwnd, IDC_MAIN_RECORD, recording ? BST_CHECKED : BST_UNCHECKED);
        break;
    case CM_STOP:
        CmStop();
        break;
    case CM_SETTINGS:
        CmSettings();
        break;
    case CM_CLOSE_TO_TRAY:
        CmClose();
        break;
    case CM_EXIT:
        CmExit();
        break;
    case CM_OPEN:
        CmOpen();
        break;
    case CM_ABOUT:
        CmAbout();
        break;
    case CM_WEB_PRODUCT_HOME:
        OpenWebPage("qdx/index");
        break;
    case CM_WEB_SOFTWARE:
        OpenWebPage("software/index");
        break;
    case CM_WEB_MAKER_HOME:
        OpenWebPage("index");
        break;
    default:
        if (id >= CM_WEB_PRODUCT_FIRST && id <= CM_WEB_PRODUCT_LAST) {
            static const char* const kProductPages[] = {
                "dictation/index", "calllogger/index", "wavecutter/index", "formatswitch/index",
                "minutes/index",   "phonedesk/index",  "typist/index",     "discmaker/index",
            };
            static_assert(sizeof kProductPages / sizeof kProductPages[0] ==
                          CM_WEB_PRODUCT_LAST - CM_WEB_PRODUCT_FIRST + 1, "one page per product entry");
            OpenWebPage(kProductPages[id - CM_WEB_PRODUCT_FIRST]);
        }
        break;
    }
}

bool MainDialog::EvKeyDown(unsigned key) {
    // Only the bare keys: Ctrl+F5 and the like are left to the dialog manager.
    switch (key) {
    case VK_ESCAPE:
    case VK_F8:
        CmStop();
        return true;
    case VK_F1:
        // Taken, but the help opens through WM_HELP alone: the system posts
        // WM_KEYF1 with every F1 press, whoever handles the key, and the
        // default procedure turns it into WM_HELP, which the base hands to
        // CmHelp. Calling CmHelp here as well opened the help twice (two
        // browser windows, where the browser shows it).
        return true;
    case VK_F5:
        CmRecord();
        return true;
    default:
        return false;
    }
}

void MainDialog::CmStop() {
    worker.RecordStop();
}

void MainDialog::CmOpen() {
    ::ShowWindow(hwnd, SW_RESTORE);
    ::SetForegroundWindow(hwnd);
}

void MainDialog::CmClose() {
    UpdateNotifyIcon();  // the way back to a hidden window
    ::ShowWindow(hwnd, SW_HIDE);
}

void MainDialog::CmExit() {
    const int answer = ::MessageBoxA(hwnd,
                                     "Do you want QDX Recorder Remote Control to continue running in the background?",
                                     "Confirm Stop", MB_YESNOCANCEL | MB_ICONQUESTION);
    if (answer == IDYES)
        CmClose();
    else if (answer == IDNO)
        Close(0);
}

INT_PTR MainDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (WatchRun(message, wParam, lParam)) return TRUE;
    if (taskbarCreated && message == taskbarCreated) {  // registered: no case label
        UpdateNotifyIcon();  // the restarted shell knows no icons
        return TRUE;
    }
    if (INT_PTR answer = 0; AnswerCloseRequest(*this, Recording(), message, wParam, lParam, answer)) return answer;
    switch (message) {
    case WM_TRAYNOTIFY:
        EvTrayNotify(lParam);
        return TRUE;
    case WM_HOTKEY:
        EvHotKey(lParam);
        return TRUE;
    case WM_TIMER:
        EvTimer(wParam);
        return TRUE;
    case WM_NOTIFY:
        EvNotify(lParam);
        break;
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) == ::GetDlgItem(hwnd, IDC_MAIN_STATUS)) ShowInternetResources();
        break;
    case WM_CTLCOLOREDIT:
        if (::GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == IDC_MAIN_LOG)
            return reinterpret_cast<INT_PTR>(ApplyLogViewColours(reinterpret_cast<HDC>(wParam)));
        return 0;
    case WM_DPICHANGED:
        EvDpiChanged(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        break;
    case WM_LINK_STARTED:
    case WM_LINK_ENDED:
        recording = message == WM_LINK_STARTED ? 1 : 0;
        ApplyRecordDisplay();
        break;
    case WM_LINK_LEVEL:
        ShowLevel(wParam);
        break;
    case WM_LINK_STATUS:
        ShowStatus(wParam, lParam);
        break;
    default:
        break;
    }
    return LPlayerBaseDlg::DialogProc(message, wParam, lParam);
}

void MainDialog::EvTimer(UINT_PTR timerId) {
    if (timerId == kHotKeyReleaseTimer) {
        PollHeldHotKeys();
    } else if (timerId == kTrayTimer) {
        ::KillTimer(hwnd, kTrayTimer);
        if (!trayAdded || trayRecording != Recording()) UpdateNotifyIcon();
    } else if (timerId == kShownTimer) {
        ::KillTimer(hwnd, kShownTimer);
        if (!trayAdded) UpdateNotifyIcon();
        AddTool(hTooltip, IDC_MAIN_RECORD, "Start or stop recording call (F5)");
        AddTool(hTooltip, IDC_MAIN_STATUS, "Click to view Tallowind Internet Resources");
    } else {
        RotateStatus(timerId);
    }
}

void MainDialog::EvNotify(LPARAM lParam) {
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    if (!header) return;
    if (header->idFrom == IDC_MAIN_STATUS && header->code == static_cast<UINT>(NM_CLICK)) {
        ShowInternetResources();
    } else if (header->idFrom == IDC_MAIN_RECORD && header->code == static_cast<UINT>(BCN_HOTITEMCHANGE)) {
        const DWORD flags = reinterpret_cast<const NMBCHOTITEM*>(lParam)->dwFlags & (HICF_ENTERING | HICF_LEAVING);
        if (flags == HICF_ENTERING)
            hot = 1;
        else if (flags == HICF_LEAVING)
            hot = 0;
        ApplyRecordDisplay();
    }
}

void MainDialog::EvDpiChanged(UINT newDpi, const RECT* suggested) {
    // Moved to a monitor of another DPI: the system lays the dialog out
    // again in its dialog units; what it draws in pixels is made anew.
    ApplyDpi(newDpi);
    UpdateNotifyIcon();
    if (suggested)
        ::SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainDialog::RotateStatus(UINT_PTR timerId) {
    ::KillTimer(hwnd, timerId);
    if (timerId != kStatusTimer) return;
    if (!StatusRotation[statusIndex]) statusIndex = 0;
    ::SendDlgItemMessageA(hwnd, IDC_MAIN_STATUS, SB_SETTEXTA, 0,
                          reinterpret_cast<LPARAM>(StatusRotation[statusIndex]));
    ++statusIndex;
    ::SetTimer(hwnd, kStatusTimer, kStatusNextMillis, nullptr);
}

void MainDialog::ShowInternetResources() {
    qdx::UniqueMenu menu(::LoadMenuA(AppInstance(), MAKEINTRESOURCEA(IDM_MAIN)));
    if (!menu) return;
    HMENU help = ::GetSubMenu(menu.Get(), MENU_MAIN_HELP_POS);
    HMENU internet = help ? ::GetSubMenu(help, MENU_HELP_INTERNET_POS) : nullptr;
    if (!internet) return;
    POINT at = {};
    ::GetCursorPos(&at);
    ::TrackPopupMenu(internet, TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd, nullptr);
}

void MainDialog::ShowLevel(WPARAM wParam) {
    INT_PTR level = static_cast<INT_PTR>(wParam);
    if (level > kLevelLimit) level = kLevelLimit;
    if (level < -kLevelLimit) level = -kLevelLimit;
    LevelRecord record = {};
    record.count = 1;
    record.levels[0] = static_cast<signed char>(level);
    SetLevels(hLevel, record);
}

void MainDialog::ShowStatus(WPARAM wParam, LPARAM lParam) {
    // Only a text our own worker posted is taken (and freed when done); a
    // message with anything else in lParam, from whatever process, is ignored.
    LinkStatusText text(lParam);
    if (text.Get()) ReportLine(text.Get(), wParam != 0);
}

void MainDialog::ReportLine(const char* text, bool alert) {
    WriteLogLine(text);
    if (!alert) return;
    CmOpen();
    RaiseLogAlert();
}
