#include "app/aboutbox.h"

#include "app/maindialog.h"
#include "res/resource.h"
#include "ui/dpi.h"

namespace {

// Pixels at 96 DPI, scaled to the window's.
constexpr int kTextBand = 88;        // white band under the picture for the name and maker lines
constexpr int kButtonGap = 8;        // between the band and the buttons
constexpr int kBottomMargin = 7;     // under the buttons
constexpr int kButtonUnits = 10;     // button height in dialog units, before the extra pixels
constexpr int kButtonExtra = 9;      // pixels added so the captions fit any dialog font
constexpr int kWebButtonX = 4;
constexpr int kWebButtonWidth = 140;
constexpr int kOkRightGap = 106;     // from the picture's right edge to OK's left edge
constexpr int kOkWidth = 100;

}  // namespace

void LAboutBox::InitDialog() {
    painter.AttachTo(::GetDlgItem(hwnd, IDC_ABOUT_PICTURE));
    painter.about = true;
    Layout(WindowDpi(hwnd));
}

INT_PTR LAboutBox::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DPICHANGED) {
        // The dialog manager scales the window and its buttons after this
        // returns; the layout around the picture is made again after that.
        ::PostMessageA(hwnd, kRelayoutMessage, HIWORD(wParam), 0);
    } else if (message == kRelayoutMessage) {
        Layout(static_cast<UINT>(wParam));
        return TRUE;
    }
    return LDialog::DialogProc(message, wParam, lParam);
}

void LAboutBox::Layout(UINT dpi) {
    painter.dpi = dpi;
    const auto px = [dpi](int pixels) { return ScaleForDpi(pixels, dpi); };

    const SIZE picture = painter.GetBitmapSize();
    const int w = picture.cx;
    const int h = picture.cy;
    const int buttonHeight = DialogUnitsToPixels(kButtonUnits) + px(kButtonExtra);
    const int buttonY = h + px(kTextBand) + px(kButtonGap);
    MoveControl(IDC_ABOUT_WEB, px(kWebButtonX), buttonY, px(kWebButtonWidth), buttonHeight);
    MoveControl(IDOK, w - px(kOkRightGap), buttonY, px(kOkWidth), buttonHeight);
    MoveControl(IDC_ABOUT_PICTURE, 0, 0, w, h + px(kTextBand));

    // Grow or shrink the window by what its client area lacks or has too much,
    // keeping its top-left corner.
    RECT window = {}, client = {};
    ::GetWindowRect(hwnd, &window);
    ::GetClientRect(hwnd, &client);
    const int clientWidth = w;
    const int clientHeight = buttonY + buttonHeight + px(kBottomMargin);
    ::MoveWindow(hwnd, window.left, window.top, (window.right - window.left) + clientWidth - client.right,
                 (window.bottom - window.top) + clientHeight - client.bottom, TRUE);
    ::InvalidateRect(::GetDlgItem(hwnd, IDC_ABOUT_PICTURE), nullptr, TRUE);
}

void LAboutBox::EvCommand(WORD id, WORD) {
    if (id == IDC_ABOUT_WEB) MainDialog::OpenWebPage("qdx/index");  // the box stays open
}

void MainDialog::CmAbout() {
    LAboutBox box;
    box.Open(hwnd, "LAbout");
}
