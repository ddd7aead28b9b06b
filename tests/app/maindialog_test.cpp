// The main window object inside the test process, for what is easier to see
// from within: the status-bar rotation, the Internet Resources popup, the log
// view's colours and the Record button's images.
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/maindialog.h"
#include "client_driver.h"
#include "net/link_messages.h"
#include "log/activitylog.h"
#include "res/resource.h"
#include "canvas.h"
#include "ui/dpi.h"
#include "ui/ldbdisplay.h"
#include "ui/levelaccess.h"
#include "ui/syscolours.h"

namespace {

// Runs a script inside the main window's own message loop, then closes it.
class Scripted : public MainDialog {
public:
    explicit Scripted(std::function<void(Scripted&)> script) : script_(std::move(script)) {}
    HWND Hwnd() const { return hwnd; }
    void InitDialog() override {
        MainDialog::InitDialog();
        PostMessageA(hwnd, WM_APP, 0, 0);
    }
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_APP) {
            script_(*this);
            Close(0);
            return TRUE;
        }
        return MainDialog::DialogProc(message, wParam, lParam);
    }

private:
    std::function<void(Scripted&)> script_;
};

void RunMain(std::function<void(Scripted&)> script) {
    Scripted dialog(std::move(script));
    ASSERT_TRUE(dialog.Open(nullptr, MAKEINTRESOURCEA(IDD_MAIN)));
    EXPECT_EQ(LogView.view, nullptr);
}

std::string StatusText(HWND main) {
    char text[256] = "";
    SendDlgItemMessageA(main, IDC_MAIN_STATUS, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

// Colour at the centre of the lamp the Record button shows (its image list's one image).
COLORREF ButtonIconCentre(HWND main) {
    BUTTON_IMAGELIST images = {};
    SendDlgItemMessageA(main, IDC_MAIN_RECORD, BCM_GETIMAGELIST, 0, reinterpret_cast<LPARAM>(&images));
    qdx::UniqueIcon lamp(images.himl ? ImageList_GetIcon(images.himl, 0, ILD_NORMAL) : nullptr);
    HICON icon = lamp.Get();
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info)) return CLR_INVALID;
    BITMAP bm = {};
    GetObjectA(info.hbmColor, sizeof bm, &bm);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, info.hbmColor);
    COLORREF c = GetPixel(dc, bm.bmWidth / 2, bm.bmHeight / 2);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return c;
}
// The notice a version 6 button sends when the mouse enters or leaves it.
void Hover(Scripted& d, DWORD flags) {
    NMBCHOTITEM notice = {};
    notice.hdr.hwndFrom = GetDlgItem(d.Hwnd(), IDC_MAIN_RECORD);
    notice.hdr.idFrom = IDC_MAIN_RECORD;
    notice.hdr.code = static_cast<UINT>(BCN_HOTITEMCHANGE);
    notice.dwFlags = flags;
    SendMessageA(d.Hwnd(), WM_NOTIFY, IDC_MAIN_RECORD, reinterpret_cast<LPARAM>(&notice));
}

bool Grey(COLORREF c) {
    return abs(GetRValue(c) - GetGValue(c)) < 24 && abs(GetGValue(c) - GetBValue(c)) < 24;
}
bool Red(COLORREF c) {
    return GetRValue(c) > 120 && GetGValue(c) < GetRValue(c) / 2 && GetBValue(c) < GetRValue(c) / 2;
}
bool Orange(COLORREF c) {
    return GetRValue(c) > 150 && GetGValue(c) > GetBValue(c) + 20 && GetRValue(c) > GetGValue(c) + 20;
}

// What a popup menu showed: found by a thread timer while the menu runs.
struct PopupSeen {
    int shown = 0;
    UINT firstId = 0;
    int count = 0;
};
PopupSeen* g_popup = nullptr;

void CALLBACK LookForPopup(HWND, UINT, UINT_PTR id, DWORD) {
    HWND menuWindow = FindWindowA("#32768", nullptr);
    if (!menuWindow || !IsWindowVisible(menuWindow)) return;
    KillTimer(nullptr, id);
    HMENU menu = reinterpret_cast<HMENU>(SendMessageA(menuWindow, MN_GETHMENU, 0, 0));
    ++g_popup->shown;
    g_popup->firstId = GetMenuItemID(menu, 0);
    g_popup->count = GetMenuItemCount(menu);
    EndMenu();
}

PopupSeen Popup(std::function<void()> open) {
    PopupSeen seen;
    g_popup = &seen;
    UINT_PTR timer = SetTimer(nullptr, 0, 100, LookForPopup);
    open();
    KillTimer(nullptr, timer);
    g_popup = nullptr;
    return seen;
}

class MainDialogTest : public testing::Test {
protected:
    void SetUp() override { logs_ = client::ResetSettings(); }
    std::string logs_;
};

}  // namespace

TEST_F(MainDialogTest, StatusBarRotatesThroughTenEntriesAndStartsOver) {
    std::vector<std::string> texts;
    std::string first;
    RunMain([&](Scripted& d) {
        first = StatusText(d.Hwnd());
        for (int i = 0; i < 12; ++i) {
            SendMessageA(d.Hwnd(), WM_TIMER, 1, 0);
            texts.push_back(StatusText(d.Hwnd()));
        }
        SendMessageA(d.Hwnd(), WM_TIMER, 7, 0);  // not the rotation's timer
        texts.push_back(StatusText(d.Hwnd()));
    });
    EXPECT_EQ(first, "") << "empty until the first tick";
    ASSERT_EQ(texts.size(), 13u);
    EXPECT_EQ(texts[0], "QDX Remote Control v 1.00");
    EXPECT_EQ(texts[2], "Download more audio software...");
    EXPECT_EQ(texts[4], "QDX Remote Control v 1.00");
    EXPECT_EQ(texts[5], texts[1]);
    for (int i = 6; i <= 8; ++i) EXPECT_EQ(texts[i].substr(texts[i].size() - 3), "...") << texts[i];
    EXPECT_EQ(texts[9], "Click here to view software list.");
    EXPECT_EQ(texts[10], texts[0]);
    EXPECT_EQ(texts[11], texts[1]);
    EXPECT_EQ(texts[12], texts[11]);
}

TEST_F(MainDialogTest, StatusBarOffersTheInternetResourcesByClickAndContextMenu) {
    PopupSeen click, context, elsewhere;
    RunMain([&](Scripted& d) {
        HWND status = GetDlgItem(d.Hwnd(), IDC_MAIN_STATUS);
        NMHDR header = {status, IDC_MAIN_STATUS, static_cast<UINT>(NM_CLICK)};
        click = Popup([&] { SendMessageA(d.Hwnd(), WM_NOTIFY, IDC_MAIN_STATUS, reinterpret_cast<LPARAM>(&header)); });
        context = Popup([&] { SendMessageA(d.Hwnd(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(status), MAKELPARAM(5, 5)); });
        HWND log = GetDlgItem(d.Hwnd(), IDC_MAIN_LOG);
        elsewhere = Popup([&] {
            PostMessageA(d.Hwnd(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(log), MAKELPARAM(5, 5));
            qdxtest::WaitUntil([] { return false; }, 600);
        });
    });
    for (const PopupSeen* p : {&click, &context}) {
        EXPECT_EQ(p->shown, 1);
        EXPECT_EQ(p->firstId, static_cast<UINT>(CM_WEB_PRODUCT_HOME));
        EXPECT_EQ(p->count, 14);
    }
    EXPECT_EQ(elsewhere.shown, 0);
}

TEST_F(MainDialogTest, LogViewColoursFollowTheAlertAndOnlyForTheLogView) {
    RunMain([&](Scripted& d) {
        HDC dc = GetDC(d.Hwnd());
        HWND log = GetDlgItem(d.Hwnd(), IDC_MAIN_LOG);
        HWND label = GetDlgItem(d.Hwnd(), IDC_MAIN_RECORD_LABEL);
        EXPECT_EQ(d.DialogProc(WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label)), 0);
        INT_PTR brush = d.DialogProc(WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(log));
        EXPECT_EQ(brush, reinterpret_cast<INT_PTR>(LogView.normalBrush.Get()));
        EXPECT_EQ(GetTextColor(dc), RGB(68, 255, 68));
        EXPECT_EQ(GetBkColor(dc), RGB(0, 51, 0));
        EXPECT_EQ(GetBkMode(dc), OPAQUE);
        RaiseLogAlert();
        brush = d.DialogProc(WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(log));
        EXPECT_EQ(brush, reinterpret_cast<INT_PTR>(LogView.alertBrush.Get()));
        EXPECT_EQ(GetTextColor(dc), RGB(255, 255, 255));
        EXPECT_EQ(GetBkColor(dc), RGB(128, 0, 0));
        ReleaseDC(d.Hwnd(), dc);
    });
    const auto lines = client::LogLines(logs_);
    const int run = client::FindLine(lines, "QDX Remote Control Run");
    EXPECT_GE(run, 0);
    EXPECT_GT(client::FindLine(lines, "QDX Remote Control Exit"), run);
}

// The log view's scroll bar, a control inside it that the program keeps:
// beside the text, not over it; at the newest line as lines come; not drawn
// again while its thumb stays where it was; scrolling the text as the edit
// control's own bar would.
TEST_F(MainDialogTest, LogViewScrollBarFollowsTheTextAndScrollsIt) {
    RunMain([&](Scripted& d) {
        HWND log = GetDlgItem(d.Hwnd(), IDC_MAIN_LOG);
        HWND bar = FindWindowExA(log, nullptr, "ScrollBar", nullptr);
        ASSERT_NE(bar, nullptr);
        auto pump = [](UINT only) {
            MSG m;
            while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE | only)) DispatchMessageA(&m);
        };
        auto first = [&] { return static_cast<int>(SendMessageA(log, EM_GETFIRSTVISIBLELINE, 0, 0)); };
        auto rows = [&] { return static_cast<int>(SendMessageA(log, EM_GETLINECOUNT, 0, 0)); };
        auto bar_state = [&] {
            SCROLLINFO info = {sizeof info, SIF_ALL, 0, 0, 0, 0, 0};
            GetScrollInfo(bar, SB_CTL, &info);
            return info;
        };
        RECT client, text, place;
        GetClientRect(log, &client);
        SendMessageA(log, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&text));
        GetWindowRect(bar, &place);
        MapWindowPoints(nullptr, log, reinterpret_cast<POINT*>(&place), 2);
        EXPECT_EQ(place.right, client.right);
        EXPECT_EQ(place.bottom - place.top, client.bottom);
        EXPECT_EQ(place.right - place.left, GetSystemMetrics(SM_CXVSCROLL));
        EXPECT_LE(text.right, place.left);

        for (int i = 0; i < 40; ++i) WriteLogLine("Connecting to 127.0.0.1:2640");
        pump(0);
        SCROLLINFO shown = bar_state();
        EXPECT_EQ(shown.nMax, rows() - 1);
        EXPECT_GT(shown.nPos, 0);
        EXPECT_EQ(shown.nPos, first());
        // The caret stays before the last line break: the empty row after it is out of view.
        EXPECT_EQ(shown.nPos + static_cast<int>(shown.nPage), rows() - 1) << "at the newest line";
        WriteLogLine("Connecting to 127.0.0.1:2641");
        pump(PM_QS_POSTMESSAGE);
        EXPECT_EQ(bar_state().nPos, first());
        EXPECT_FALSE(GetUpdateRect(bar, nullptr, FALSE)) << "the thumb stayed: nothing to draw";

        const int page = static_cast<int>(shown.nPage);
        const struct {
            WORD request, thumb;
            int first;
        } moves[] = {{SB_THUMBTRACK, 3, 3}, {SB_LINEDOWN, 0, 4}, {SB_LINEUP, 0, 3}, {SB_PAGEDOWN, 0, 3 + page},
                     {SB_TOP, 0, 0}, {SB_THUMBPOSITION, 5, 5}, {SB_BOTTOM, 0, rows() - page}};
        for (const auto& move : moves) {
            SCOPED_TRACE(testing::Message() << "request " << move.request);
            SendMessageA(log, WM_VSCROLL, MAKEWPARAM(move.request, move.thumb), reinterpret_cast<LPARAM>(bar));
            EXPECT_EQ(first(), move.first);
            EXPECT_EQ(bar_state().nPos, move.first);
        }
        SendMessageA(log, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
        pump(0);
        EXPECT_LT(first(), rows() - page);
        EXPECT_EQ(bar_state().nPos, first());
        // A click on the bar's lower arrow, as the mouse gives it to the bar.
        const int before = first();
        const LPARAM arrow = MAKELPARAM((place.right - place.left) / 2, (place.bottom - place.top) - 3);
        PostMessageA(bar, WM_LBUTTONUP, 0, arrow);
        SendMessageA(bar, WM_LBUTTONDOWN, MK_LBUTTON, arrow);
        pump(0);
        EXPECT_EQ(first(), before + 1);
        EXPECT_EQ(bar_state().nPos, first());
    });
}

TEST_F(MainDialogTest, RecordButtonShowsGreyOrangeOrRedLamp) {
    COLORREF idle = 0, hot = 0, left = 0, recordingHot = 0, recordingAway = 0;
    bool hotSeen = false, leftSeen = false;
    RunMain([&](Scripted& d) {
        idle = ButtonIconCentre(d.Hwnd());

        // The mouse onto the button and off again, as the version 6 button
        // reports it. (Wine's button marks itself hot but sends no notice, so
        // the notices are given here the way the button gives them.)
        Hover(d, HICF_ENTERING | HICF_MOUSE);
        hotSeen = d.Hot();
        hot = ButtonIconCentre(d.Hwnd());
        Hover(d, HICF_LEAVING | HICF_MOUSE);
        leftSeen = !d.Hot();
        left = ButtonIconCentre(d.Hwnd());

        // While recording the red lamp stays, mouse or not.
        SendMessageA(d.Hwnd(), WM_LINK_STARTED, 0, 0);
        EXPECT_TRUE(d.Recording());
        EXPECT_EQ(IsDlgButtonChecked(d.Hwnd(), IDC_MAIN_RECORD), BST_CHECKED);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d.Hwnd(), IDC_MAIN_LEVEL)));
        Hover(d, HICF_ENTERING | HICF_MOUSE);
        recordingHot = ButtonIconCentre(d.Hwnd());
        Hover(d, HICF_LEAVING | HICF_MOUSE);
        recordingAway = ButtonIconCentre(d.Hwnd());
        SendMessageA(d.Hwnd(), WM_LINK_ENDED, 0, 0);
        EXPECT_FALSE(d.Recording());
        EXPECT_EQ(IsDlgButtonChecked(d.Hwnd(), IDC_MAIN_RECORD), BST_UNCHECKED);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d.Hwnd(), IDC_MAIN_LEVEL)));
    });
    EXPECT_TRUE(Grey(idle)) << std::hex << idle;
    EXPECT_TRUE(hotSeen);
    EXPECT_TRUE(Orange(hot)) << std::hex << hot;
    EXPECT_TRUE(leftSeen);
    EXPECT_TRUE(Grey(left)) << std::hex << left;
    EXPECT_TRUE(Red(recordingHot)) << std::hex << recordingHot;
    EXPECT_TRUE(Red(recordingAway)) << std::hex << recordingAway;
}

namespace {

Scripted* g_closing = nullptr;

// Closes the main window as soon as its settings dialog is up, the way a
// WM_CLOSE answered No would while the dialog is open.
void CALLBACK CloseUnderSettings(HWND, UINT, UINT_PTR, DWORD) {
    if (g_closing && client::FindDialog(GetCurrentProcessId(), "Settings")) g_closing->Close(0);
}

}  // namespace

TEST_F(MainDialogTest, SettingsClosedWithTheWindowLeaveTheHotKeysFree) {
    RunMain([&](Scripted& d) {
        g_closing = &d;
        UINT_PTR timer = SetTimer(nullptr, 0, 100, CloseUnderSettings);
        d.CmSettings();  // returns once the window, and with it the dialog, is gone
        KillTimer(nullptr, timer);
        g_closing = nullptr;
        EXPECT_EQ(d.Hwnd(), nullptr);
    });
    // Keys taken for no window would belong to this thread from now on.
    EXPECT_TRUE(RegisterHotKey(nullptr, 0x7FF0, 0, VK_F5));
    UnregisterHotKey(nullptr, 0x7FF0);
}

// A screen reader's request for the level meter on a window thread where
// nothing has started COM (this one: the test starts none, nor does Wine
// before a window gets the focus): the object reaches the reader, and the
// COM the meter started for it ends with the client's end. (Wine marshals
// the object without COM as well; Windows does not.)
TEST_F(MainDialogTest, LevelMeterAnswersAReaderOnAThreadWithoutCom) {
    bool comBefore = true;
    std::string name;
    RunMain([&](Scripted& d) {
        const HRESULT probe = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (SUCCEEDED(probe)) CoUninitialize();
        comBefore = probe != S_OK;
        const LRESULT answer = SendDlgItemMessageA(d.Hwnd(), IDC_MAIN_LEVEL, WM_GETOBJECT, 0, OBJID_CLIENT);
        ASSERT_NE(answer, 0) << "no object";
        IAccessible* object = nullptr;
        ASSERT_TRUE(SUCCEEDED(ObjectFromLresult(answer, __uuidof(IAccessible), 0, reinterpret_cast<void**>(&object))));
        VARIANT self;
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        BSTR text = nullptr;
        if (SUCCEEDED(object->get_accName(self, &text)) && text) {
            for (const wchar_t* c = text; *c; ++c) name += static_cast<char>(*c);
            SysFreeString(text);
        }
        object->Release();
    });
    EndLevelAccess();
    EXPECT_FALSE(comBefore) << "COM was started on this thread before: the test shows nothing";
    EXPECT_EQ(name, "Level");
    const HRESULT after = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    EXPECT_EQ(after, S_OK) << "COM left started";
    if (SUCCEEDED(after)) CoUninitialize();
}

// Moved to a monitor of another DPI: the lamps and the log font are made again
// at its size, and back. (Wine has one DPI for all, so the message is sent here
// as the system would send it.)
TEST_F(MainDialogTest, AnotherDpiRemakesTheLampsAndTheLogFont) {
    RunMain([&](Scripted& d) {
        for (const int dpi : {192, 144, 96}) {
            SCOPED_TRACE(testing::Message() << dpi << " DPI");
            RECT window;
            GetWindowRect(d.Hwnd(), &window);
            SendMessageA(d.Hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&window));
            BUTTON_IMAGELIST images = {};
            SendDlgItemMessageA(d.Hwnd(), IDC_MAIN_RECORD, BCM_GETIMAGELIST, 0, reinterpret_cast<LPARAM>(&images));
            int width = 0, height = 0;
            ASSERT_NE(images.himl, nullptr);
            ImageList_GetIconSize(images.himl, &width, &height);
            EXPECT_EQ(width, MulDiv(32, dpi, 96));
            EXPECT_EQ(height, width);
            EXPECT_TRUE(Grey(ButtonIconCentre(d.Hwnd())));
            LOGFONTA font = {};
            HGDIOBJ shown = reinterpret_cast<HGDIOBJ>(SendDlgItemMessageA(d.Hwnd(), IDC_MAIN_LOG, WM_GETFONT, 0, 0));
            ASSERT_EQ(shown, LogView.font.Get());
            GetObjectA(shown, sizeof font, &font);
            EXPECT_EQ(font.lfHeight, MulDiv(13, dpi, 96));
        }
        // A DPI at which the lamp cannot be made (no image list of 0 pixels):
        // the button keeps the lamp it shows, and that lamp's list lives on.
        BUTTON_IMAGELIST before = {}, after = {};
        SendDlgItemMessageA(d.Hwnd(), IDC_MAIN_RECORD, BCM_GETIMAGELIST, 0, reinterpret_cast<LPARAM>(&before));
        SendMessageA(d.Hwnd(), WM_DPICHANGED, MAKEWPARAM(0, 0), 0);
        SendDlgItemMessageA(d.Hwnd(), IDC_MAIN_RECORD, BCM_GETIMAGELIST, 0, reinterpret_cast<LPARAM>(&after));
        EXPECT_EQ(after.himl, before.himl);
        int width = 0, height = 0;
        EXPECT_TRUE(ImageList_GetIconSize(after.himl, &width, &height));
        EXPECT_EQ(width, 32);
        EXPECT_TRUE(Grey(ButtonIconCentre(d.Hwnd())));
    });
}

// High contrast: Wine refuses to switch it on (SPI_SETHIGHCONTRAST fails with
// 1439 and SPI_GETHIGHCONTRAST always says off), but it does change the
// system's colours. So the system is given a high-contrast scheme's colours,
// and the window is shown the scheme the program makes of them with high
// contrast on, read back with GetSysColor: every pixel of the log view and of
// the meter is then one of the system's colours. With high contrast off (what
// the system says here), a colour change leaves the own colours.
TEST_F(MainDialogTest, HighContrastDrawsTheLogAndTheMeterInTheSystemsColours) {
    using qdxtest::Canvas;
    using qdxtest::CaptureWindow;
    const int items[] = {COLOR_WINDOW, COLOR_WINDOWTEXT, COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT, COLOR_BTNFACE};
    COLORREF saved[5];
    for (int i = 0; i < 5; ++i) saved[i] = GetSysColor(items[i]);
    const COLORREF black = RGB(0, 0, 0), yellow = RGB(255, 255, 0), cyan = RGB(0, 255, 255), grey = RGB(64, 64, 64);
    const COLORREF scheme[5] = {black, yellow, cyan, black, grey};
    ASSERT_TRUE(SetSysColors(5, items, scheme));
    EXPECT_FALSE(HighContrastOn()) << "Wine reports high contrast off";

    struct Seen {
        int logBack = 0, logText = 0, area = 0, foreign = 0;
    };
    // The log view's pixels: how many of each colour, and how many are not a
    // mix of the two (text edges are smoothed).
    auto look = [](const Canvas& c, COLORREF back, COLORREF text) {
        auto between = [](int v, int a, int b) { return v >= (a < b ? a : b) && v <= (a < b ? b : a); };
        Seen s;
        s.area = c.Width() * c.Height();
        s.logBack = c.Count(back);
        s.logText = c.Count(text);
        s.foreign = c.CountIf([&](COLORREF p) {
            return !between(GetRValue(p), GetRValue(back), GetRValue(text)) ||
                   !between(GetGValue(p), GetGValue(back), GetGValue(text)) ||
                   !between(GetBValue(p), GetBValue(back), GetBValue(text));
        });
        return s;
    };
    Seen on, alert, off;
    int meterForeign = -1, meterLow = 0, meterHigh = 0;
    bool ownMeter = false;
    RunMain([&](Scripted& d) {
        HWND main = d.Hwnd();
        HWND meter = GetDlgItem(main, IDC_MAIN_LEVEL);
        HWND log = GetDlgItem(main, IDC_MAIN_LOG);
        LogView.alert = false;  // as a fresh window has it
        InvalidateRect(log, nullptr, TRUE);
        WriteLogLine("A line in the log");
        // The text, not the scroll bar beside it (a system control).
        RECT logArea;
        GetClientRect(log, &logArea);
        MapWindowPoints(log, nullptr, reinterpret_cast<POINT*>(&logArea), 2);
        RECT bar;
        GetWindowRect(FindWindowExA(log, nullptr, "ScrollBar", nullptr), &bar);
        logArea.right = bar.left;
        // The meter, less its bottom row where the status bar lies over it.
        RECT meterArea, status;
        GetWindowRect(meter, &meterArea);
        GetWindowRect(GetDlgItem(main, IDC_MAIN_STATUS), &status);
        if (meterArea.bottom > status.top) meterArea.bottom = status.top;
        EnableWindow(meter, TRUE);  // as while recording
        LevelRecord level = {1, {6}};  // +6 dB: segments below and above 0 dB
        SetLevels(meter, level);

        d.ShowColourScheme(contrast::ChooseScheme(true, ReadSystemColours()));
        CaptureWindow(main).Save("app", "contrast-on");
        on = look(CaptureWindow(main, &logArea), black, yellow);
        const Canvas m = CaptureWindow(main, &meterArea);
        meterLow = m.Count(yellow);
        meterHigh = m.Count(cyan);
        // The row and column between the bars and the edge line are the
        // dialog's own face, in the system's colour too.
        meterForeign = m.Width() * m.Height() - meterLow - meterHigh - m.Count(black) - m.Count(grey);

        RaiseLogAlert();
        CaptureWindow(main).Save("app", "contrast-alert");
        alert = look(CaptureWindow(main, &logArea), cyan, black);

        // What the window does at the system's notice: high contrast is off.
        SendMessageA(main, WM_SYSCOLORCHANGE, 0, 0);
        CaptureWindow(main).Save("app", "contrast-off");
        off = look(CaptureWindow(main, &logArea), kLogAlertBack, kLogAlertText);
        const Canvas own = CaptureWindow(main, &meterArea);
        ownMeter = own.Count(RGB(0, 255, 0)) > 0 && own.Count(RGB(255, 0, 0)) > 0 && own.Count(yellow) == 0;
    });
    SetSysColors(5, items, saved);
    SetLDBDisplayColours(nullptr, contrast::kOwnMeter);

    EXPECT_GT(on.logBack, on.area / 2) << "window colour behind the text";
    EXPECT_GT(on.logText, 20) << "text in the window text colour";
    EXPECT_EQ(on.foreign, 0) << "nothing but the two";
    EXPECT_GT(alert.logBack, alert.area / 2) << "an alert in the highlight colour";
    EXPECT_GT(alert.logText, 20);
    EXPECT_EQ(alert.foreign, 0);
    EXPECT_GT(meterLow, 50) << "segments up to 0 dB in the window text colour";
    EXPECT_GT(meterHigh, 20) << "above 0 dB in the highlight colour";
    EXPECT_EQ(meterForeign, 0) << "the meter has no colour of its own";
    EXPECT_GT(off.logBack, off.area / 2) << "off: the own red again";
    EXPECT_TRUE(ownMeter) << "off: the own green and red segments";
}
