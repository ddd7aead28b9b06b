#include "ui/editbar.h"

#include <new>

#include "ui/dpi.h"

namespace {

struct EditBar {
    WNDPROC edit = nullptr;  // the edit control's own procedure, which this one passes messages on to
    HWND bar = nullptr;
    UINT syncMessage = 0;  // posted to the edit when a change wants the bar set
    bool stale = false;    // the edit may have changed since the bar was set
    int lineHeight = 1;
    // The state the bar was last given, and its look when it was last drawn
    // (or last asked to be).
    int count = -1, first = -1, page = -1;
    int thumbTop = -1, thumbBottom = -1;
    DWORD look = ~0u;
};

// The edit control lays its rows out one font height apart.
void MeasureLines(HWND edit, EditBar& s) {
    HDC dc = ::GetDC(edit);
    if (!dc) return;
    HGDIOBJ font = reinterpret_cast<HGDIOBJ>(::CallWindowProcW(s.edit, edit, WM_GETFONT, 0, 0));
    HGDIOBJ old = font ? ::SelectObject(dc, font) : nullptr;
    TEXTMETRICA metrics;
    if (::GetTextMetricsA(dc, &metrics) && metrics.tmHeight > 0) s.lineHeight = metrics.tmHeight;
    if (old) ::SelectObject(dc, old);
    ::ReleaseDC(edit, dc);
}

// The bar's state from the edit's rows, set without a redraw; the bar is
// drawn again only when it would look different.
void Sync(HWND edit, EditBar& s) {
    s.stale = false;
    const int count = static_cast<int>(::CallWindowProcW(s.edit, edit, EM_GETLINECOUNT, 0, 0));
    const int first = static_cast<int>(::CallWindowProcW(s.edit, edit, EM_GETFIRSTVISIBLELINE, 0, 0));
    RECT text = {};
    ::CallWindowProcW(s.edit, edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&text));
    const int page = (text.bottom - text.top) / s.lineHeight;
    if (count == s.count && first == s.first && page == s.page) return;
    s.count = count;
    s.first = first;
    s.page = page;
    SCROLLINFO info = {sizeof info, SIF_PAGE | SIF_POS | SIF_RANGE | SIF_DISABLENOSCROLL, 0, count - 1,
                       static_cast<UINT>(page > 0 ? page : 0), first, 0};
    ::SetScrollInfo(s.bar, SB_CTL, &info, FALSE);
    SCROLLBARINFO shown = {};
    shown.cbSize = sizeof shown;
    if (::GetScrollBarInfo(s.bar, OBJID_CLIENT, &shown) && shown.xyThumbTop == s.thumbTop &&
        shown.xyThumbBottom == s.thumbBottom && shown.rgstate[0] == s.look)
        return;
    s.thumbTop = shown.xyThumbTop;
    s.thumbBottom = shown.xyThumbBottom;
    s.look = shown.rgstate[0];
    ::InvalidateRect(s.bar, nullptr, FALSE);
}

// Messages that only read the edit control (or only point at it) leave the
// bar as it is. Every other may change the text, its layout or how far it
// is scrolled.
bool OnlyReads(HWND edit, UINT message) {
    switch (message) {
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
    case WM_GETFONT:
    case WM_GETDLGCODE:
    case WM_GETOBJECT:
    case WM_NCHITTEST:
    case WM_SETCURSOR:
    case WM_ERASEBKGND:
    case WM_NCPAINT:
    case WM_CTLCOLORSCROLLBAR:
    case EM_GETSEL:
    case EM_GETRECT:
    case EM_GETLINECOUNT:
    case EM_GETFIRSTVISIBLELINE:
    case EM_GETLINE:
    case EM_LINEINDEX:
    case EM_LINELENGTH:
    case EM_LINEFROMCHAR:
    case EM_POSFROMCHAR:
    case EM_CHARFROMPOS:
        return true;
    case WM_MOUSEMOVE:  // a drag that selects text scrolls it
        return ::GetCapture() != edit;
    default:
        return false;
    }
}

// The bar along the right edge, as wide as the system's at the edit's DPI,
// and the text beside it.
void Layout(HWND edit, EditBar& s) {
    RECT client;
    if (!::GetClientRect(edit, &client)) return;
    int width = SystemMetricForDpi(SM_CXVSCROLL, WindowDpi(edit));
    if (width > client.right) width = client.right;
    ::MoveWindow(s.bar, client.right - width, 0, width, client.bottom, TRUE);
    RECT text = client;
    text.right -= width;
    ::CallWindowProcW(s.edit, edit, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&text));
}

// Where the edit control's own bar would scroll it.
void Scroll(HWND edit, const EditBar& s, WORD request, WORD thumb) {
    int to;
    switch (request) {
    case SB_LINEUP:
    case SB_LINEDOWN:
    case SB_PAGEUP:
    case SB_PAGEDOWN:
        ::CallWindowProcW(s.edit, edit, EM_SCROLL, request, 0);
        return;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
        to = thumb;  // rows: the text is far shorter than 65,536 of them
        break;
    case SB_TOP:
        to = 0;
        break;
    case SB_BOTTOM:
        to = s.count;
        break;
    default:
        return;
    }
    ::CallWindowProcW(s.edit, edit, EM_LINESCROLL, 0, to - s.first);
}

LRESULT CALLBACK EditBarProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    EditBar& s = *reinterpret_cast<EditBar*>(::GetWindowLongPtrW(edit, GWLP_USERDATA));
    if (message == s.syncMessage) {
        if (s.stale) Sync(edit, s);
        return 0;
    }
    switch (message) {
    case WM_NCDESTROY: {
        const WNDPROC own = s.edit;
        ::SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(own));
        ::SetWindowLongPtrW(edit, GWLP_USERDATA, 0);
        delete &s;
        return ::CallWindowProcW(own, edit, message, wParam, lParam);
    }
    case WM_VSCROLL:
        if (reinterpret_cast<HWND>(lParam) != s.bar) break;
        if (s.stale) Sync(edit, s);
        Scroll(edit, s, LOWORD(wParam), HIWORD(wParam));
        Sync(edit, s);
        return 0;
    case WM_PAINT:
        if (s.stale) Sync(edit, s);
        return ::CallWindowProcW(s.edit, edit, message, wParam, lParam);
    default:
        break;
    }
    const LRESULT result = ::CallWindowProcW(s.edit, edit, message, wParam, lParam);
    switch (message) {
    case WM_SETFONT:
        MeasureLines(edit, s);
        Layout(edit, s);
        break;
    case WM_SIZE:
    case WM_DPICHANGED_AFTERPARENT:
        Layout(edit, s);
        break;
    default:
        break;
    }
    // The bar is set once the change is done: a line added with a cut at the
    // front passes through the top of the text on its way back to its end,
    // and the state between is never set or drawn. The posted message comes
    // before the text is painted; whatever paints first sets the bar.
    if (!s.stale && !OnlyReads(edit, message)) {
        s.stale = true;
        ::PostMessageW(edit, s.syncMessage, 0, 0);
    }
    return result;
}

}  // namespace

bool AttachEditScrollBar(HWND edit) {
    // The edit's user data holds this procedure's record; a control whose
    // data is taken already is left alone.
    if (!::IsWindow(edit) || ::GetWindowLongPtrW(edit, GWLP_USERDATA)) return false;
    EditBar* s = new (std::nothrow) EditBar;
    if (!s) return false;
    const auto instance = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(edit, GWLP_HINSTANCE));
    s->syncMessage = ::RegisterWindowMessageA("QDXEditBarSync");
    s->bar = ::CreateWindowExA(0, "SCROLLBAR", nullptr, WS_CHILD | WS_VISIBLE | SBS_VERT, 0, 0, 0, 0, edit,
                               nullptr, instance, nullptr);
    if (!s->syncMessage || !s->bar) {
        if (s->bar) ::DestroyWindow(s->bar);
        delete s;
        return false;
    }
    // Messages come to this procedure in the edit control's own character
    // set, so none is converted on the way.
    ::SetWindowLongPtrW(edit, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(s));
    s->edit = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditBarProc)));
    ::SetWindowLongPtrW(edit, GWL_STYLE, ::GetWindowLongPtrW(edit, GWL_STYLE) | WS_CLIPCHILDREN);
    MeasureLines(edit, *s);
    Layout(edit, *s);
    Sync(edit, *s);
    return true;
}
