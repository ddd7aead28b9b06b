#include "ui/ldbdisplay.h"

#include "common/handles.h"
#include "ui/dpi.h"
#include "ui/levelaccess.h"

namespace L = ldbdisplay_layout;

const char kLDBDisplayClass[] = "LDBDisplay";

static_assert(L::kHandles == 18, "the GDI handles follow the count and eight level words");
#ifndef _WIN64
// The 32-bit control keeps the classic 34-byte layout: handles at 18, 22, 26, 30.
static_assert(L::Handle(L::kGreenBitmap) == 18 && L::Handle(L::kRedBitmap) == 22 &&
                  L::Handle(L::kGreenBrush) == 26 && L::Handle(L::kRedBrush) == 30 && L::kExtraBytes == 34,
              "32-bit window extra bytes layout");
#endif

namespace {

// A screen reader is told that the level changed at most this often (it would
// be flooded at the rate levels arrive); the last change is always told.
constexpr UINT_PTR kValueEventTimer = 1;
constexpr UINT kValueEventMillis = 250;

// The meter's colours, the same for every meter of the process: the system's
// choice holds for all windows at once.
contrast::MeterColours meterColours = contrast::kOwnMeter;

// A segment pattern in the given colours, in the shape of the own bitmaps
// (9 x 32 pixels at 96 DPI, a dark top line, every third column dark when
// striped), at its size at the DPI.
HBITMAP MakeSegmentBitmap(COLORREF dark, COLORREF lit, bool striped, UINT dpi) {
    constexpr int kWidth = 9;
    constexpr int kHeight = 32;
    const int width = ScaleForDpi(kWidth, dpi);
    const int height = ScaleForDpi(kHeight, dpi);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) return bitmap;
    // A DIB's pixel is 0x00rrggbb, a COLORREF 0x00bbggrr.
    auto pixel = [](COLORREF c) { return static_cast<DWORD>(GetRValue(c)) << 16 | GetGValue(c) << 8 | GetBValue(c); };
    DWORD* row = static_cast<DWORD*>(bits);
    for (int y = 0; y < height; ++y, row += width)
        for (int x = 0; x < width; ++x) {
            const bool isDark = y * kHeight / height == 0 || (striped && x * kWidth / width % 3 == 0);
            row[x] = pixel(isDark ? dark : lit);
        }
    return bitmap;
}

HGDIOBJ GetHandle(HWND hwnd, int slot) {
    return reinterpret_cast<HGDIOBJ>(::GetWindowLongPtrA(hwnd, L::Handle(slot)));
}

// Takes a handle out of its slot and hands it to an owner, which deletes it.
qdx::UniqueGdiObject TakeHandle(HWND hwnd, int slot) {
    return qdx::UniqueGdiObject(reinterpret_cast<HGDIOBJ>(::SetWindowLongPtrA(hwnd, L::Handle(slot), 0)));
}

void Create(HWND hwnd) {
    // The patterns (their stripes are the meter's segments) in proportion to
    // the dialog, which grows with the DPI.
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrA(hwnd, GWLP_HINSTANCE));
    const UINT dpi = WindowDpi(hwnd);
    const contrast::MeterColours& c = meterColours;
    qdx::UniqueGdiObject green(c.own ? LoadBitmapForDpi(instance, "LDBDisplayGreen", dpi)
                                     : MakeSegmentBitmap(c.dark, c.low, true, dpi));
    qdx::UniqueGdiObject red(c.own ? LoadBitmapForDpi(instance, "LDBDisplayRed", dpi)
                                   : MakeSegmentBitmap(c.dark, c.high, false, dpi));
    qdx::UniqueGdiObject greenBrush(green ? ::CreatePatternBrush(static_cast<HBITMAP>(green.Get())) : nullptr);
    qdx::UniqueGdiObject redBrush(red ? ::CreatePatternBrush(static_cast<HBITMAP>(red.Get())) : nullptr);
    ::SetWindowLongPtrA(hwnd, L::Handle(L::kGreenBitmap), reinterpret_cast<LONG_PTR>(green.Release()));
    ::SetWindowLongPtrA(hwnd, L::Handle(L::kRedBitmap), reinterpret_cast<LONG_PTR>(red.Release()));
    ::SetWindowLongPtrA(hwnd, L::Handle(L::kGreenBrush), reinterpret_cast<LONG_PTR>(greenBrush.Release()));
    ::SetWindowLongPtrA(hwnd, L::Handle(L::kRedBrush), reinterpret_cast<LONG_PTR>(redBrush.Release()));
}

void Destroy(HWND hwnd) {
    // Brushes before the bitmaps they were made from.
    TakeHandle(hwnd, L::kRedBrush).Reset();
    TakeHandle(hwnd, L::kGreenBrush).Reset();
    TakeHandle(hwnd, L::kRedBitmap).Reset();
    TakeHandle(hwnd, L::kGreenBitmap).Reset();
}

void FillPart(HDC dc, const meter::Part& part, int top, int bottom, HBRUSH brush) {
    if (!part.Fills()) return;
    RECT r{part.left, top, part.right, bottom};
    ::FillRect(dc, &r, brush);
}

LRESULT CALLBACK MeterProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        Create(hwnd);
        return 0;
    case WM_DESTROY:
        Destroy(hwnd);
        return 0;
    case WM_ENABLE:
        ::InvalidateRect(hwnd, nullptr, FALSE);
        ::NotifyWinEvent(EVENT_OBJECT_STATECHANGE, hwnd, OBJID_CLIENT, CHILDID_SELF);
        return 0;
    case WM_DPICHANGED_AFTERPARENT:  // moved to a monitor of another DPI
        Destroy(hwnd);
        Create(hwnd);
        ::InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case WM_GETOBJECT:
        if (const LRESULT object = AnswerLevelObject(hwnd, wParam, lParam)) return object;
        return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    case WM_TIMER:
        if (wParam != kValueEventTimer) return 0;
        ::KillTimer(hwnd, kValueEventTimer);
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        ::NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, hwnd, OBJID_CLIENT, CHILDID_SELF);
        return 0;
    case WM_PAINT: {
        qdx::ScopedPaint paint(hwnd);
        PaintLDBDisplay(paint.Dc(), paint.Area(), ReadLDBDisplayState(hwnd));
        return 0;
    }
    case WM_PRINTCLIENT: {
        RECT client;
        ::GetClientRect(hwnd, &client);
        PaintLDBDisplay(reinterpret_cast<HDC>(wParam), client, ReadLDBDisplayState(hwnd));
        return 0;
    }
    default:
        return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

bool RegisterLDBDisplay(HINSTANCE instance) {
    WNDCLASSA wc{};
    if (::GetClassInfoA(instance, kLDBDisplayClass, &wc)) return true;
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = MeterProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = L::kExtraBytes;
    wc.hInstance = instance;
    wc.hIcon = nullptr;
    wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = nullptr;  // the control paints every pixel of its bars itself
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = kLDBDisplayClass;
    return ::RegisterClassA(&wc) != 0;
}

void SetLevels(HWND control, const LevelRecord& record) {
    if (!control) return;
    const int count = record.count;
    if (count > meter::kMaxChannels) return;
    RECT client;
    ::GetClientRect(control, &client);
    const bool edge = (::GetWindowLongA(control, GWL_STYLE) & kLDBDisplayEdge) != 0;
    const meter::Size usable = meter::UsableSize(client.right, client.bottom, edge);
    bool changed = false;
    for (int i = 0; i < count; ++i) {
        const int level = meter::ClampLevel(record.levels[i]);
        const WORD previous = ::SetWindowWord(control, L::Level(i), static_cast<WORD>(static_cast<short>(level)));
        const int old = static_cast<signed char>(LOBYTE(previous));
        if (old == level) continue;
        changed = true;
        const meter::Span s = meter::ChangeStrip(i, count, old, level, usable);
        RECT strip{s.left, s.top, s.right, s.bottom};
        ::InvalidateRect(control, &strip, FALSE);
    }
    const WORD previousCount = ::SetWindowWord(control, L::kCount, static_cast<WORD>(count));
    if (previousCount != count) ::InvalidateRect(control, nullptr, FALSE);
    // The value-change event waits for the timer; GWLP_USERDATA marks it set,
    // so a stream of levels does not keep pushing it back.
    if (changed && !::GetWindowLongPtrA(control, GWLP_USERDATA) &&
        ::SetTimer(control, kValueEventTimer, kValueEventMillis, nullptr))
        ::SetWindowLongPtrA(control, GWLP_USERDATA, 1);
}

void SetLDBDisplayColours(HWND control, const contrast::MeterColours& colours) {
    if (colours == meterColours) return;
    meterColours = colours;
    if (!control) return;
    Destroy(control);
    Create(control);
    ::InvalidateRect(control, nullptr, FALSE);
}

LDBDisplayState ReadLDBDisplayState(HWND control) {
    LDBDisplayState s{};
    s.count = ::GetWindowWord(control, L::kCount);
    if (s.count > meter::kMaxChannels) s.count = meter::kMaxChannels;
    for (int i = 0; i < meter::kMaxChannels; ++i)
        s.levels[i] = static_cast<signed char>(LOBYTE(::GetWindowWord(control, L::Level(i))));
    s.enabled = ::IsWindowEnabled(control) != FALSE;
    s.edge = (::GetWindowLongA(control, GWL_STYLE) & kLDBDisplayEdge) != 0;
    RECT client;
    ::GetClientRect(control, &client);
    s.clientWidth = client.right;
    s.clientHeight = client.bottom;
    s.green = static_cast<HBRUSH>(GetHandle(control, L::kGreenBrush));
    s.red = static_cast<HBRUSH>(GetHandle(control, L::kRedBrush));
    s.colours = meterColours;
    return s;
}

void PaintLDBDisplay(HDC dc, const RECT& update, const LDBDisplayState& state) {
    // The own colours are the stock objects; the system's are brushes and a
    // pen made for the paint.
    const contrast::MeterColours& c = state.colours;
    const bool showing = state.count != 0 && state.enabled;
    qdx::UniqueGdiObject madeFill(c.own ? nullptr : ::CreateSolidBrush(showing ? c.beyond : c.disabled));
    qdx::UniqueGdiObject madeEdge(c.own ? nullptr : ::CreatePen(PS_SOLID, 1, c.edge));
    if (!showing) {
        HGDIOBJ fill = c.own || !madeFill ? ::GetStockObject(GRAY_BRUSH) : madeFill.Get();
        ::FillRect(dc, &update, static_cast<HBRUSH>(fill));
    } else {
        const meter::Size usable = meter::UsableSize(state.clientWidth, state.clientHeight, state.edge);
        HBRUSH black = static_cast<HBRUSH>(c.own || !madeFill ? ::GetStockObject(BLACK_BRUSH) : madeFill.Get());
        POINT origin;
        ::GetBrushOrgEx(dc, &origin);
        for (int i = 0; i < state.count; ++i) {
            const int top = meter::RowTop(i, state.count, usable.height);
            const int bottom = meter::RowTop(i + 1, state.count, usable.height);
            const meter::RowParts parts = meter::SplitRow(state.levels[i], usable.width, update.left, update.right);
            // The pattern starts at the top of each row, so every bar gets its dark top line.
            ::SetBrushOrgEx(dc, 0, top, nullptr);
            FillPart(dc, parts.green, top, bottom, state.green);
            FillPart(dc, parts.red, top, bottom, state.red);
            FillPart(dc, parts.black, top, bottom, black);
        }
        ::SetBrushOrgEx(dc, origin.x, origin.y, nullptr);
    }
    // The edge is drawn whenever the update reaches the bottom row or the right
    // column: a repaint of the top right corner alone (another window moved
    // off it) would otherwise leave the right edge black there.
    if (state.edge && (update.bottom >= state.clientHeight || update.right >= state.clientWidth)) {
        qdx::ScopedSelect pen(dc, c.own || !madeEdge ? ::GetStockObject(WHITE_PEN) : madeEdge.Get());
        ::MoveToEx(dc, 0, state.clientHeight - 1, nullptr);
        ::LineTo(dc, state.clientWidth - 1, state.clientHeight - 1);
        ::LineTo(dc, state.clientWidth - 1, 0);
    }
}
