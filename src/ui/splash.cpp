#include "ui/splash.h"

#include "common/handles.h"
#include "core/product.h"
#include "ui/dpi.h"
#include "ui/instance.h"

const char kLawClass[] = "LAW";
const char kDistributorBlock[] =
    "Distributed by:\nTallowind\nwww.tallowind.example\n\n(c) 2026 Tallowind. All rights reserved.";

namespace {

const char kProductName[] = "QDX Remote Control";
const char kVersionLine[] = "QDXRemote v " QDX_VERSION_TEXT;
const WORD kPictureId = 1;

// Band under the picture: starts a pixel below it, 82 pixels tall, 2 pixels in
// from the left and 4 from the right.
constexpr int kTextLeft = 2;
constexpr int kTextRightInset = 4;
constexpr int kTextTopGap = 1;
constexpr int kTextBandHeight = 82;
constexpr int kFontHeight = 16;

HFONT MakeFont(int weight, UINT dpi) {
    return ::CreateFontA(ScaleForDpi(kFontHeight, dpi), 0, 0, 0, weight, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                         CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS | DEFAULT_PITCH, nullptr);
}

HBITMAP LoadPicture(UINT dpi) {
    return LoadBitmapForDpi(AppInstance(), MAKEINTRESOURCEA(kPictureId), dpi);
}

}  // namespace

LSplashAboutBase::LSplashAboutBase() {
    WNDCLASSA wc{};
    wc.style = 0;
    wc.lpfnWndProc = PanelProc;
    wc.hInstance = AppInstance();
    wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kLawClass;
    ::RegisterClassA(&wc);  // fails harmlessly when the class is already there
}

SIZE LSplashAboutBase::GetBitmapSize() const {
    SIZE size{0, 0};
    qdx::UniqueGdiObject picture(LoadPicture(dpi));
    BITMAP info;
    if (picture && ::GetObjectA(picture.Get(), sizeof info, &info) == sizeof info) {
        size.cx = info.bmWidth;
        size.cy = info.bmHeight;
    }
    return size;
}

void LSplashAboutBase::Paint(HWND panel) const {
    qdx::ScopedPaint paint(panel);
    RECT client;
    ::GetClientRect(panel, &client);
    PaintContent(paint.Dc(), client);
}

void LSplashAboutBase::PaintContent(HDC dc, const RECT& client) const {
    // The picture is loaded at every paint; the about box paints rarely.
    int w = 0, h = 0;
    {
        qdx::UniqueGdiObject picture(LoadPicture(dpi));
        if (picture) {
            BITMAP info;
            if (::GetObjectA(picture.Get(), sizeof info, &info) == sizeof info) {
                w = info.bmWidth;
                h = info.bmHeight;
            }
            qdx::UniqueMemoryDC memory(::CreateCompatibleDC(dc));
            if (memory) {
                qdx::ScopedSelect selected(memory.Get(), picture.Get());
                ::BitBlt(dc, 0, 0, w, h, memory.Get(), 0, 0, SRCCOPY);
            }
        }
    }

    const int top = h + ScaleForDpi(kTextTopGap, dpi);
    const RECT band{ScaleForDpi(kTextLeft, dpi), top, w - ScaleForDpi(kTextRightInset, dpi),
                    top + ScaleForDpi(kTextBandHeight, dpi)};
    const UINT flags = DT_WORDBREAK | DT_NOPREFIX;
    RECT r = band;
    {
        qdx::UniqueFont bold(MakeFont(FW_BOLD, dpi));
        qdx::UniqueFont normal(MakeFont(FW_NORMAL, dpi));
        // The selections end before the owners delete their fonts; without
        // the normal font the lines below the name stay bold.
        qdx::ScopedSelect boldFont(dc, bold ? static_cast<HGDIOBJ>(bold.Get()) : ::GetStockObject(DEFAULT_GUI_FONT));
        r.top += ::DrawTextA(dc, kProductName, -1, &r, flags);
        qdx::ScopedSelect normalFont(dc, normal.Get());
        r.top += ::DrawTextA(dc, kVersionLine, -1, &r, flags);
        r = band;
        ::DrawTextA(dc, kDistributorBlock, -1, &r, flags | DT_RIGHT);
    }

    if (about) {
        qdx::ScopedSelect pen(dc, ::GetStockObject(BLACK_PEN));
        ::MoveToEx(dc, 0, client.bottom - 1, nullptr);
        ::LineTo(dc, client.right, client.bottom - 1);
    }
}

LRESULT CALLBACK LSplashAboutBase::PanelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    const auto* self = reinterpret_cast<const LSplashAboutBase*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self) return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    switch (msg) {
    case WM_PAINT:
        self->Paint(hwnd);
        return 0;
    case WM_PRINTCLIENT: {
        RECT client;
        ::GetClientRect(hwnd, &client);
        self->PaintContent(reinterpret_cast<HDC>(wParam), client);
        return 0;
    }
    case WM_TIMER:
    case WM_LBUTTONDOWN:
        return 0;  // the picture does nothing when clicked
    default:
        return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}
